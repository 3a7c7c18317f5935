#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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
    explicit FifoTarget(const TemporaryDirectory& directory, const std::string& name = "input.fifo")
        : path_(directory.File(name))
    {
        if (mkfifo(path_.c_str(), 0600) != 0) {
            throw std::runtime_error("mkfifo " + path_);
        }
        // A reader that has gone makes a write fail with EPIPE instead of ending the process.
        ::signal(SIGPIPE, SIG_IGN);
    }

    const std::string& Path() const { return path_; }

    // Opens the writing end once the recorder has opened the FIFO, then writes `bytes`
    // (at most the FIFO's 64 KiB buffer, so the write never waits for the reader).
    bool Write(const std::string& bytes)
    {
        return Open() && write(writer_.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Opens the writing end as Write does, then writes `bytes` of any size, waiting while
    // the reader takes them. False when the reader goes away or takes nothing for `idle`.
    bool WriteAll(const std::string& bytes, std::chrono::milliseconds idle = std::chrono::seconds(10))
    {
        if (!Open()) {
            return false;
        }
        std::size_t written = 0;
        while (written < bytes.size()) {
            pollfd entry = {writer_.Get(), POLLOUT, 0};
            const int ready = ::poll(&entry, 1, static_cast<int>(idle.count()));
            if (ready == 0 || (ready > 0 && (entry.revents & (POLLERR | POLLHUP)) != 0)) {
                return false;
            }
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            const ssize_t count = write(writer_.Get(), bytes.data() + written, bytes.size() - written);
            if (count > 0) {
                written += static_cast<std::size_t>(count);
            } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
        }
        return true;
    }

    // The file's end: the recorder reads what is left, then the end.
    void Close() { writer_.Reset(); }

private:
    // The writing end, opened without waiting once the reader has the FIFO open.
    bool Open()
    {
        return writer_.IsOpen() || WaitFor([this] {
                   writer_.Reset(open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
                   return writer_.IsOpen();
               });
    }

    std::string path_;
    UniqueFd writer_;
};

} // namespace Test
} // namespace Orvane
