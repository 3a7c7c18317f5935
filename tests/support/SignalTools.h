#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Orvane {
namespace Test {

// Test signals and measures, 16-bit mono at 16 kHz (the speech itself comes from
// AudioFixture.h).
class SignalTools {
public:
    static std::vector<short> Sine(double frequency, double amplitude, std::size_t count);
    // Deterministic pseudo-random bytes.
    static std::string RandomBytes(std::size_t count, uint32_t seed);
    static std::string ToBytes(const std::vector<short>& samples);
    static std::vector<short> ToSamples(const std::string& bytes);
    // Signal-to-noise ratio in dB of `decoded` against `reference`, over the samples they
    // share after skipping `delay` samples of `decoded`.
    static double SnrDb(const std::vector<short>& reference, const std::vector<short>& decoded, std::size_t delay);
    // Runs a shell command; true when it exits with 0.
    static bool Run(const std::string& command);
};

} // namespace Test
} // namespace Orvane
