#include "support/AlsaFileDevices.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace Orvane {
namespace Test {

namespace {
std::string FileDevice(const std::string& input)
{
    return "{ type file slave.pcm \"null\" file \"/dev/null\" infile \"" + input + "\" format \"raw\" }\n";
}
} // namespace

void AlsaFileDevices::Write(const std::string& home, const std::vector<std::pair<std::string, std::string>>& devices,
                            const std::string& defaultInput)
{
    const std::string path = home + "/.asoundrc";
    std::ofstream out(path.c_str(), std::ios::trunc);
    out << "pcm.!default " << FileDevice(defaultInput);
    out << "pcm.!pulse { type null }\n";
    out << "pcm.!jack { type null }\n";
    for (const auto& device : devices) {
        out << "pcm." << device.first << " " << FileDevice(device.second);
    }
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void AlsaFileDevices::Use(const std::string& home)
{
    setenv("HOME", home.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
}

} // namespace Test
} // namespace Orvane
