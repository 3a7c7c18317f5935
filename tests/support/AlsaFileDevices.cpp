#include "support/AlsaFileDevices.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace Orvane {
namespace Test {

void AlsaFileDevices::Write(const std::string& home, const std::vector<std::pair<std::string, std::string>>& devices)
{
    const std::string path = home + "/.asoundrc";
    std::ofstream out(path.c_str(), std::ios::trunc);
    for (const auto& device : devices) {
        out << "pcm." << device.first << " { type file slave.pcm \"null\" file \"/dev/null\" infile \""
            << device.second << "\" format \"raw\" }\n";
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
