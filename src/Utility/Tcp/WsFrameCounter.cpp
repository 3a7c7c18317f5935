#include "Utility/Tcp/WsFrameCounter.h"

#include <algorithm>

namespace Orvane {
namespace Utility {
namespace Tcp {

namespace {

const std::uint32_t kBlankLine = 0x0d0a0d0a;  // "\r\n\r\n"

// The header's length once its first two bytes are known: 2, then 2 or 8 bytes of
// extended length, then 4 bytes of mask when the mask bit is set.
std::size_t HeaderLength(const unsigned char* header)
{
    const unsigned int length = header[1] & 0x7f;
    const std::size_t extended = length == 126 ? 2 : length == 127 ? 8 : 0;
    return 2 + extended + ((header[1] & 0x80) != 0 ? 4 : 0);
}

} // namespace

WsFrameCounter::WsFrameCounter()
    : state_(StateHandshake), lastBytes_(0), header_(), headerLength_(0), payloadLeft_(0), final_(false),
      control_(false), inMessage_(false), total_(0), fresh_(0)
{
}

void WsFrameCounter::Feed(const unsigned char* data, std::size_t size)
{
    std::size_t position = 0;
    while (position < size) {
        switch (state_) {
        case StateHandshake:
            lastBytes_ = (lastBytes_ << 8) | data[position++];
            if (lastBytes_ == kBlankLine) {
                state_ = StateHeader;
            }
            break;
        case StateHeader:
            HeaderByte(data[position++]);
            break;
        case StatePayload: {
            const std::size_t taken =
                static_cast<std::size_t>(std::min<std::uint64_t>(payloadLeft_, size - position));
            position += taken;
            payloadLeft_ -= taken;
            if (!control_) {
                total_ += taken;
                fresh_ += taken;
            }
            if (payloadLeft_ == 0) {
                EndFrame();
            }
            break;
        }
        }
    }
}

void WsFrameCounter::HeaderByte(unsigned char byte)
{
    header_[headerLength_++] = byte;
    if (headerLength_ < 2 || headerLength_ < HeaderLength(header_)) {
        return;
    }
    const unsigned int opcode = header_[0] & 0x0f;
    final_ = (header_[0] & 0x80) != 0;
    control_ = (opcode & 0x08) != 0;
    const unsigned int length = header_[1] & 0x7f;
    if (length < 126) {
        payloadLeft_ = length;
    } else {
        const std::size_t bytes = length == 126 ? 2 : 8;
        payloadLeft_ = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            payloadLeft_ = (payloadLeft_ << 8) | header_[2 + i];
        }
    }
    headerLength_ = 0;
    if (!control_ && opcode != 0) {
        // A text or binary frame starts a message; continuation frames carry it on.
        inMessage_ = true;
        total_ = 0;
        fresh_ = 0;
    }
    if (payloadLeft_ == 0) {
        EndFrame();
    } else {
        state_ = StatePayload;
    }
}

void WsFrameCounter::EndFrame()
{
    state_ = StateHeader;
    if (!control_ && final_) {
        // The message is whole: websocketpp delivers it.
        inMessage_ = false;
        total_ = 0;
        fresh_ = 0;
    }
}

WsFrameCounter::Arrived WsFrameCounter::Take()
{
    const Arrived arrived = {inMessage_ ? total_ : 0, inMessage_ ? fresh_ : 0};
    fresh_ = 0;
    return arrived;
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
