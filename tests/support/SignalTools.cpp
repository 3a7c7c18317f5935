#include "support/SignalTools.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sys/wait.h>

namespace Orvane {
namespace Test {

bool SignalTools::Run(const std::string& command)
{
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<short> SignalTools::Sine(double frequency, double amplitude, std::size_t count)
{
    std::vector<short> samples(count);
    const double pi = 3.14159265358979323846;
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<short>(std::lround(amplitude * std::sin(2.0 * pi * frequency * i / 16000.0)));
    }
    return samples;
}

std::string SignalTools::RandomBytes(std::size_t count, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

std::string SignalTools::ToBytes(const std::vector<short>& samples)
{
    std::string bytes(samples.size() * 2, '\0');
    if (!samples.empty()) {
        std::memcpy(&bytes[0], samples.data(), bytes.size());
    }
    return bytes;
}

std::vector<short> SignalTools::ToSamples(const std::string& bytes)
{
    std::vector<short> samples(bytes.size() / 2);
    if (!samples.empty()) {
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    }
    return samples;
}

double SignalTools::SnrDb(const std::vector<short>& reference, const std::vector<short>& decoded, std::size_t delay)
{
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < reference.size() && i + delay < decoded.size(); ++i) {
        const double r = reference[i];
        const double d = decoded[i + delay];
        signal += r * r;
        noise += (r - d) * (r - d);
    }
    if (noise == 0.0) {
        return 200.0;
    }
    return 10.0 * std::log10(signal / noise);
}

} // namespace Test
} // namespace Orvane
