#pragma once

#include <vector>

#include "support/AudioFixture.h"

// Speech-boundary fixtures: a quiet sentence, speech frames of a clean signal, and the place
// of delivered (noise-reduced) samples in the input.
namespace Orvane {
namespace Test {

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

// Where `slice` (noise-reduced samples of `input`) starts in `input`, between `from` and
// `last`: normalised correlation over a stretch of the slice, coarse in frame steps, then
// refined to the sample.
std::size_t Align(const Samples& input, const Samples& slice, std::size_t from, std::size_t last);

} // namespace Test
} // namespace Orvane
