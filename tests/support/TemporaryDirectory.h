#pragma once

#include <string>

namespace Orvane {
namespace Test {

// A fresh directory under the system's temporary directory, removed with its contents
// when the object goes.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return path_; }
    // The path of `name` inside the directory.
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` to `name` inside the directory and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

} // namespace Test
} // namespace Orvane
