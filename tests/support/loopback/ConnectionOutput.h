#pragma once

#include <string>

namespace Orvane {
namespace Test {
namespace Loopback {

// The byte transport under one protocol connection (a TCP socket here; a WebSocket message
// stream elsewhere). Write receives one complete HTTP message per call, or the raw bytes a
// test asked for as one unit.
class ConnectionOutput {
public:
    virtual ~ConnectionOutput() = default;
    virtual void Write(const std::string& bytes) = 0;
    // Ends the server's side once the written bytes are out (TCP: FIN).
    virtual void Close() = 0;
    // Drops the connection at once (TCP: RST).
    virtual void Reset() = 0;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
