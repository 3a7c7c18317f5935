#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace Orvane {
namespace Test {

// A fresh temporary directory for one test's files, removed with everything in it.
class TestFiles {
public:
    TestFiles()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ivelmo-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            directory_ = pattern;
        }
    }
    TestFiles(const TestFiles&) = delete;
    TestFiles& operator=(const TestFiles&) = delete;
    ~TestFiles()
    {
        std::error_code ignored;
        if (!directory_.empty()) {
            std::filesystem::remove_all(directory_, ignored);
        }
    }

    bool Ready() const { return !directory_.empty(); }
    std::string Path(const std::string& name) const { return (directory_ / name).string(); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(directory_ / name); }

    static std::vector<uint8_t> Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<uint8_t> ReadFile(const std::string& name) const { return Read(Path(name)); }

private:
    std::filesystem::path directory_;
};

} // namespace Test
} // namespace Orvane
