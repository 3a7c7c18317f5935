#pragma once

#include <map>
#include <string>

namespace Orvane {
namespace Test {

// Writes a parameter file of the client helper: an INI file with the section
// "Environment" holding `options`. Returns its path.
std::string WriteParameterFile(const std::string& path, const std::map<std::string, std::string>& options);

} // namespace Test
} // namespace Orvane
