// Whole recognitions through the flat interface against the standalone loopback server,
// started as a child process (so its work is not counted here):
//   cpu      recognitions of one ~8 s utterance (file recorder, detection with noise
//            reduction, Opus, HTTP) until 60 s of audio is recorded, each round followed
//            or preceded (alternately) by a paced one-thread baseline that does the same
//            detection, noise reduction and encoding at the real-time pace, by
//            paced Opus alone, and by the hot loops (bare opus_encode, bare detection);
//            medians over the rounds of the process CPU each took, the pipeline's ratio to
//            the paced baseline per round, the context switches per block and the CPU that
//            one thread wake-up costs on this machine. Interleaved rounds see the same load,
//            so the ratios hold on a busy machine where the absolute figures do not.
//   latency  from the recorded block holding the last speech sample (its kind-2 callback)
//            to the final result (kind 5), over several recognitions; the goal is the
//            detector's own end (one utterance, as the detection filter runs it) + 50 ms
//   memory   VmRSS, threads and descriptors over 1000 recognitions of 0.2 s on one handle
// Usage: build/bench/HelperPipelineBench [cpu] [latency [RUNS]] [memory [COUNT] [pcm]]
// (all three when none is named). The file recorder paces reads at real time, so the run
// takes about as long as the audio it records.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <opus/opus.h>

#include "Vad/Detector.h"
#include "common/LoopbackServerProcess.h"
#include "common/Median.h"
#include "quor_helper.h"
#include "support/AudioFixture.h"
#include "support/ParameterFile.h"
#include "support/ProcessCounts.h"
#include "support/TemporaryDirectory.h"

namespace {

using namespace Orvane::Test;
using Orvane::Bench::LoopbackServerProcess;
using Orvane::Bench::Median;
using Clock = std::chrono::steady_clock;

const std::size_t BlockSamples = 320; // the recorder's 20 ms block
const double RecordedSecondsWanted = 60.0;

// Process CPU (user and system) and the context switches that came with it.
struct Usage {
    double cpu = 0.0;
    long switches = 0; // voluntary and involuntary

    static Usage Now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
        return Usage{seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw + usage.ru_nivcsw};
    }
    Usage operator-(const Usage& earlier) const { return Usage{cpu - earlier.cpu, switches - earlier.switches}; }
};

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One second of silence, a spoken sentence of about 8 s, 1.5 s of silence.
struct Utterance {
    Samples samples;
    std::size_t lastSpeech; // index of the last speech sample
};

// The end of the last 10 ms frame within 40 dB of the loudest one.
std::size_t LastSpeechSample(const Samples& samples)
{
    const std::size_t frame = 160;
    std::vector<double> power;
    for (std::size_t at = 0; at + frame <= samples.size(); at += frame) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + frame; ++i) {
            sum += static_cast<double>(samples[i]) * samples[i];
        }
        power.push_back(sum / frame);
    }
    const double loudest = *std::max_element(power.begin(), power.end());
    std::size_t last = 0;
    for (std::size_t f = 0; f < power.size(); ++f) {
        if (power[f] >= loudest * 1e-4) {
            last = f;
        }
    }
    return last * frame + frame - 1;
}

const Utterance& EightSeconds()
{
    static const Utterance utterance = [] {
        Utterance made;
        made.samples = Join({Silence(1.0),
                             Speak("The weather tomorrow will be cloudy with a chance of light showers in the evening, "
                                   "and a black cat slept on the warm stone wall in the afternoon sun.",
                                   TestVoices()[0]),
                             Silence(1.5)});
        made.lastSpeech = LastSpeechSample(made.samples);
        return made;
    }();
    return utterance;
}

std::string Bytes(const short* samples, std::size_t count)
{
    return std::string(reinterpret_cast<const char*>(samples), count * sizeof(short));
}

std::map<std::string, std::string> Options(const LoopbackServerProcess& server, const std::string& target,
                                           const std::map<std::string, std::string>& changes)
{
    std::map<std::string, std::string> options = {
        {"server_address", "127.0.0.1"},
        {"server_port", std::to_string(server.Port())},
        {"user_agent", "TessivalHelperBench/1.0"},
        {"user_id", "bench"},
        {"codec", "Opus"},
        {"detection_mode", "true"},
        {"noise_reduction_mode", "true"},
        {"notify_record", "true"},
        {"ostrel_model_file", ModelPath()},
        {"ostrel_config_file", ConfigPath()},
        {"recognition_target", target},
        {"recognition_timeout", "0"},
        {"sentence_timeout", "60000"},
        // The loopback server sends nothing while audio arrives, and the client gives up on a
        // connection silent for the response-wait time: 10 s by default, about one
        // recognition of the utterance.
        {"response_timer", "60000"},
    };
    for (const auto& change : changes) {
        options[change.first] = change.second;
    }
    return options;
}

// What one recognition delivered through the callbacks.
struct Outcome {
    struct Block {
        std::uint64_t first; // index of its first sample in the recording
        unsigned count;
        Clock::time_point at;
    };
    std::vector<Block> blocks; // with notify_record
    std::uint64_t samples = 0;
    bool final = false;
    Clock::time_point finalAt;
    bool failed = false;
    std::string error;
};

// The process's one helper handle; its callbacks fill the outcome of the running
// recognition.
class Helper {
public:
    static Helper& Get()
    {
        static Helper* helper = new Helper(); // callbacks may come late: never destroyed
        return *helper;
    }

    void Initialize(const std::string& path)
    {
        Check(quor_helper_initialize(handle_, path.c_str(), &error_), "quor_helper_initialize");
    }

    // Starts a recognition and waits for its completion.
    Outcome Recognize(std::chrono::seconds timeout = std::chrono::seconds(120))
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            outcome_ = Outcome();
            completed_ = false;
        }
        Check(quor_helper_start(handle_, &error_), "quor_helper_start");
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return completed_; })) {
            throw std::runtime_error("no completion within " + std::to_string(timeout.count()) + " s");
        }
        return outcome_;
    }

private:
    Helper()
    {
        handle_ = quor_helper_create(&error_);
        if (handle_ == nullptr) {
            throw std::runtime_error(std::string("quor_helper_create: ") + error_.message);
        }
        Check(quor_helper_regist_callback(handle_, QUOR_HELPER_RECORD, &Helper::OnRecord, &record_, &error_),
              "register");
        Check(quor_helper_regist_callback(handle_, QUOR_HELPER_RECOGNIZE, &Helper::OnFinal, &final_, &error_),
              "register");
        Check(quor_helper_regist_callback(handle_, QUOR_HELPER_COMPLETED, &Helper::OnCompleted, &completion_,
                                          &error_),
              "register");
    }

    void Check(int result, const char* what) const
    {
        if (result != 0) {
            throw std::runtime_error(std::string(what) + ": " + error_.message);
        }
    }

    static void OnRecord(_quor_helper*, void* data)
    {
        const Clock::time_point now = Clock::now();
        const auto* record = static_cast<const quor_helper_record*>(data);
        Helper& self = Get();
        std::lock_guard<std::mutex> lock(self.mutex_);
        self.outcome_.blocks.push_back(Outcome::Block{self.outcome_.samples, record->count, now});
        self.outcome_.samples += record->count;
    }

    static void OnFinal(_quor_helper*, void*)
    {
        const Clock::time_point now = Clock::now();
        Helper& self = Get();
        std::lock_guard<std::mutex> lock(self.mutex_);
        if (!self.outcome_.final) {
            self.outcome_.final = true;
            self.outcome_.finalAt = now;
        }
    }

    static void OnCompleted(_quor_helper*, void* data)
    {
        Helper& self = Get();
        std::lock_guard<std::mutex> lock(self.mutex_);
        if (data != nullptr) {
            const auto* error = static_cast<const quor_helper_error*>(data);
            self.outcome_.failed = true;
            self.outcome_.error = std::to_string(error->number) + " " + error->message;
        }
        self.completed_ = true;
        self.changed_.notify_all();
    }

    _quor_helper* handle_ = nullptr;
    quor_helper_error error_{};
    // Filled by the library before each callback of their kind.
    quor_helper_record record_{};
    quor_helper_result final_{};
    quor_helper_error completion_{};
    std::mutex mutex_;
    std::condition_variable changed_;
    Outcome outcome_;
    bool completed_ = false;
};

// The recorded block holding sample `index`; null when the recording ended before it.
const Outcome::Block* BlockHolding(const Outcome& outcome, std::size_t index)
{
    for (const Outcome::Block& block : outcome.blocks) {
        if (index >= block.first && index < block.first + block.count) {
            return &block;
        }
    }
    return nullptr;
}

// Where the detector, as the detection filter runs it, reports the end of the utterance:
// the index one past the block that brought the end (0 when it never does).
std::size_t DetectedEnd(const Samples& audio);

// Latency from the block holding the last speech sample to the final result, split at the
// last recorded block (the detection's end stops the recording), in milliseconds. The goal
// is the detector's own end, as its one-utterance gaps and tail (and the short-stretch rule)
// place it, plus 50 ms.
void PrintLatencies(const std::vector<Outcome>& outcomes, const Samples& audio, std::size_t lastSpeech)
{
    const std::size_t end = DetectedEnd(audio);
    const double detectorEnd = (static_cast<double>(end) - static_cast<double>(lastSpeech + 1)) * 1000.0 / kSampleRate;
    std::printf("  the detector alone ends the utterance %.0f ms of audio after the last speech sample\n", detectorEnd);
    std::vector<double> latencies;
    std::printf("  latency per recognition, ms (last speech block -> last recorded block + -> final result):\n   ");
    for (const Outcome& outcome : outcomes) {
        const Outcome::Block* speech = BlockHolding(outcome, lastSpeech);
        if (!outcome.final || speech == nullptr) {
            std::printf(" n/a");
            continue;
        }
        const Outcome::Block& last = outcome.blocks.back();
        latencies.push_back(Milliseconds(outcome.finalAt - speech->at));
        std::printf(" %.0f (%.0f+%.0f)", latencies.back(), Milliseconds(last.at - speech->at),
                    Milliseconds(outcome.finalAt - last.at));
    }
    std::printf("\n");
    // The file recorder sleeps a block's length after each read, so it runs a little slower
    // than real time.
    std::vector<double> paces;
    for (const Outcome& outcome : outcomes) {
        if (outcome.blocks.size() > 1) {
            paces.push_back(Milliseconds(outcome.blocks.back().at - outcome.blocks.front().at) /
                            static_cast<double>(outcome.blocks.size() - 1));
        }
    }
    if (!paces.empty()) {
        std::printf("  recorder pace: median %.2f ms per 20 ms block\n", Median(paces));
    }
    if (latencies.empty()) {
        std::printf("  latency: no recognition reached its last speech sample with a final result\n");
        return;
    }
    std::printf("  latency: median %.0f ms, worst %.0f ms over %zu recognitions (goal <= %.0f + 50 ms)\n",
                Median(latencies), *std::max_element(latencies.begin(), latencies.end()), latencies.size(),
                detectorEnd);
}

// The loopback server and the process's helper, initialised to recognise `utterance` with
// detection, noise reduction and Opus.
class UtteranceRig {
public:
    explicit UtteranceRig(const Utterance& utterance) : directory_("helper-bench")
    {
        const std::string target =
            directory_.Write("utterance.raw", Bytes(utterance.samples.data(), utterance.samples.size()));
        Helper::Get().Initialize(WriteParameterFile(directory_.File("parameters.ini"), Options(server_, target, {})));
    }

    // One recognition; a failed one throws.
    Outcome Recognize()
    {
        Outcome outcome = Helper::Get().Recognize();
        ++count_;
        if (outcome.failed) {
            throw std::runtime_error("recognition " + std::to_string(count_) + " failed: " + outcome.error);
        }
        return outcome;
    }

private:
    TemporaryDirectory directory_;
    LoopbackServerProcess server_;
    std::size_t count_ = 0;
};

// Runs recognitions of `utterance` until `count` are done or `seconds` of audio are recorded.
std::vector<Outcome> RecognizeUtterance(const Utterance& utterance, std::size_t count, double seconds)
{
    UtteranceRig rig(utterance);
    std::vector<Outcome> outcomes;
    std::uint64_t recorded = 0;
    while (outcomes.size() < count && recorded < static_cast<std::uint64_t>(seconds * kSampleRate)) {
        outcomes.push_back(rig.Recognize());
        recorded += outcomes.back().samples;
    }
    return outcomes;
}

// An Opus encoder with the encoder filter's settings.
class Encoder {
public:
    Encoder()
    {
        int status = 0;
        encoder_ = opus_encoder_create(16000, 1, OPUS_APPLICATION_AUDIO, &status);
        if (encoder_ == nullptr || status != OPUS_OK) {
            throw std::runtime_error("opus_encoder_create failed");
        }
        opus_encoder_ctl(encoder_, OPUS_SET_BITRATE(24000));
        opus_encoder_ctl(encoder_, OPUS_SET_BANDWIDTH(OPUS_BANDWIDTH_WIDEBAND));
        opus_encoder_ctl(encoder_, OPUS_SET_VBR(1));
        opus_encoder_ctl(encoder_, OPUS_SET_LSB_DEPTH(16));
    }
    ~Encoder() { opus_encoder_destroy(encoder_); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // One 20 ms frame.
    void Encode(const short* frame)
    {
        if (opus_encode(encoder_, frame, BlockSamples, packet_, sizeof packet_) < 0) {
            throw std::runtime_error("opus_encode failed");
        }
    }

private:
    OpusEncoder* encoder_ = nullptr;
    unsigned char packet_[4000];
};

// Bare opus_encode of the first `samples` of each recognition's audio, 20 ms frames, with
// the encoder filter's settings; one encoder per recognition, like the pipeline.
void BareOpus(const Samples& audio, const std::vector<std::uint64_t>& recorded)
{
    for (const std::uint64_t samples : recorded) {
        Encoder encoder;
        for (std::uint64_t at = 0; at + BlockSamples <= samples; at += BlockSamples) {
            encoder.Encode(audio.data() + at);
        }
    }
}

// The detector as the detection filter runs it: made anew per recognition (mode 0, noise
// reduction, one utterance), fed one recorded block at a time. Returns the index one past
// the block that brought the end of the utterance (0 when none did).
std::size_t BareDetection(const Samples& audio, const std::vector<std::uint64_t>& recorded)
{
    std::size_t end = 0;
    for (const std::uint64_t samples : recorded) {
        const boost::shared_ptr<Orvane::Utility::Vad::Detector> detector =
            Orvane::Utility::Vad::Detector::CreateDetector(0, true, false, ModelPath(), ConfigPath());
        for (std::uint64_t at = 0; at + BlockSamples <= samples; at += BlockSamples) {
            for (const auto& chunk :
                 detector->Detect(reinterpret_cast<const char*>(audio.data() + at), BlockSamples * 2)) {
                if (end == 0 && chunk->GetStatus() == Orvane::Utility::Vad::VAD_STATUS_END) {
                    end = at + BlockSamples;
                }
            }
        }
    }
    return end;
}

std::size_t DetectedEnd(const Samples& audio) { return BareDetection(audio, {audio.size()}); }

// The pipeline's work done by one thread at the real-time pace: the first `samples` of the
// audio in 20 ms blocks, one block due every 20 ms, the thread asleep in between. With
// `detect`, each block goes through the detector as the detection filter runs it and only
// the speech it releases is encoded, as the encoder filter would; without, every block is
// encoded (Opus alone). Returns the process CPU it took and its context switches.
Usage PacedBaseline(const Samples& audio, std::uint64_t samples, bool detect)
{
    const Usage start = Usage::Now();
    Encoder encoder;
    boost::shared_ptr<Orvane::Utility::Vad::Detector> detector;
    if (detect) {
        detector = Orvane::Utility::Vad::Detector::CreateDetector(0, true, false, ModelPath(), ConfigPath());
    }
    Samples speech;
    std::size_t encoded = 0;
    Clock::time_point due = Clock::now();
    for (std::uint64_t at = 0; at + BlockSamples <= samples; at += BlockSamples) {
        if (!detect) {
            encoder.Encode(audio.data() + at);
        } else {
            for (const auto& chunk :
                 detector->Detect(reinterpret_cast<const char*>(audio.data() + at), BlockSamples * 2)) {
                const Orvane::Utility::Vad::VadDetectStatus status = chunk->GetStatus();
                if (status == Orvane::Utility::Vad::VAD_STATUS_START ||
                    status == Orvane::Utility::Vad::VAD_STATUS_CONTINUE ||
                    status == Orvane::Utility::Vad::VAD_STATUS_END) {
                    const short* data = reinterpret_cast<const short*>(chunk->Data());
                    speech.insert(speech.end(), data, data + chunk->Size() / 2);
                }
            }
            for (; encoded + BlockSamples <= speech.size(); encoded += BlockSamples) {
                encoder.Encode(speech.data() + encoded);
            }
        }
        due += std::chrono::milliseconds(20);
        std::this_thread::sleep_until(due);
    }
    return Usage::Now() - start;
}

// CPU per wake-up of a thread that sleeps 20 ms at a time, as the file recorder does: on a
// virtual machine a context switch can cost more than the work around it.
double WakeUpCost()
{
    const int sleeps = 250;
    const Usage start = Usage::Now();
    std::thread sleeper([] {
        for (int i = 0; i < sleeps; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    sleeper.join();
    return (Usage::Now() - start).cpu / sleeps;
}

// "median (lowest-highest)" of a list of figures.
std::string Spread(const std::vector<double>& values, const char* format)
{
    char text[128];
    const std::string one = std::string(format) + " (" + format + "-" + format + ")";
    std::snprintf(text, sizeof text, one.c_str(), Median(values), *std::min_element(values.begin(), values.end()),
                  *std::max_element(values.begin(), values.end()));
    return text;
}

void CpuBench()
{
    const Utterance& utterance = EightSeconds();
    std::printf("cpu: utterance %.2f s, last speech sample at %.2f s\n",
                static_cast<double>(utterance.samples.size()) / kSampleRate,
                static_cast<double>(utterance.lastSpeech) / kSampleRate);
    UtteranceRig rig(utterance);
    // Process CPU per second of audio, one entry per round.
    std::vector<double> pipeline, paced, pacedOpus, hotOpus, hotDetection;
    std::vector<double> overPaced, pacedOpusOverHot, overHotOpus, overHotBoth, pipelineSwitches, pacedSwitches;
    std::vector<Outcome> outcomes;
    std::uint64_t total = 0;
    std::uint64_t samples = 0; // of the last recognition, for a baseline that runs first
    std::printf("  per round, process CPU in s per s of audio:\n");
    std::printf("  %5s %8s %9s %18s %11s %9s %8s %15s\n", "round", "audio s", "pipeline", "paced det+NR+Opus",
                "paced Opus", "hot Opus", "hot det", "pipeline/paced");
    for (int round = 0; total < static_cast<std::uint64_t>(RecordedSecondsWanted * kSampleRate); ++round) {
        // The pipeline and its paced baseline take turns going first.
        const bool baselineFirst = round % 2 == 1;
        Usage baseline;
        if (baselineFirst) {
            baseline = PacedBaseline(utterance.samples, samples, true);
        }
        const Usage before = Usage::Now();
        outcomes.push_back(rig.Recognize());
        const Usage used = Usage::Now() - before;
        const std::uint64_t recorded = outcomes.back().samples;
        if (!baselineFirst || recorded != samples) {
            // Its turn after the pipeline, or the detector cut elsewhere this time: the
            // baseline of this recording.
            baseline = PacedBaseline(utterance.samples, recorded, true);
        }
        samples = recorded;
        total += recorded;
        const Usage opusPaced = PacedBaseline(utterance.samples, recorded, false);
        Usage hot = Usage::Now();
        BareOpus(utterance.samples, {recorded});
        const double opusHot = (Usage::Now() - hot).cpu;
        hot = Usage::Now();
        BareDetection(utterance.samples, {recorded});
        const double detectionHot = (Usage::Now() - hot).cpu;

        const double seconds = static_cast<double>(recorded) / kSampleRate;
        const double blocks = static_cast<double>(recorded / BlockSamples);
        pipeline.push_back(used.cpu / seconds);
        paced.push_back(baseline.cpu / seconds);
        pacedOpus.push_back(opusPaced.cpu / seconds);
        hotOpus.push_back(opusHot / seconds);
        hotDetection.push_back(detectionHot / seconds);
        overPaced.push_back(used.cpu / baseline.cpu);
        pacedOpusOverHot.push_back(opusPaced.cpu / opusHot);
        overHotOpus.push_back(used.cpu / opusHot);
        overHotBoth.push_back(used.cpu / (opusHot + detectionHot));
        pipelineSwitches.push_back(static_cast<double>(used.switches) / blocks);
        pacedSwitches.push_back(static_cast<double>(baseline.switches) / blocks);
        std::printf("  %5d %8.2f %9.4f %18.4f %11.4f %9.4f %8.4f %14.2fx%s\n", round + 1, seconds, pipeline.back(),
                    paced.back(), pacedOpus.back(), hotOpus.back(), hotDetection.back(), overPaced.back(),
                    baselineFirst ? " (baseline first)" : "");
        std::fflush(stdout);
    }
    const double wakeUp = WakeUpCost();
    std::printf("  %zu rounds, %.1f s of audio; medians per second of audio (lowest-highest):\n", outcomes.size(),
                static_cast<double>(total) / kSampleRate);
    std::printf("  pipeline process CPU              %s s\n", Spread(pipeline, "%.4f").c_str());
    std::printf("  paced one-thread det+NR+Opus      %s s\n", Spread(paced, "%.4f").c_str());
    std::printf("  paced one-thread Opus alone       %s s\n", Spread(pacedOpus, "%.4f").c_str());
    std::printf("  hot opus_encode                   %s s\n", Spread(hotOpus, "%.4f").c_str());
    std::printf("  hot detection (NR on)             %s s\n", Spread(hotDetection, "%.4f").c_str());
    std::printf("  context switches per block: pipeline %s, paced baseline %s\n",
                Spread(pipelineSwitches, "%.2f").c_str(), Spread(pacedSwitches, "%.2f").c_str());
    std::printf("  one 20 ms sleep and wake-up %.0f us of CPU\n", wakeUp * 1e6);
    std::printf("  pipeline / paced det+NR+Opus              %s x  (per round)\n", Spread(overPaced, "%.2f").c_str());
    std::printf("  paced Opus / hot opus_encode              %s x\n", Spread(pacedOpusOverHot, "%.2f").c_str());
    std::printf("  for reference, pipeline / hot opus_encode %s x (goal <= 1.3x)\n",
                Spread(overHotOpus, "%.2f").c_str());
    std::printf("  for reference, pipeline / (hot opus_encode + hot detection) %s x\n",
                Spread(overHotBoth, "%.2f").c_str());
    PrintLatencies(outcomes, utterance.samples, utterance.lastSpeech);
}

void LatencyBench(std::size_t runs)
{
    const Utterance& utterance = EightSeconds();
    std::printf("latency: %zu recognitions, last speech sample at %.2f s\n", runs,
                static_cast<double>(utterance.lastSpeech) / kSampleRate);
    const std::vector<Outcome> outcomes = RecognizeUtterance(utterance, runs, 1e9);
    PrintLatencies(outcomes, utterance.samples, utterance.lastSpeech);
}

struct ProcessStatus {
    long rssKb = 0;
    long threads = 0;
    std::size_t descriptors = 0;
};

ProcessStatus ReadStatus()
{
    return ProcessStatus{static_cast<long>(ResidentKilobytes()), static_cast<long>(ThreadCount()), DescriptorCount()};
}

void MemoryBench(std::size_t count, const std::string& codec)
{
    const Utterance& utterance = EightSeconds();
    // 0.2 s from the middle of the speech.
    const std::size_t from = 3 * kSampleRate;
    const std::size_t length = kSampleRate / 5;
    TemporaryDirectory directory("helper-bench");
    LoopbackServerProcess server;
    const std::string target = directory.Write("short.raw", Bytes(utterance.samples.data() + from, length));
    Helper& helper = Helper::Get();
    const std::map<std::string, std::string> changes = {
        {"codec", codec}, {"detection_mode", "false"}, {"noise_reduction_mode", "false"}, {"notify_record", "false"}};
    helper.Initialize(WriteParameterFile(directory.File("parameters.ini"), Options(server, target, changes)));
    std::printf("memory: %zu recognitions of 0.2 s, %s, detection off, one handle\n", count, codec.c_str());
    std::printf("  %6s %10s %8s %8s %12s\n", "after", "VmRSS kB", "threads", "fds", "wall ms/rec");
    const ProcessStatus before = ReadStatus();
    std::printf("  %6d %10ld %8ld %8zu\n", 0, before.rssKb, before.threads, before.descriptors);
    long reference = 0;
    long highest = 0;
    Clock::time_point since = Clock::now();
    std::size_t sinceCount = 0;
    for (std::size_t i = 1; i <= count; ++i) {
        const Outcome outcome = helper.Recognize(std::chrono::seconds(30));
        if (outcome.failed) {
            throw std::runtime_error("recognition " + std::to_string(i) + " failed: " + outcome.error);
        }
        if (i == 1 || i == 10 || i % 100 == 0 || i == count) {
            const ProcessStatus now = ReadStatus();
            const double perRecognition = Milliseconds(Clock::now() - since) / static_cast<double>(i - sinceCount);
            std::printf("  %6zu %10ld %8ld %8zu %12.0f\n", i, now.rssKb, now.threads, now.descriptors, perRecognition);
            std::fflush(stdout);
            since = Clock::now();
            sinceCount = i;
            if (i == 10) {
                reference = now.rssKb;
            }
            if (i >= 10) {
                highest = std::max(highest, now.rssKb);
            }
        }
    }
    const long last = ReadStatus().rssKb;
    std::printf("  growth after recognition 10: at the end %+ld kB, highest %+ld kB (goal <= 8192 kB)\n",
                last - reference, highest - reference);
}

int Usage()
{
    std::fprintf(stderr, "usage: HelperPipelineBench [cpu] [latency [RUNS]] [memory [COUNT] [pcm]]\n");
    return 2;
}

bool IsNumber(const char* text) { return *text != '\0' && std::strspn(text, "0123456789") == std::strlen(text); }

} // namespace

int main(int argc, char** argv)
{
    bool cpu = argc == 1;
    bool latency = argc == 1;
    bool memory = argc == 1;
    std::size_t runs = 8;
    std::size_t count = 1000;
    std::string codec = "Opus";
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "cpu") {
            cpu = true;
        } else if (word == "latency") {
            latency = true;
            if (i + 1 < argc && IsNumber(argv[i + 1])) {
                runs = std::strtoul(argv[++i], nullptr, 10);
            }
        } else if (word == "memory") {
            memory = true;
            if (i + 1 < argc && IsNumber(argv[i + 1])) {
                count = std::strtoul(argv[++i], nullptr, 10);
            }
            if (i + 1 < argc && std::strcmp(argv[i + 1], "pcm") == 0) {
                codec = "PCM";
                ++i;
            }
        } else {
            return Usage();
        }
    }
    try {
        if (cpu) {
            CpuBench();
        }
        if (latency) {
            LatencyBench(runs);
        }
        if (memory) {
            MemoryBench(count, codec);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "HelperPipelineBench: %s\n", e.what());
        return 1;
    }
    return 0;
}
