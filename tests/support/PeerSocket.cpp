#include "support/PeerSocket.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/PollWait.h"

namespace Orvane {
namespace Test {

PeerSocket::PeerSocket(UniqueFd fd) : fd_(std::move(fd)) {}

void PeerSocket::Send(const std::string& bytes)
{
    // The bound is on the client's reading, not on the whole: a large message sent to a
    // slow client takes as long as it reads, and fails only once it stops taking bytes.
    const auto idle = std::chrono::seconds(10);
    auto deadline = std::chrono::steady_clock::now() + idle;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (!AwaitFd(fd_.Get(), POLLOUT, deadline)) {
            throw std::runtime_error("the client does not read");
        }
        const ssize_t n = ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n < 0) {
            throw SystemError("send");
        }
        sent += static_cast<std::size_t>(n);
        deadline = std::chrono::steady_clock::now() + idle;
    }
}

namespace {

// Waits until `deadline` for bytes and receives at most `most` of them: "" when the time
// ran out or the client closed (`closed` then set). Other failures raise.
std::string ReceiveBy(int fd, std::size_t most, std::chrono::steady_clock::time_point deadline, bool& closed)
{
    closed = false;
    for (;;) {
        if (!AwaitFd(fd, POLLIN, deadline)) {
            return std::string();
        }
        std::string chunk(most, '\0');
        const ssize_t n = ::recv(fd, &chunk[0], chunk.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n < 0) {
            throw SystemError("recv");
        }
        closed = n == 0;
        chunk.resize(static_cast<std::size_t>(n));
        return chunk;
    }
}

} // namespace

std::string PeerSocket::Receive(std::size_t length, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string bytes;
    while (bytes.size() < length) {
        bool closed = false;
        const std::string chunk = ReceiveBy(fd_.Get(), length - bytes.size(), deadline, closed);
        if (closed) {
            throw std::runtime_error("the client closed after " + std::to_string(bytes.size()) + " bytes");
        }
        if (chunk.empty()) {
            throw std::runtime_error("received " + std::to_string(bytes.size()) + " of " + std::to_string(length) +
                                     " bytes in time");
        }
        bytes += chunk;
    }
    return bytes;
}

std::string PeerSocket::ReceiveSome(std::size_t most, std::chrono::milliseconds timeout)
{
    bool closed = false;
    const std::string chunk = ReceiveBy(fd_.Get(), most, std::chrono::steady_clock::now() + timeout, closed);
    if (closed) {
        throw std::runtime_error("the client closed");
    }
    if (chunk.empty()) {
        throw std::runtime_error("nothing received in time");
    }
    return chunk;
}

std::string PeerSocket::ReceiveSlowly(std::size_t length, std::size_t piece, std::chrono::milliseconds pause)
{
    std::string bytes;
    while (bytes.size() < length) {
        bytes += Receive(std::min(piece, length - bytes.size()));
        std::this_thread::sleep_for(pause);
    }
    return bytes;
}

std::string PeerSocket::ReceiveToEnd(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string bytes;
    for (;;) {
        if (!AwaitFd(fd_.Get(), POLLIN, deadline)) {
            throw std::runtime_error("the client did not end the stream in time");
        }
        char chunk[65536];
        const ssize_t n = ::recv(fd_.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return bytes;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

bool PeerSocket::WaitForEnd(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (!AwaitFd(fd_.Get(), POLLIN, deadline)) {
            return false;
        }
        char byte;
        const ssize_t n = ::recv(fd_.Get(), &byte, 1, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        // End of file, or a reset: the client's side is gone. Bytes before it are unexpected.
        return n <= 0;
    }
}

void PeerSocket::ShutdownWrite()
{
    if (::shutdown(fd_.Get(), SHUT_WR) != 0) {
        throw SystemError("shutdown");
    }
}

void PeerSocket::Close() { fd_.Reset(); }

void PeerSocket::Reset()
{
    const linger option{1, 0};
    ::setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &option, sizeof option);
    fd_.Reset();
}

} // namespace Test
} // namespace Orvane
