// Real-time factor of the detection engine's DetectVAD on 60 s of noisy 16 kHz speech,
// with and without noise reduction, at the committed model's size and at 32 mixtures,
// beside speexdsp's preprocessor (denoise) and webrtc-audio-processing (noise suppression
// with voice detection) on the same audio. The "RTF" counter is processing time per second
// of audio on one core.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <speex/speex_preprocess.h>
#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include "Orvane/Vad/VadEngine.h"
#include "Vad/gmm_io.h"
#include "support/AudioFixture.h"

namespace {

using Orvane::Test::Samples;

constexpr double kSeconds = 60.0;

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

void Append(std::vector<char>& out, const void* data, std::size_t n)
{
    out.insert(out.end(), static_cast<const char*>(data), static_cast<const char*>(data) + n);
}

// The committed model with every GMM widened to `mixtures` (copies with shifted means).
std::vector<char> ModelImage(unsigned mixtures)
{
    const std::vector<char> file = Orvane::Test::ReadFile(Orvane::Test::ModelPath());
    if (mixtures == 0) {
        return file;
    }
    std::unique_ptr<ModelBuf, void (*)(ModelBuf*)> set(ReadGMMBuff(file.data(), file.size()), FreeModelBuf);
    std::vector<char> image;
    Append(image, &set->NumModel, 4);
    for (unsigned g = 0; g < set->NumModel; ++g) {
        const GMMBuf& gmm = set->GMM[g];
        Append(image, &mixtures, 4);
        Append(image, &gmm.Dim, 4);
        for (unsigned m = 0; m < mixtures; ++m) {
            const MixBuf& mix = gmm.Mix[m % gmm.NumMix];
            const double weight = 1.0 / mixtures;
            Append(image, &weight, 8);
            for (unsigned d = 0; d < gmm.Dim; ++d) {
                const double mean = mix.Mean[d] + 0.05 * (m / gmm.NumMix);
                Append(image, &mean, 8);
            }
            Append(image, mix.Var, 8 * gmm.Dim);
            Append(image, &mix.GConst, 8);
        }
    }
    return image;
}

void Check(int result)
{
    if (result != 0) {
        throw std::runtime_error(GetVADLastErrorMessage());
    }
}

// The detector's preset mode 0 as the boundary manager drives the engine: one frame per
// call, 320 samples to start, then 160.
void BM_DetectVAD(benchmark::State& state)
{
    const bool noiseReduction = state.range(0) != 0;
    const std::vector<char> model = ModelImage(static_cast<unsigned>(state.range(1)));
    const Samples& audio = NoisySpeech();
    _tagVADInfo* handle = BeginVAD();
    Check(SetVariableVADReal(handle, "FE:PreEmp", 0.0));
    Check(SetVariableVADInt(handle, "FE:NumFFT", 512));
    Check(SetVariableVADInt(handle, "FE:NumFB", 24));
    Check(SetVariableVADReal(handle, "PKF:CumR", 0.99));
    Check(SetVariableVADPtr(handle, "PKF:GMMBuff", model.data(), static_cast<unsigned>(model.size())));
    Check(SetVariableVADReal(handle, "VAD:ProbN2S", 0.1));
    Check(SetVariableVADReal(handle, "VAD:ProbS2N", 0.9));
    Check(SetVariableVADReal(handle, "VAD:Threshold", 1.0));
    Check(SetVariableVADInt(handle, "VAD:FilLen", 1));
    Check(SetVariableVADInt(handle, "VAD:MaxSDuration", 0));
    Check(SetVariableVADInt(handle, "VAD:MaxNDuration", 0));
    Check(SetVariableVADInt(handle, "VAD:MaxGap", 0));
    Check(SetVariableVADStr(handle, "VAD:Output", noiseReduction ? "MMSE_WAV" : "OBS_WAV"));
    Check(SetVariableVADReal(handle, "GMMW:NScale", noiseReduction ? 0.5 : 1.0));
    Check(SetVariableVADReal(handle, "GMMW:Forget", 0.5));
    short out[160];
    int vadState = 0;
    unsigned first = 0;
    unsigned second = 0;
    std::int64_t speechFrames = 0;
    for (auto _ : state) {
        Check(DetectVAD(handle, audio.data(), 1, 1, &vadState, &first, &second, out));
        for (std::size_t at = 320; at + 160 <= audio.size(); at += 160) {
            Check(DetectVAD(handle, audio.data() + at, 0, 1, &vadState, &first, &second, out));
            speechFrames += vadState == 0 || vadState == 1;
        }
        benchmark::DoNotOptimize(out);
    }
    EndVAD(handle);
    state.counters["RTF"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
    state.counters["speech%"] = 100.0 * speechFrames / (state.iterations() * (audio.size() / 160.0));
}
BENCHMARK(BM_DetectVAD)
    ->ArgNames({"nr", "mixtures"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 32})
    ->Args({1, 32})
    ->Unit(benchmark::kMillisecond);

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
    state.counters["RTF"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
}
BENCHMARK(BM_SpeexPreprocess)->Unit(benchmark::kMillisecond);

void BM_WebRtcNoiseSuppressionAndVad(benchmark::State& state)
{
    const Samples& audio = NoisySpeech();
    webrtc::AudioFrame frame;
    for (auto _ : state) {
        std::unique_ptr<webrtc::AudioProcessing> apm(webrtc::AudioProcessing::Create());
        apm->noise_suppression()->set_level(webrtc::NoiseSuppression::kModerate);
        apm->noise_suppression()->Enable(true);
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
    state.counters["RTF"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
}
BENCHMARK(BM_WebRtcNoiseSuppressionAndVad)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
