#pragma once

#include <chrono>
#include <string>

#include "support/UniqueFd.h"

namespace Orvane {
namespace Test {

// One accepted connection of a SocketPeer, driven from the test thread. Every wait is
// bounded and throws std::runtime_error when it runs out.
class PeerSocket {
public:
    explicit PeerSocket(UniqueFd fd);

    // Writes all of `bytes`; the test decides the splits by calling it once per piece.
    // Throws when the client takes none of them for 10 s.
    void Send(const std::string& bytes);
    // Reads exactly `length` bytes.
    std::string Receive(std::size_t length, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads what has arrived, at least one byte and at most `most`.
    std::string ReceiveSome(std::size_t most, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads `length` bytes in pieces of at most `piece`, pausing `pause` between them.
    std::string ReceiveSlowly(std::size_t length, std::size_t piece, std::chrono::milliseconds pause);
    // Reads until the client ends the stream.
    std::string ReceiveToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // True when the client has closed its side (end of file, nothing unread before it).
    bool WaitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends FIN but keeps reading possible: the client reads end of file.
    void ShutdownWrite();
    // Closes normally: the client reads end of file (FIN).
    void Close();
    // Closes with SO_LINGER 0: the client sees a reset (RST).
    void Reset();

    int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
};

} // namespace Test
} // namespace Orvane
