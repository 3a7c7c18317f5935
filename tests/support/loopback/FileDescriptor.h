#pragma once

namespace Orvane {
namespace Test {
namespace Loopback {

// Owns one POSIX file descriptor and closes it on destruction.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd);
    ~FileDescriptor();

    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

private:
    int fd_ = -1;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
