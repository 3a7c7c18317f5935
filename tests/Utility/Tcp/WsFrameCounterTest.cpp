// What the WebSocket reads bring of a data message still arriving: payload bytes of data
// frames only, after the opening handshake's answer, wherever the reads split the stream.

#include "Utility/Tcp/WsFrameCounter.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using Orvane::Utility::Tcp::WsFrameCounter;

const std::string kAnswer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n";

// A server's frame (unmasked unless `mask`): FIN and opcode, then the payload.
std::string Frame(bool final, unsigned int opcode, const std::string& payload, bool mask = false,
                  std::size_t declared = std::string::npos)
{
    const std::size_t length = declared == std::string::npos ? payload.size() : declared;
    std::string frame(1, static_cast<char>((final ? 0x80 : 0) | opcode));
    const char maskBit = mask ? static_cast<char>(0x80) : 0;
    if (length < 126) {
        frame += static_cast<char>(maskBit | static_cast<char>(length));
    } else if (length < 65536) {
        frame += static_cast<char>(maskBit | 126);
        frame += static_cast<char>(length >> 8);
        frame += static_cast<char>(length & 0xff);
    } else {
        frame += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8) {
            frame += static_cast<char>((static_cast<unsigned long long>(length) >> shift) & 0xff);
        }
    }
    if (mask) {
        frame += std::string("\x01\x02\x03\x04", 4);
    }
    return frame + payload;
}

TEST(WsFrameCounterTest, CountsThePayloadOfTheDataMessageStillArriving)
{
    struct Case {
        const char* name;
        std::string stream;
        unsigned long long total;
    };
    const std::string ping = Frame(true, 0x9, "ping");
    const Case cases[] = {
        {"a whole message is not counted", kAnswer + Frame(true, 0x2, "whole"), 0},
        {"bytes in the handshake answer are not frames", "HTTP/1.1 101 x\r\nX: \x82\x05\r\n\r\n", 0},
        {"the first fragment", kAnswer + Frame(false, 0x2, std::string(200, 'a')), 200},
        {"fragments with a ping between them",
         kAnswer + Frame(false, 0x2, "12345") + ping + Frame(false, 0x0, "678"), 8},
        {"a ping alone", kAnswer + ping, 0},
        {"a message whole, then the next begun",
         kAnswer + Frame(false, 0x1, "ab") + Frame(true, 0x0, "cd") + Frame(false, 0x2, "xyz"), 3},
        {"the last fragment ends the message",
         kAnswer + Frame(false, 0x2, "ab") + Frame(true, 0x0, "cd") + ping, 0},
        {"a frame of a 64-bit length, partly arrived",
         kAnswer + Frame(true, 0x2, std::string(1000, 'b'), false, 70000), 1000},
        {"a masked frame's mask is header", kAnswer + Frame(false, 0x2, "abc", true), 3},
        {"an empty first fragment", kAnswer + Frame(false, 0x2, "") + Frame(false, 0x0, "a"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Whole, and split at every byte: the same count.
        for (std::size_t split = 0; split <= c.stream.size(); ++split) {
            SCOPED_TRACE(split);
            WsFrameCounter counter;
            const auto* bytes = reinterpret_cast<const unsigned char*>(c.stream.data());
            counter.Feed(bytes, split);
            counter.Feed(bytes + split, c.stream.size() - split);
            const WsFrameCounter::Arrived arrived = counter.Take();
            ASSERT_EQ(c.total, arrived.total);
            ASSERT_EQ(c.total, arrived.fresh);
        }
    }
}

TEST(WsFrameCounterTest, FreshBytesAreThoseSinceTheLastTake)
{
    WsFrameCounter counter;
    const auto feed = [&](const std::string& bytes) {
        counter.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    const std::string frame = Frame(true, 0x2, std::string(300, 'c'));
    feed(kAnswer + frame.substr(0, 104));
    WsFrameCounter::Arrived arrived = counter.Take();
    EXPECT_EQ(100u, arrived.total);
    EXPECT_EQ(100u, arrived.fresh);
    arrived = counter.Take();
    EXPECT_EQ(100u, arrived.total);
    EXPECT_EQ(0u, arrived.fresh);
    feed(frame.substr(104, 150));
    arrived = counter.Take();
    EXPECT_EQ(250u, arrived.total);
    EXPECT_EQ(150u, arrived.fresh);
    // The rest ends it, and the next message's first bytes are all fresh.
    feed(frame.substr(254) + Frame(false, 0x2, "next"));
    arrived = counter.Take();
    EXPECT_EQ(4u, arrived.total);
    EXPECT_EQ(4u, arrived.fresh);
}

} // namespace
