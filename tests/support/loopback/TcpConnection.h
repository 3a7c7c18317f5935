#pragma once

#include "support/loopback/ConnectionOutput.h"
#include "support/UniqueFd.h"
#include "support/loopback/ProtocolConnection.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace Orvane {
namespace Test {
namespace Loopback {

// One accepted TCP connection: a non-blocking socket with its output queue, and the protocol
// connection it carries. Used only by LoopbackServer, under its mutex.
class TcpConnection : public ConnectionOutput {
public:
    TcpConnection(UniqueFd socket, std::size_t id, Script& script, Recording& recording);

    ProtocolConnection& Protocol() { return protocol_; }
    int Socket() const { return socket_.Get(); }
    bool IsOpen() const { return socket_.IsOpen(); }
    // Open and not ended by the server: commands may still address it.
    bool IsUsable() const { return socket_.IsOpen() && !protocol_.Ended(); }
    // The poll events this connection waits for.
    short Events() const;
    // Reads what has arrived and feeds it to the protocol.
    void OnReadable();
    // Writes queued bytes, then carries out a requested FIN or RST.
    void Service();
    // True while a reset waits for written bytes to leave the socket: poll must wake again.
    bool NeedsTimer() const { return socket_.IsOpen() && resetRequested_; }

    // Closes the socket at once (the server stops).
    void Abandon() { Drop(); }

    void Write(const std::string& bytes) override;
    void Close() override;
    void Reset() override;

private:
    void Drop();

    UniqueFd socket_;
    ProtocolConnection protocol_;
    std::string output_;
    bool finRequested_ = false;
    bool finSent_ = false;
    bool resetRequested_ = false;
    std::chrono::steady_clock::time_point resetDeadline_;
    bool peerEnded_ = false;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
