#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "support/TemporaryDirectory.h"
#include "support/UniqueFd.h"
#include "support/WaitFor.h"

namespace Orvane {
namespace Test {

// A FIFO as a recognition target: its audio is written when the test chooses (once the
// recognition is connected), and it ends only when the test closes it.
class FifoTarget {
public:
    explicit FifoTarget(const TemporaryDirectory& directory) : path_(directory.File("input.fifo"))
    {
        if (mkfifo(path_.c_str(), 0600) != 0) {
            throw std::runtime_error("mkfifo " + path_);
        }
    }

    const std::string& Path() const { return path_; }

    // Opens the writing end once the recorder has opened the FIFO, then writes `bytes`
    // (at most the FIFO's 64 KiB buffer, so the write never waits for the reader).
    bool Write(const std::string& bytes)
    {
        if (!WaitFor([this] {
                writer_.Reset(open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
                return writer_.IsOpen();
            })) {
            return false;
        }
        return write(writer_.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // The file's end: the recorder reads what is left, then the end.
    void Close() { writer_.Reset(); }

private:
    std::string path_;
    UniqueFd writer_;
};

} // namespace Test
} // namespace Orvane
