#pragma once

#include <cstdint>

#include <boost/function.hpp>
#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {
namespace Tcp {

// The functions that both connection kinds call back, with no lock of theirs held.

// Told every unconsumed received byte (data, length), the count that just arrived and
// the outcome of the read; an error code ends the stream.
typedef boost::function<void(const unsigned char* data, unsigned int length, unsigned int received,
                             const boost::system::error_code& error)>
    ReceivedFunction;

// Told, over WebSocket, of a data message that is still arriving (the received function
// only hears of whole messages): `total` payload bytes of it so far, `fresh` of them new;
// and, with both 0, once that no message is arriving any more.
typedef boost::function<void(std::uint64_t total, std::uint64_t fresh)> ArrivingFunction;

// Called when a receive or user timer expires.
typedef boost::function<void()> TimeoutFunction;

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
