// Real-time factor of the detector as the helper runs it (the shipped model and
// configuration, data/quillet/, loaded through Orvane::Utility::Vad::Detector; noise
// reduction off and on) beside speexdsp's preprocessor (denoise) and
// webrtc-audio-processing (voice detection alone, and with noise suppression) on the same
// 60 s of noisy 16 kHz speech. The "RTF" counter is CPU time per second of audio on one
// core; the summary after the table gives the median RTF of every row (CPU and wall clock)
// and the detector's ratios to the others. Repetitions give medians:
//   build/bench/VadBench --benchmark_repetitions=5

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <boost/shared_ptr.hpp>
#include <speex/speex_preprocess.h>
#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include "Vad/Detector.h"
#include "common/Median.h"
#include "common/RunBenchmarks.h"
#include "support/AudioFixture.h"

namespace {

using Orvane::Bench::Median;
using Orvane::Test::Samples;
using Orvane::Utility::Vad::Detector;
using Orvane::Utility::Vad::VadBuffer;

constexpr double kSeconds = 60.0;
// The detector is fed 100 ms blocks, as a recorder delivers them.
constexpr std::size_t kBlockSamples = 1600;

// Held-out sentences in turn, with pauses, up to 60 s, in pink noise at 10 dB.
const Samples& NoisySpeech()
{
    static const Samples audio = [] {
        using namespace Orvane::Test;
        const std::vector<std::string> sentences = HeldOutSentences();
        const std::vector<Voice> voices = TestVoices();
        std::vector<Samples> parts;
        std::size_t total = 0;
        const std::size_t wanted = static_cast<std::size_t>(kSeconds * kSampleRate);
        for (std::size_t i = 0; total < wanted; ++i) {
            parts.push_back(Silence(0.7));
            parts.push_back(Speak(sentences[i % sentences.size()], voices[i % voices.size()]));
            total += parts[parts.size() - 2].size() + parts.back().size();
        }
        Samples clean = Join(parts);
        clean.resize(wanted);
        return MixAtSnr(clean, Noise(NoiseKind::Pink, 10.0), 10.0);
    }();
    return audio;
}

benchmark::Counter RealTimeFactor()
{
    return benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Mode 0 with the shipped configuration, continuous so that all 60 s go through the engine.
// The detector is made outside the timed part; `speech%` is the share of audio delivered.
void BM_ShippedDetector(benchmark::State& state)
{
    const bool noiseReduction = state.range(0) != 0;
    const Samples& audio = NoisySpeech();
    const char* bytes = reinterpret_cast<const char*>(audio.data());
    std::int64_t delivered = 0;
    for (auto _ : state) {
        state.PauseTiming();
        boost::shared_ptr<Detector> detector = Detector::CreateDetector(
            0, noiseReduction, true, Orvane::Test::ModelPath(), Orvane::Test::ConfigPath());
        state.ResumeTiming();
        for (std::size_t at = 0; at < audio.size(); at += kBlockSamples) {
            const std::size_t count = std::min(kBlockSamples, audio.size() - at);
            for (const boost::shared_ptr<VadBuffer>& chunk :
                 detector->Detect(bytes + 2 * at, static_cast<unsigned int>(2 * count))) {
                delivered += chunk->Size() / 2;
            }
        }
    }
    state.counters["RTF"] = RealTimeFactor();
    state.counters["speech%"] = 100.0 * delivered / (state.iterations() * double(audio.size()));
}
BENCHMARK(BM_ShippedDetector)->ArgName("nr")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SpeexPreprocess(benchmark::State& state)
{
    const Samples& audio = NoisySpeech();
    std::vector<spx_int16_t> frame(160);
    for (auto _ : state) {
        SpeexPreprocessState* speex = speex_preprocess_state_init(160, 16000);
        int on = 1;
        speex_preprocess_ctl(speex, SPEEX_PREPROCESS_SET_DENOISE, &on);
        for (std::size_t at = 0; at + 160 <= audio.size(); at += 160) {
            std::memcpy(frame.data(), audio.data() + at, 320);
            benchmark::DoNotOptimize(speex_preprocess_run(speex, frame.data()));
        }
        speex_preprocess_state_destroy(speex);
    }
    state.counters["RTF"] = RealTimeFactor();
}
BENCHMARK(BM_SpeexPreprocess)->Unit(benchmark::kMillisecond);

// Voice detection alone (ns:0) or with moderate noise suppression (ns:1).
void BM_WebRtc(benchmark::State& state)
{
    const bool suppression = state.range(0) != 0;
    const Samples& audio = NoisySpeech();
    webrtc::AudioFrame frame;
    for (auto _ : state) {
        std::unique_ptr<webrtc::AudioProcessing> apm(webrtc::AudioProcessing::Create());
        apm->noise_suppression()->set_level(webrtc::NoiseSuppression::kModerate);
        apm->noise_suppression()->Enable(suppression);
        apm->voice_detection()->Enable(true);
        for (std::size_t at = 0; at + 160 <= audio.size(); at += 160) {
            frame.sample_rate_hz_ = 16000;
            frame.num_channels_ = 1;
            frame.samples_per_channel_ = 160;
            std::memcpy(frame.data_, audio.data() + at, 320);
            apm->ProcessStream(&frame);
            benchmark::DoNotOptimize(apm->voice_detection()->stream_has_voice());
        }
    }
    state.counters["RTF"] = RealTimeFactor();
}
BENCHMARK(BM_WebRtc)->ArgName("ns")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The console table, then the median RTF of each row over its repetitions and the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
                continue;
            }
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) {
                name += "/" + run.run_name.args;
            }
            const auto rtf = run.counters.find("RTF");
            if (rtf != run.counters.end()) {
                cpu_[name].push_back(rtf->second.value);
                wall_[name].push_back(run.real_accumulated_time / double(run.iterations) / kSeconds);
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nmedian RTF (CPU, wall clock):\n");
        for (const auto& row : cpu_) {
            std::printf("  %-26s %.5f  %.5f\n", row.first.c_str(), Median(row.second), Median(wall_[row.first]));
        }
        std::printf("ratios of the medians (CPU):\n");
        Ratio("detection / WebRTC VAD", "BM_ShippedDetector/nr:0", "BM_WebRtc/ns:0");
        Ratio("detection+NR / WebRTC NS+VAD", "BM_ShippedDetector/nr:1", "BM_WebRtc/ns:1");
        Ratio("detection / speexdsp", "BM_ShippedDetector/nr:0", "BM_SpeexPreprocess");
        Ratio("detection+NR / speexdsp", "BM_ShippedDetector/nr:1", "BM_SpeexPreprocess");
    }

private:
    void Ratio(const char* label, const std::string& ours, const std::string& theirs)
    {
        if (cpu_.count(ours) != 0 && cpu_.count(theirs) != 0) {
            std::printf("  %-30s %.2f\n", label, Median(cpu_[ours]) / Median(cpu_[theirs]));
        }
    }

    std::map<std::string, std::vector<double>> cpu_;
    std::map<std::string, std::vector<double>> wall_;
};

} // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    return Orvane::Bench::RunBenchmarks(argc, argv, reporter);
}
