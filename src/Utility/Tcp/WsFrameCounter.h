#pragma once

#include <cstddef>
#include <cstdint>

namespace Orvane {
namespace Utility {
namespace Tcp {

// Follows the bytes that a WebSocket client reads (after TLS): the opening handshake's
// answer up to its blank line, then frames. It counts the payload bytes of the data
// message still arriving, which websocketpp only hands over once the message is whole;
// control frames (ping, pong, close) and frame headers are not counted.
// Not thread-safe: fed and read on the connection's event-loop thread.
class WsFrameCounter {
public:
    // What arrived of the data message still incomplete: `total` payload bytes so far,
    // `fresh` of them since the last Take. A message that ended meanwhile is not counted.
    struct Arrived {
        std::uint64_t total;
        std::uint64_t fresh;
    };

    WsFrameCounter();

    void Feed(const unsigned char* data, std::size_t size);
    // What arrived since the last call, then starts counting anew.
    Arrived Take();

private:
    enum State { StateHandshake, StateHeader, StatePayload };

    // One byte of a frame header; starts the payload (or the next header) once complete.
    void HeaderByte(unsigned char byte);
    void EndFrame();

    State state_;
    // The handshake answer's last bytes, to find its blank line.
    std::uint32_t lastBytes_;
    unsigned char header_[14];
    std::size_t headerLength_;
    std::uint64_t payloadLeft_;
    bool final_;
    bool control_;
    // The data message in progress: whether one is, its payload so far, and how much of
    // it came since the last Take.
    bool inMessage_;
    std::uint64_t total_;
    std::uint64_t fresh_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
