#include "support/SocketPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/LoopbackAddress.h"
#include "support/PollWait.h"

namespace Orvane {
namespace Test {

namespace {

UniqueFd Listen(int backlog, int receiveBuffer, unsigned short& port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen()) {
        throw SystemError("socket");
    }
    if (receiveBuffer > 0 &&
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer) != 0) {
        throw SystemError("SO_RCVBUF");
    }
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw SystemError("bind");
    }
    if (::listen(fd.Get(), backlog) != 0) {
        throw SystemError("listen");
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw SystemError("getsockname");
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

SocketPeer::SocketPeer(int backlog, int receiveBuffer) : listener_(Listen(backlog, receiveBuffer, port_)) {}

SocketPeer::SocketPeer(UniqueFd listener, unsigned short port) : listener_(std::move(listener)), port_(port) {}

SocketPeer::~SocketPeer() = default;

std::unique_ptr<PeerSocket> SocketPeer::Accept(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (!AwaitFd(listener_.Get(), POLLIN, deadline)) {
            throw std::runtime_error("no client connected in time");
        }
        const int fd = ::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (fd < 0) {
            throw SystemError("accept");
        }
        return std::unique_ptr<PeerSocket>(new PeerSocket(UniqueFd(fd)));
    }
}

std::unique_ptr<SocketPeer> SocketPeer::NonAnswering()
{
    std::unique_ptr<SocketPeer> peer(new SocketPeer(0));
    // With a backlog of 0 one completed connection fills the accept queue; later SYNs
    // are dropped, so their connects stay pending. A second filler makes sure.
    for (int i = 0; i < 2; ++i) {
        UniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        const sockaddr_in address = LoopbackAddress(peer->port_);
        ::connect(filler.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        peer->fillers_.push_back(std::move(filler));
    }
    // The first filler completes at once on loopback.
    if (!AwaitFd(peer->fillers_.front().Get(), POLLOUT, std::chrono::steady_clock::now() + std::chrono::seconds(10))) {
        throw std::runtime_error("the backlog filler did not connect");
    }
    return peer;
}

std::unique_ptr<SocketPeer> SocketPeer::Refusing()
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw SystemError("bind");
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw SystemError("getsockname");
    }
    return std::unique_ptr<SocketPeer>(new SocketPeer(std::move(fd), ntohs(address.sin_port)));
}

} // namespace Test
} // namespace Orvane
