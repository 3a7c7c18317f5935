#include "support/ParameterFile.h"

#include <fstream>
#include <stdexcept>

namespace Orvane {
namespace Test {

std::string WriteParameterFile(const std::string& path, const std::map<std::string, std::string>& options)
{
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    out << "[Environment]\n";
    for (const auto& option : options) {
        out << option.first << "=" << option.second << "\n";
    }
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

} // namespace Test
} // namespace Orvane
