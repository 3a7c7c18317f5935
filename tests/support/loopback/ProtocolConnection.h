#pragma once

#include "support/loopback/ConnectionOutput.h"
#include "support/loopback/HttpReader.h"
#include "support/loopback/Notice.h"
#include "support/loopback/Recording.h"
#include "support/loopback/Reply.h"
#include "support/loopback/Script.h"

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>

namespace Orvane {
namespace Test {
namespace Loopback {

// The recognition server's side of one client connection, independent of the transport: it
// is fed the bytes that arrive, records every message, answers remote calls as scripted,
// sends notifications one at a time (the next only after the client has answered the
// previous one) and reads the client's answers to them.
// Not thread-safe: its owner serialises every call (LoopbackServer holds its mutex).
class ProtocolConnection {
public:
    ProtocolConnection(std::size_t id, Script& script, Recording& recording, ConnectionOutput& output);

    void Feed(const char* data, std::size_t size);
    void Notify(Notice notice);
    // Writes bytes as they stand; `expectsAnswer` counts them as a notification whose answer
    // the client owes.
    void SendRaw(const std::string& bytes, bool expectsAnswer);
    // Sends the oldest held reply, or `replacement` in its place; false when none is held.
    bool ReleaseHeld(const std::optional<Reply>& replacement);
    void Close();
    void Reset();
    // The client closed or reset its side.
    void PeerClosed(bool reset);
    // The server's socket is gone.
    void Finished();
    // The server has closed, reset or lost this connection: nothing more goes out.
    bool Ended() const { return ended_; }

private:
    struct HeldReply {
        std::size_t message;
        Reply reply;
    };

    ConnectionRecord& Record();
    void Handle(HttpMessage message);
    std::size_t Store(Received received);
    void Answer(std::size_t message, Reply reply);
    std::string DefaultAnswer(const Received& received);
    void Write(const std::string& bytes);
    void Pump();

    std::size_t id_;
    Script& script_;
    Recording& recording_;
    ConnectionOutput& output_;
    HttpReader reader_;
    bool broken_ = false;
    bool ended_ = false;
    std::deque<Notice> waiting_;
    bool awaitingAnswer_ = false;
    std::deque<HeldReply> held_;
    std::map<std::string, std::string> parameters_;
    std::map<std::string, unsigned> resourceCounts_;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
