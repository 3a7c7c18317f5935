#include "Utility/Tcp/OneShotTimer.h"

#include <chrono>
#include <utility>

#include <boost/asio/error.hpp>

namespace Orvane {
namespace Utility {
namespace Tcp {

OneShotTimer::OneShotTimer(boost::asio::io_context& io) : timer_(io), generation_(0) {}

OneShotTimer::~OneShotTimer() = default;

void OneShotTimer::Arm(int milliseconds, Handler handler)
{
    const unsigned long generation = ++generation_;
    timer_.expires_after(std::chrono::milliseconds(milliseconds));
    timer_.async_wait([this, generation, handler = std::move(handler)](const boost::system::error_code& error) {
        if (!error && generation != generation_.load()) {
            handler(boost::asio::error::operation_aborted);
            return;
        }
        handler(error);
    });
}

void OneShotTimer::Cancel()
{
    ++generation_;
    timer_.cancel();
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
