#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Audio fixtures for the detection tests, the accuracy test and the benchmarks: espeak-ng
// speech and sox noise at 16 kHz, mono, 16-bit, made once and cached in the build tree
// (TESSIVAL_BINARY_DIR/audio-cache), so later test processes read them back.
namespace Orvane {
namespace Test {

using Samples = std::vector<short>;

constexpr int kSampleRate = 16000;

struct Voice {
    std::string name; // espeak-ng voice, e.g. "en-us" or "en-gb+f2"
    int speed;        // words per minute
    int pitch;        // 0..99
};

enum class NoiseKind { White, Pink, Brown };

// Sentences never used to train the model (data/vad/tuning-sentences.txt), for the unit
// tests; figures that are reported come from the evaluation list (EvaluationSet.h).
std::vector<std::string> HeldOutSentences();
// A few voices that differ in accent, sex, speed and pitch.
std::vector<Voice> TestVoices();

// `text` spoken by espeak-ng and resampled to 16 kHz by sox (throws on failure).
Samples Speak(const std::string& text, const Voice& voice);
// `seconds` of sox noise at full scale (repeatable seed `seed`).
Samples Noise(NoiseKind kind, double seconds, int seed = 1);
// Silence of the given length.
Samples Silence(double seconds);

// Mean square over the frames (20 ms) whose energy is within 40 dB of the loudest one.
double ActivePower(const Samples& speech);
// speech + noise scaled to `snrDb` against the speech's active power; the noise is repeated
// or cut to the speech's length; sums saturate.
Samples MixAtSnr(const Samples& speech, const Samples& noise, double snrDb);

// Concatenation.
Samples Join(const std::vector<Samples>& parts);

// Path of a file under the source tree's data/ directory.
std::string DataPath(const std::string& relative);
// The committed model file and detector configuration.
std::string ModelPath();
std::string ConfigPath();
std::vector<char> ReadFile(const std::string& path);
// A raw file of 16-bit little-endian samples.
Samples ReadSamples(const std::string& path);

} // namespace Test
} // namespace Orvane
