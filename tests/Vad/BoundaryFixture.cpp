#include "Vad/BoundaryFixture.h"

#include <algorithm>
#include <cmath>

namespace Orvane {
namespace Test {
namespace {

constexpr std::size_t kFrame = 160;

} // namespace

std::size_t Align(const Samples& input, const Samples& slice, std::size_t from, std::size_t last)
{
    if (slice.size() >= input.size()) {
        return 0;
    }
    last = std::min(last, input.size() - slice.size());
    from = std::min(from, last);
    const std::size_t window = std::min<std::size_t>(slice.size(), kSampleRate);
    const std::size_t middle = (slice.size() - window) / 2;
    auto score = [&](std::size_t offset) {
        double dot = 0.0;
        double energy = 1e-9;
        for (std::size_t i = middle; i < middle + window; ++i) {
            const double x = input[offset + i];
            dot += slice[i] * x;
            energy += x * x;
        }
        return dot / std::sqrt(energy);
    };
    std::size_t best = from;
    double bestScore = -1e300;
    for (std::size_t offset = from; offset <= last; offset += kFrame) {
        const double s = score(offset);
        if (s > bestScore) {
            bestScore = s;
            best = offset;
        }
    }
    const std::size_t low = best >= from + kFrame ? best - kFrame : from;
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

} // namespace Test
} // namespace Orvane
