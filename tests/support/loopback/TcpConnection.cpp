#include "support/loopback/TcpConnection.h"

#include <cerrno>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <utility>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

// How long a reset waits for the bytes written before it to reach the client.
constexpr std::chrono::seconds kResetGrace{2};

// Bytes written to the socket that the peer has not acknowledged yet.
int UnacknowledgedBytes(int socket)
{
    int pending = 0;
    return ::ioctl(socket, SIOCOUTQ, &pending) == 0 ? pending : 0;
}

} // namespace

TcpConnection::TcpConnection(UniqueFd socket, std::size_t id, Script& script, Recording& recording)
    : socket_(std::move(socket)), protocol_(id, script, recording, *this)
{
}

short TcpConnection::Events() const
{
    short events = 0;
    if (!peerEnded_) {
        events |= POLLIN;
    }
    if (!output_.empty() && !finSent_) {
        events |= POLLOUT;
    }
    return events;
}

void TcpConnection::OnReadable()
{
    char chunk[65536];
    while (socket_.IsOpen() && !peerEnded_) {
        const ssize_t received = ::recv(socket_.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (received > 0) {
            protocol_.Feed(chunk, static_cast<std::size_t>(received));
            continue;
        }
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        }
        peerEnded_ = true;
        const bool reset = received < 0;
        protocol_.PeerClosed(reset);
        if (reset) {
            Drop();
        } else {
            // Answer the client's FIN with ours once pending bytes are out.
            protocol_.Close();
        }
    }
}

void TcpConnection::Service()
{
    if (!socket_.IsOpen()) {
        return;
    }
    while (!output_.empty() && !finSent_) {
        const ssize_t sent = ::send(socket_.Get(), output_.data(), output_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return;
            }
            protocol_.PeerClosed(true);
            Drop();
            return;
        }
        output_.erase(0, static_cast<std::size_t>(sent));
    }
    if (resetRequested_) {
        // An RST discards what the socket still holds; the client keeps what it received.
        const bool delivered = output_.empty() && UnacknowledgedBytes(socket_.Get()) == 0;
        if (delivered || std::chrono::steady_clock::now() >= resetDeadline_) {
            const linger abortive{1, 0};
            ::setsockopt(socket_.Get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            Drop();
        }
        return;
    }
    if (finRequested_ && !finSent_) {
        ::shutdown(socket_.Get(), SHUT_WR);
        finSent_ = true;
    }
    if (finSent_ && peerEnded_) {
        Drop();
    }
}

void TcpConnection::Write(const std::string& bytes)
{
    if (!finRequested_ && !resetRequested_) {
        output_ += bytes;
    }
}

void TcpConnection::Close()
{
    finRequested_ = true;
}

void TcpConnection::Reset()
{
    if (!resetRequested_) {
        resetRequested_ = true;
        resetDeadline_ = std::chrono::steady_clock::now() + kResetGrace;
    }
}

void TcpConnection::Drop()
{
    socket_.Reset();
    output_.clear();
    protocol_.Finished();
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
