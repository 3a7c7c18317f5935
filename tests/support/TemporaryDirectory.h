#pragma once

#include <string>

namespace Orvane {
namespace Test {

// A fresh directory under the system's temporary directory, removed with its contents
// on destruction.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& prefix = "tessival");
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const;
    // Writes `contents` to File(name) and returns that path.
    std::string Write(const std::string& name, const std::string& contents) const;

private:
    std::string path_;
};

} // namespace Test
} // namespace Orvane
