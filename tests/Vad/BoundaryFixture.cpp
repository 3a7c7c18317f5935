#include "Vad/BoundaryFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Vad/Detector.h"

namespace Orvane {
namespace Test {
namespace {

using Orvane::Utility::Vad::Detector;
using Orvane::Utility::Vad::VadBuffer;

constexpr std::size_t kFrame = 160;
constexpr std::size_t kBlock = 320; // samples per Detect call: 20 ms
constexpr double kBefore = 1.5;
constexpr double kAfter = 1.0;

double Seconds(std::size_t samples)
{
    return static_cast<double>(samples) / kSampleRate;
}

// Where `slice` best matches `input`: normalised correlation over a stretch of the slice,
// coarse in frame steps, then refined to the sample.
std::size_t Align(const Samples& input, const Samples& slice)
{
    if (slice.size() >= input.size()) {
        return 0;
    }
    const std::size_t window = std::min<std::size_t>(slice.size(), kSampleRate);
    const std::size_t from = (slice.size() - window) / 2;
    auto score = [&](std::size_t offset) {
        double dot = 0.0;
        double energy = 1e-9;
        for (std::size_t i = from; i < from + window; ++i) {
            const double x = input[offset + i];
            dot += slice[i] * x;
            energy += x * x;
        }
        return dot / std::sqrt(energy);
    };
    const std::size_t last = input.size() - slice.size();
    std::size_t best = 0;
    double bestScore = -1e300;
    for (std::size_t offset = 0; offset <= last; offset += kFrame) {
        const double s = score(offset);
        if (s > bestScore) {
            bestScore = s;
            best = offset;
        }
    }
    const std::size_t low = best >= kFrame ? best - kFrame : 0;
    const std::size_t high = std::min(best + kFrame, last);
    for (std::size_t offset = low; offset <= high; ++offset) {
        const double s = score(offset);
        if (s > bestScore) {
            bestScore = s;
            best = offset;
        }
    }
    return best;
}

struct Run {
    Samples delivered;
    std::size_t endStatusAt = 0; // samples fed when the status-4 chunk came
    bool ended = false;
};

Run Feed(const Samples& audio, bool noiseReduction, const std::string& config)
{
    boost::shared_ptr<Detector> detector = Detector::CreateDetector(0, noiseReduction, false, ModelPath(), config);
    Run run;
    for (std::size_t at = 0; at < audio.size() && !run.ended; at += kBlock) {
        const std::size_t n = std::min(kBlock, audio.size() - at);
        for (const boost::shared_ptr<VadBuffer>& chunk :
             detector->Detect(reinterpret_cast<const char*>(audio.data() + at), static_cast<unsigned>(n * 2))) {
            const std::size_t count = chunk->Size() / 2;
            const std::size_t old = run.delivered.size();
            run.delivered.resize(old + count);
            if (count != 0) {
                std::memcpy(run.delivered.data() + old, chunk->Data(), chunk->Size());
            }
            if (chunk->GetStatus() == Orvane::Utility::Vad::VAD_STATUS_END) {
                run.ended = true;
                run.endStatusAt = at + n;
            }
        }
    }
    return run;
}

} // namespace

const Burst& QuietSentence()
{
    static const Burst burst = [] {
        const Samples speech = Speak(HeldOutSentences()[2], TestVoices()[0]);
        const Samples clean = Join({Silence(1.5), speech, Silence(1.5)});
        Burst b{MixAtSnr(clean, Noise(NoiseKind::Pink, 10.0, 5), 30.0), 0, 0};
        const auto loud = [](short s) { return std::abs(s) > 300; };
        b.start = static_cast<std::size_t>(std::find_if(clean.begin(), clean.end(), loud) - clean.begin());
        b.end = clean.size() - static_cast<std::size_t>(std::find_if(clean.rbegin(), clean.rend(), loud) - clean.rbegin());
        return b;
    }();
    return burst;
}

std::vector<bool> SpeechFrames(const Samples& clean)
{
    std::vector<double> energies;
    for (std::size_t at = 0; at + kFrame <= clean.size(); at += kFrame) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + kFrame; ++i) {
            sum += double(clean[i]) * clean[i];
        }
        energies.push_back(sum);
    }
    const double loudest = energies.empty() ? 0.0 : *std::max_element(energies.begin(), energies.end());
    std::vector<bool> speech;
    for (double e : energies) {
        speech.push_back(loudest > 0.0 && e >= loudest * 1e-4);
    }
    return speech;
}

Samples CleanSignal(const BoundaryCase& c)
{
    return Join({Silence(kBefore), Speak(c.sentence, c.voice), Silence(kAfter)});
}

Samples NoisySignal(const BoundaryCase& c)
{
    return MixAtSnr(CleanSignal(c), Noise(c.noise, 10.0, c.seed), c.snrDb);
}

BoundaryResult MeasureBoundaries(const BoundaryCase& c, bool noiseReduction, const std::string& config)
{
    const Samples clean = CleanSignal(c);
    const Samples noisy = MixAtSnr(clean, Noise(c.noise, 10.0, c.seed), c.snrDb);
    const std::vector<bool> truth = SpeechFrames(clean);
    BoundaryResult result;
    const auto first = std::find(truth.begin(), truth.end(), true);
    const auto last = std::find(truth.rbegin(), truth.rend(), true);
    if (first == truth.end()) {
        throw std::runtime_error("no speech in " + c.sentence);
    }
    result.trueStart = Seconds(static_cast<std::size_t>(first - truth.begin()) * kFrame);
    result.trueEnd = Seconds(static_cast<std::size_t>(truth.rend() - last) * kFrame);

    const Run run = Feed(noisy, noiseReduction, config);
    result.ended = run.ended;
    result.endStatusAt = Seconds(run.endStatusAt);
    if (run.delivered.empty()) {
        return result;
    }
    result.started = true;
    std::size_t offset = 0;
    if (noiseReduction) {
        offset = Align(noisy, run.delivered);
    } else {
        // Without noise reduction the delivered samples are the input's own.
        const auto found = std::search(noisy.begin(), noisy.end(), run.delivered.begin(), run.delivered.end());
        if (found == noisy.end()) {
            throw std::runtime_error("delivered samples are not a slice of the input");
        }
        offset = static_cast<std::size_t>(found - noisy.begin());
    }
    result.spanStart = Seconds(offset);
    result.spanEnd = Seconds(offset + run.delivered.size());
    std::size_t inside = 0;
    std::size_t total = 0;
    for (std::size_t f = 0; f < truth.size(); ++f) {
        if (!truth[f]) {
            continue;
        }
        ++total;
        inside += f * kFrame >= offset && (f + 1) * kFrame <= offset + run.delivered.size();
    }
    result.coverage = static_cast<double>(inside) / total;
    return result;
}

std::size_t DeliveredSamples(const Samples& audio, bool noiseReduction, const std::string& config)
{
    return Feed(audio, noiseReduction, config).delivered.size();
}

std::vector<BoundaryCase> HeldOutCases(NoiseKind noise, double snrDb, std::size_t count)
{
    const std::vector<std::string> sentences = HeldOutSentences();
    const std::vector<Voice> voices = TestVoices();
    std::vector<BoundaryCase> cases;
    for (std::size_t i = 0; i < count && i < sentences.size(); ++i) {
        cases.push_back({sentences[i], voices[i % voices.size()], noise, snrDb, static_cast<int>(i + 1)});
    }
    return cases;
}

double NoiseGainAt(NoiseKind noise, double snrDb)
{
    const BoundaryCase c = HeldOutCases(noise, snrDb, 1).front();
    const Samples n = Noise(noise, 10.0, c.seed);
    double noisePower = 0.0;
    for (short s : n) {
        noisePower += double(s) * s;
    }
    noisePower /= n.size();
    return std::sqrt(ActivePower(CleanSignal(c)) / (noisePower * std::pow(10.0, snrDb / 10.0)));
}

} // namespace Test
} // namespace Orvane
