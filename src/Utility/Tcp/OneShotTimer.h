#pragma once

#include <atomic>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/function.hpp>
#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {
namespace Tcp {

// A one-shot timer on the monotonic clock. An expiry that was already queued when the
// timer was re-armed or cancelled is reported as cancelled, so a stale expiry never
// reaches the handler as a time-out. Not thread-safe: the owner serialises Arm and
// Cancel under its own lock; the handler runs on a thread of the I/O context.
class OneShotTimer {
public:
    typedef boost::function<void(const boost::system::error_code&)> Handler;

    explicit OneShotTimer(boost::asio::io_context& io);
    OneShotTimer(const OneShotTimer&) = delete;
    OneShotTimer& operator=(const OneShotTimer&) = delete;
    ~OneShotTimer();

    // Expires `milliseconds` from now; a pending wait ends as cancelled.
    void Arm(int milliseconds, Handler handler);

    // Ends a pending wait as cancelled.
    void Cancel();

private:
    boost::asio::steady_timer timer_;
    std::atomic<unsigned long> generation_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
