#include "Helper/FileRecorder.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include <boost/chrono/duration.hpp>
#include <boost/chrono/system_clocks.hpp>
#include <boost/thread/thread.hpp>

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {

FileRecorder::FileRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead,
                           const std::string& path)
    : VoiceRecorder(encoding, samplingRate, readPeriod, samplesPerRead), path_(path), fd_(-1)
{
}

FileRecorder::~FileRecorder() { Close(); }

void FileRecorder::Close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Orvane::Exception* FileRecorder::ReadFailed() const
{
    return Error::Internal(GetEncoding(), "ファイルの読み込みに失敗しました。[" + path_ + "]");
}

void FileRecorder::OnStart()
{
    Close();
    // Without O_NONBLOCK, opening a FIFO would wait for its writer beyond any stop.
    fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int cause = errno;
        throw Error::Internal(GetEncoding(), "ファイルのオープンに失敗しました。[" + path_ + "]" +
                                                 " 原因=[" + std::generic_category().message(cause) + "]");
    }
}

void FileRecorder::WaitReadable()
{
    for (;;) {
        pollfd entry = {fd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, PollSliceMilliseconds);
        if (ready > 0) {
            if ((entry.revents & POLLNVAL) != 0) {
                throw ReadFailed();
            }
            return;
        }
        if (ready < 0 && errno != EINTR) {
            throw ReadFailed();
        }
        boost::this_thread::interruption_point();
    }
}

unsigned int FileRecorder::OnRead(boost::shared_ptr<DataBuffer> block)
{
    if (!block || fd_ < 0) {
        return 0;
    }
    // Whole samples only.
    const std::size_t wanted = block->GetSize() & ~1u;
    if (wanted == 0) {
        return 0;
    }
    std::size_t filled = 0;
    while (filled < wanted) {
        WaitReadable();
        const ssize_t count = ::read(fd_, block->GetData() + filled, wanted - filled);
        if (count > 0) {
            filled += static_cast<std::size_t>(count);
        } else if (count == 0) {
            return 0;
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            throw ReadFailed();
        }
    }
    // An interruption point: a stop ends the wait.
    boost::this_thread::sleep_until(boost::chrono::steady_clock::now() + boost::chrono::milliseconds(GetReadPeriod()));
    return static_cast<unsigned int>(wanted / 2);
}

void FileRecorder::OnStop() { Close(); }

} // namespace Helper
} // namespace Orvane
