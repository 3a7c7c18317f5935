#pragma once

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

// Called when a receive or user timer expires.
typedef boost::function<void()> TimeoutFunction;

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
