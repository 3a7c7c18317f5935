#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/function.hpp>
#include <boost/system/error_code.hpp>

#include "Utility/Tcp/ConnectionFunctions.h"
#include "Utility/Tcp/OneShotTimer.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

// The receive and user timers of a connection, with the receive timer's time limit and
// function kept for arming it again. Not thread-safe: the connection calls it under its
// own lock; the expiry function runs on a thread of the I/O context.
class ConnectionTimers {
public:
    // Told how a timer's wait ended and the time-out function it was armed for.
    typedef boost::function<void(const boost::system::error_code&, const TimeoutFunction&)> Expiry;

    ConnectionTimers(boost::asio::io_context& io, Expiry expiry);
    ConnectionTimers(const ConnectionTimers&) = delete;
    ConnectionTimers& operator=(const ConnectionTimers&) = delete;
    ~ConnectionTimers();

    // Arms the receive timer and keeps its time and function (negative: nothing).
    void StartReceive(int milliseconds, const TimeoutFunction& function);
    // Arms the receive timer again with what StartReceive kept, while it has a function.
    void RestartReceive();
    // Cancels the receive timer and forgets its time and function.
    void StopReceive();
    // Forgets the receive timer's function, so that it is not armed again.
    void ForgetReceiveFunction();

    // Arms the user timer once (negative: nothing).
    void StartUser(int milliseconds, const TimeoutFunction& function);

    OneShotTimer& ReceiveTimer() { return receiveTimer_; }
    OneShotTimer& UserTimer() { return userTimer_; }

private:
    void Arm(OneShotTimer& timer, int milliseconds, const TimeoutFunction& function);

    const Expiry expiry_;
    OneShotTimer receiveTimer_;
    OneShotTimer userTimer_;
    TimeoutFunction receiveTimeout_;
    int receiveTimeLimit_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
