#include "support/loopback/LoopbackServer.h"

#include "support/loopback/TcpConnection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

[[noreturn]] void ThrowErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

LoopbackServer::LoopbackServer() = default;

LoopbackServer::~LoopbackServer()
{
    Stop();
}

void LoopbackServer::Start(std::uint16_t port)
{
    if (thread_.joinable()) {
        throw std::logic_error("loopback server already started");
    }
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.IsOpen()) {
        ThrowErrno("socket");
    }
    const int on = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ThrowErrno("bind");
    }
    if (::listen(listener.Get(), 64) != 0) {
        ThrowErrno("listen");
    }
    socklen_t length = sizeof address;
    if (::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ThrowErrno("getsockname");
    }
    UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake.IsOpen()) {
        ThrowErrno("eventfd");
    }
    listener_ = std::move(listener);
    wake_ = std::move(wake);
    port_ = ntohs(address.sin_port);
    stopping_ = false;
    thread_ = std::thread(&LoopbackServer::Run, this);
}

void LoopbackServer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) {
            return;
        }
        stopping_ = true;
    }
    Wake();
    thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    // The objects stay so that connection numbers keep matching the recording.
    for (const std::unique_ptr<TcpConnection>& connection : connections_) {
        if (connection->IsOpen()) {
            connection->Abandon();
        }
    }
    listener_.Reset();
    wake_.Reset();
    changed_.notify_all();
}

std::string LoopbackServer::Address() const
{
    return Host() + ":" + std::to_string(port_);
}

void LoopbackServer::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    try {
        while (!stopping_) {
            RunRound(lock);
            changed_.notify_all();
        }
    } catch (const std::exception& error) {
        recording_.serverErrors.push_back(std::string("loopback server stopped: ") + error.what());
    }
    changed_.notify_all();
}

void LoopbackServer::RunRound(std::unique_lock<std::mutex>& lock)
{
    std::vector<pollfd> fds{{wake_.Get(), POLLIN, 0}, {listener_.Get(), POLLIN, 0}};
    std::vector<TcpConnection*> polled;
    int timeout = -1;
    for (const std::unique_ptr<TcpConnection>& connection : connections_) {
        if (connection->IsOpen() && connection->Events() != 0) {
            fds.push_back({connection->Socket(), connection->Events(), 0});
            polled.push_back(connection.get());
        }
        if (connection->NeedsTimer()) {
            timeout = 1;
        }
    }
    lock.unlock();
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    lock.lock();
    if (ready < 0) {
        if (errno == EINTR) {
            return;
        }
        ThrowErrno("poll");
    }
    if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        while (::read(wake_.Get(), &count, sizeof count) > 0) {
        }
    }
    if (fds[1].revents & POLLIN) {
        Accept();
    }
    for (std::size_t i = 0; i < polled.size(); ++i) {
        if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) {
            polled[i]->OnReadable();
        }
    }
    for (const std::unique_ptr<TcpConnection>& connection : connections_) {
        connection->Service();
    }
}

void LoopbackServer::Accept()
{
    for (;;) {
        UniqueFd socket(::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!socket.IsOpen()) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) {
                return;
            }
            ThrowErrno("accept");
        }
        const int on = 1;
        ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const std::size_t id = connections_.size();
        recording_.connections.emplace_back();
        connections_.push_back(std::make_unique<TcpConnection>(std::move(socket), id, script_, recording_));
    }
}

void LoopbackServer::Wake()
{
    const std::uint64_t one = 1;
    if (wake_.IsOpen()) {
        // A full counter still wakes the loop, so a failed write needs no handling.
        [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
    }
}

TcpConnection& LoopbackServer::Resolve(int connection)
{
    if (connection == kLatest) {
        for (auto it = connections_.rbegin(); it != connections_.rend(); ++it) {
            if ((*it)->IsUsable()) {
                return **it;
            }
        }
        throw std::runtime_error("loopback server: no usable connection");
    }
    if (connection < 0 || static_cast<std::size_t>(connection) >= connections_.size()) {
        throw std::runtime_error("loopback server: no connection " + std::to_string(connection));
    }
    return *connections_[static_cast<std::size_t>(connection)];
}

template <typename Action>
void LoopbackServer::Command(int connection, Action action)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        action(Resolve(connection).Protocol());
    }
    Wake();
    changed_.notify_all();
}

void LoopbackServer::SetReply(const std::string& key, Reply reply)
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.Always(key, std::move(reply));
}

void LoopbackServer::QueueReply(const std::string& key, Reply reply)
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.Once(key, std::move(reply));
}

void LoopbackServer::ClearScript()
{
    std::lock_guard<std::mutex> lock(mutex_);
    script_.Clear();
}

void LoopbackServer::Notify(Notice notice, int connection)
{
    Command(connection, [&](ProtocolConnection& protocol) { protocol.Notify(std::move(notice)); });
}

void LoopbackServer::SendRaw(std::string bytes, bool expectsAnswer, int connection)
{
    Command(connection, [&](ProtocolConnection& protocol) { protocol.SendRaw(bytes, expectsAnswer); });
}

bool LoopbackServer::ReleaseHeld(int connection)
{
    bool released = false;
    Command(connection, [&](ProtocolConnection& protocol) { released = protocol.ReleaseHeld(std::nullopt); });
    return released;
}

bool LoopbackServer::ReleaseHeld(Reply replacement, int connection)
{
    bool released = false;
    Command(connection, [&](ProtocolConnection& protocol) { released = protocol.ReleaseHeld(replacement); });
    return released;
}

void LoopbackServer::Close(int connection)
{
    Command(connection, [](ProtocolConnection& protocol) { protocol.Close(); });
}

void LoopbackServer::Reset(int connection)
{
    Command(connection, [](ProtocolConnection& protocol) { protocol.Reset(); });
}

Recording LoopbackServer::Snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return recording_;
}

bool LoopbackServer::WaitUntil(const std::function<bool(const Recording&)>& condition,
                               std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(recording_); });
}

bool LoopbackServer::WaitForConnections(std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntil([count](const Recording& seen) { return seen.connections.size() >= count; }, timeout);
}

bool LoopbackServer::WaitForCall(const std::string& method, std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntil([&](const Recording& seen) { return seen.CallCount(method) >= count; }, timeout);
}

bool LoopbackServer::WaitForAcknowledgements(std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntil([count](const Recording& seen) { return seen.Count(MessageKind::Acknowledgement) >= count; }, timeout);
}

bool LoopbackServer::WaitForAudioBytes(std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntil([count](const Recording& seen) { return seen.Audio().size() >= count; }, timeout);
}

bool LoopbackServer::WaitForHeld(std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntil([count](const Recording& seen) { return seen.HeldReplies() >= count; }, timeout);
}

bool LoopbackServer::WaitForPeerClosed(std::size_t connection, std::chrono::milliseconds timeout) const
{
    return WaitUntil(
        [connection](const Recording& seen) {
            return connection < seen.connections.size() &&
                   (seen.connections[connection].peerClosed || seen.connections[connection].peerReset);
        },
        timeout);
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
