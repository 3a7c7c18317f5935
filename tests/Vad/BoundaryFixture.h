#pragma once

#include <string>
#include <vector>

#include "support/AudioFixture.h"

// Speech-boundary measurements of the detector on noisy speech: one sentence with 1.5 s of
// noise before and 1 s after, fed in 20 ms blocks as the helper feeds it, the delivered
// speech located in the input, and the truth taken from the clean signal.
namespace Orvane {
namespace Test {

struct BoundaryCase {
    std::string sentence;
    Voice voice;
    NoiseKind noise;
    double snrDb;
    int seed;
};

struct BoundaryResult {
    double trueStart = 0.0;   // s, first speech frame of the clean signal
    double trueEnd = 0.0;     // s, end of its last speech frame
    bool started = false;     // speech was delivered
    bool ended = false;       // a status-4 chunk came
    double spanStart = 0.0;   // s, first delivered sample's place in the input
    double spanEnd = 0.0;     // s, end of the delivered samples
    double endStatusAt = 0.0; // s of input fed when the status-4 chunk came
    double coverage = 0.0;    // share of the true speech frames inside the span
    double startLead() const { return trueStart - spanStart; }
    double endDelay() const { return endStatusAt - trueEnd; }
};

// A held-out sentence with 1.5 s of quiet pink noise (30 dB) around it; `start` and `end`
// bound its loud samples.
struct Burst {
    Samples audio;
    std::size_t start;
    std::size_t end;
};
const Burst& QuietSentence();

// Frames (10 ms) of `clean` within 40 dB of its loudest frame.
std::vector<bool> SpeechFrames(const Samples& clean);

// The clean and the noisy signal of a case.
Samples CleanSignal(const BoundaryCase& c);
Samples NoisySignal(const BoundaryCase& c);

// Runs a detector (mode 0, the committed model, one utterance) with the configuration file
// `config` over the case.
BoundaryResult MeasureBoundaries(const BoundaryCase& c, bool noiseReduction = true,
                                 const std::string& config = ConfigPath());

// Speech delivered by a detector fed `audio` in 20 ms blocks (0 when none).
std::size_t DeliveredSamples(const Samples& audio, bool noiseReduction = true,
                             const std::string& config = ConfigPath());

// The held-out sentences with the test voices in turn, `count` of them.
std::vector<BoundaryCase> HeldOutCases(NoiseKind noise, double snrDb, std::size_t count);

// Level of a noise kind as it is mixed at `snrDb` into the held-out cases (a scale factor
// of the full-scale noise fixture).
double NoiseGainAt(NoiseKind noise, double snrDb);

} // namespace Test
} // namespace Orvane
