#pragma once

#include <chrono>

#include <boost/asio/io_context.hpp>
#include <boost/function.hpp>
#include <boost/system/error_code.hpp>

#include "Utility/Tcp/ConnectionFunctions.h"
#include "Utility/Tcp/OneShotTimer.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

// The receive and user timers of a connection. Each is armed once per start. While a
// timer is held (the application catching up, or not reading) its time does not run: a
// wait in progress is cancelled and its time left kept, a start only kept, and it is
// armed when its hold ends. Each timer is held on its own.
// Not thread-safe: the connection calls it under its own lock; the expiry function runs
// on a thread of the I/O context.
class ConnectionTimers {
public:
    // Told how a timer's wait ended and the time-out function it was armed for.
    typedef boost::function<void(const boost::system::error_code&, const TimeoutFunction&)> Expiry;

    ConnectionTimers(boost::asio::io_context& io, Expiry expiry);
    ConnectionTimers(const ConnectionTimers&) = delete;
    ConnectionTimers& operator=(const ConnectionTimers&) = delete;
    ~ConnectionTimers();

    // Arms the receive timer once (negative: nothing).
    void StartReceive(int milliseconds, const TimeoutFunction& function);
    // Cancels the receive timer and forgets it.
    void StopReceive();

    // Arms the user timer once (negative: nothing).
    void StartUser(int milliseconds, const TimeoutFunction& function);

    // Holds each timer, or arms it again for the time it had left when it was started and
    // not stopped.
    void Hold(bool receive, bool user);

    // Cancels both timers and forgets them, for good: nothing is armed afterwards.
    void CancelAll();

    OneShotTimer& ReceiveTimer() { return receive_.timer; }
    OneShotTimer& UserTimer() { return user_.timer; }

private:
    struct Kept {
        explicit Kept(boost::asio::io_context& io);
        OneShotTimer timer;
        TimeoutFunction function;
        // The time to arm with; while armed, when the wait ends.
        int milliseconds;
        std::chrono::steady_clock::time_point deadline;
        bool held;
    };

    void Start(Kept& kept, int milliseconds, const TimeoutFunction& function);
    void Hold(Kept& kept, bool held);
    void Arm(Kept& kept);

    const Expiry expiry_;
    Kept receive_;
    Kept user_;
    bool cancelled_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
