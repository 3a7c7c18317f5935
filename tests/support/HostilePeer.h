#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>

#include "support/SocketPeer.h"

namespace Orvane {
namespace Test {

// A recognition server that overloads the client, on one accepted connection. It answers
// the client's remote calls with success until it has answered `floodAfter`; from then on
// it answers nothing and sends EndPoint notifications back to back without waiting for
// their answers: `count` of them (0: without end), the n-th with the time n and `text` as
// the label of each of its `words` words. It reads on and counts the client's answers, or reads nothing
// more at all; with `answerDuringFlood` it answers the calls that come meanwhile after all.
// A call named `trickle` instead gets its reply (or the raw bytes below), and whatever
// follows it until nothing is left to write, `trickleBytes` at a time, every
// `trickleInterval`.
class HostilePeer {
public:
    struct Options {
        std::string floodAfter = "Recognizer::AsyncComplete";
        std::size_t count = 0;
        bool reading = true;
        bool answerDuringFlood = false;
        std::string text = "w";
        std::size_t words = 1;
        std::string trickle;
        std::chrono::milliseconds trickleInterval{50};
        std::size_t trickleBytes = 1;
        // Bytes written as they stand, made once and kept: in place of the reply to the call
        // named `rawFor` (`rawIsReply`), or after that reply. Nothing is written after them,
        // and with `closeAfterRaw` the peer closes the connection once they are out.
        std::string raw;
        std::string rawFor;
        bool rawIsReply = true;
        bool closeAfterRaw = false;
    };

    explicit HostilePeer(Options options);
    // Stops the peer's thread and closes its connection.
    ~HostilePeer();
    HostilePeer(const HostilePeer&) = delete;
    HostilePeer& operator=(const HostilePeer&) = delete;

    unsigned short Port() const { return server_.Port(); }
    // Notifications made ready to write so far.
    std::size_t Sent() const { return sent_; }
    // Answers of the client to notifications read so far.
    std::size_t Answers() const { return answers_; }
    // Remote calls read so far.
    std::size_t Calls() const { return calls_; }
    // True once the client has ended the connection.
    bool ClientClosed() const { return clientClosed_; }
    // A failure of the peer itself, empty when none.
    std::string Failure() const;

    // One EndPoint notification as the peer writes it.
    static std::string EndPointMessage(std::size_t number, const std::string& text, std::size_t words = 1);

private:
    class Session;

    void Run();

    const Options options_;
    SocketPeer server_;
    std::atomic<std::size_t> sent_{0};
    std::atomic<std::size_t> answers_{0};
    std::atomic<std::size_t> calls_{0};
    std::atomic<bool> clientClosed_{false};
    std::atomic<bool> stopping_{false};
    std::shared_ptr<std::string> failure_;
    // The first notification, made at once and kept to the end, so that a very large one
    // weighs on the heap the same before, while and after it is sent.
    const std::shared_ptr<const std::string> first_;
    const std::shared_ptr<const std::string> raw_;
    std::thread thread_;
};

} // namespace Test
} // namespace Orvane
