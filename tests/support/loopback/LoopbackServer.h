#pragma once

#include "support/UniqueFd.h"
#include "support/loopback/Notice.h"
#include "support/loopback/Recording.h"
#include "support/loopback/Reply.h"
#include "support/loopback/Script.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

class TcpConnection;

// A recognition server peer for tests: listens on 127.0.0.1, accepts any number of client
// connections, records every message it receives, answers remote calls with a sensible
// success or as scripted, and sends notifications when told to.
//
// Usage:
//   LoopbackServer server;
//   server.Start();
//   server.SetReply("Recognizer::Recognize", Reply::Failure("Server", 12, "busy"));
//   ... connect the client to server.Host():server.Port() ...
//   ASSERT_TRUE(server.WaitForCall("CreateRecognizer"));
//   server.Notify(Notice::Completed());
//   ASSERT_TRUE(server.WaitForAcknowledgements(1));
//   Recording seen = server.Snapshot();
//
// Connection numbers count accepted connections from 0; kLatest stands for the newest one
// that the server has not closed or reset and the client has not closed (a command with no
// such connection throws std::runtime_error).
//
// Threads and locks:
// - One I/O thread runs poll() over the listening socket, a wake-up eventfd and the client
//   sockets; it accepts, reads, feeds the protocol connections, writes and closes.
// - `mutex_` guards everything else: the script, the recording, the connections and their
//   protocol state. The I/O thread holds it except while it sits in poll(); test threads
//   hold it for every command and wait. It is the only lock, so there is no lock order.
// - Commands only change state under the lock and wake the I/O thread through the eventfd;
//   every socket operation happens on the I/O thread.
// - `changed_` is notified after each round of the I/O loop and each command; WaitUntil
//   evaluates its condition under `mutex_`, so a condition must not call the server.
// - Stop() sets the stop flag under the lock, wakes the thread and joins it with the lock
//   released.
class LoopbackServer {
public:
    static constexpr int kLatest = -1;
    static constexpr std::chrono::milliseconds kDefaultWait{10000};

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Binds 127.0.0.1 on `port` (0: an ephemeral port) and starts the I/O thread.
    void Start(std::uint16_t port = 0);
    // Closes every connection and ends the I/O thread; called by the destructor. The
    // recording stays; a later Start listens anew and numbers connections on.
    void Stop();
    std::uint16_t Port() const { return port_; }
    std::string Host() const { return "127.0.0.1"; }
    // "127.0.0.1:port"
    std::string Address() const;

    // Script: keys are method names, Script::kAnyCall, Script::kConnect, Script::kAudio.
    void SetReply(const std::string& key, Reply reply);
    void QueueReply(const std::string& key, Reply reply);
    void ClearScript();

    void Notify(Notice notice, int connection = kLatest);
    void SendRaw(std::string bytes, bool expectsAnswer = false, int connection = kLatest);
    bool ReleaseHeld(int connection = kLatest);
    bool ReleaseHeld(Reply replacement, int connection = kLatest);
    void Close(int connection = kLatest);
    void Reset(int connection = kLatest);

    Recording Snapshot() const;
    bool WaitUntil(const std::function<bool(const Recording&)>& condition,
                   std::chrono::milliseconds timeout = kDefaultWait) const;
    bool WaitForConnections(std::size_t count, std::chrono::milliseconds timeout = kDefaultWait) const;
    // The `count`-th call of `method` has arrived (any method when empty).
    bool WaitForCall(const std::string& method, std::size_t count = 1,
                     std::chrono::milliseconds timeout = kDefaultWait) const;
    bool WaitForAcknowledgements(std::size_t count, std::chrono::milliseconds timeout = kDefaultWait) const;
    bool WaitForAudioBytes(std::size_t count, std::chrono::milliseconds timeout = kDefaultWait) const;
    bool WaitForHeld(std::size_t count, std::chrono::milliseconds timeout = kDefaultWait) const;
    // The client has closed or reset the connection.
    bool WaitForPeerClosed(std::size_t connection, std::chrono::milliseconds timeout = kDefaultWait) const;

private:
    void Run();
    void RunRound(std::unique_lock<std::mutex>& lock);
    void Accept();
    void Wake();
    TcpConnection& Resolve(int connection);
    template <typename Action>
    void Command(int connection, Action action);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Script script_;
    Recording recording_;
    std::vector<std::unique_ptr<TcpConnection>> connections_;
    UniqueFd listener_;
    UniqueFd wake_;
    std::uint16_t port_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
