#include "support/TemporaryDirectory.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <boost/filesystem.hpp>

namespace Orvane {
namespace Test {

TemporaryDirectory::TemporaryDirectory(const std::string& prefix)
{
    const std::string pattern = (boost::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory from " + pattern);
    }
    path_ = name.data();
}

TemporaryDirectory::~TemporaryDirectory()
{
    boost::system::error_code ignored;
    boost::filesystem::remove_all(path_, ignored);
}

std::string TemporaryDirectory::File(const std::string& name) const { return path_ + "/" + name; }

std::string TemporaryDirectory::Write(const std::string& name, const std::string& contents) const
{
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary);
    out << contents;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

} // namespace Test
} // namespace Orvane
