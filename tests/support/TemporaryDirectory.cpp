#include "support/TemporaryDirectory.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <boost/filesystem.hpp>

namespace Orvane {
namespace Test {

TemporaryDirectory::TemporaryDirectory()
{
    const boost::filesystem::path base = boost::filesystem::temp_directory_path() / "tessival-XXXXXX";
    std::string pattern = base.string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = buffer.data();
}

TemporaryDirectory::~TemporaryDirectory()
{
    boost::system::error_code ignored;
    boost::filesystem::remove_all(path_, ignored);
}

std::string TemporaryDirectory::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = File(name);
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

} // namespace Test
} // namespace Orvane
