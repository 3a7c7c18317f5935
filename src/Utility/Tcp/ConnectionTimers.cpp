#include "Utility/Tcp/ConnectionTimers.h"

#include <utility>

namespace Orvane {
namespace Utility {
namespace Tcp {

ConnectionTimers::ConnectionTimers(boost::asio::io_context& io, Expiry expiry)
    : expiry_(std::move(expiry)), receiveTimer_(io), userTimer_(io), receiveTimeLimit_(-1)
{
}

ConnectionTimers::~ConnectionTimers() = default;

void ConnectionTimers::StartReceive(int milliseconds, const TimeoutFunction& function)
{
    if (milliseconds < 0) {
        return;
    }
    receiveTimeLimit_ = milliseconds;
    receiveTimeout_ = function;
    Arm(receiveTimer_, milliseconds, function);
}

void ConnectionTimers::RestartReceive()
{
    if (receiveTimeout_) {
        Arm(receiveTimer_, receiveTimeLimit_, receiveTimeout_);
    }
}

void ConnectionTimers::StopReceive()
{
    receiveTimer_.Cancel();
    receiveTimeout_.clear();
    receiveTimeLimit_ = -1;
}

void ConnectionTimers::ForgetReceiveFunction()
{
    receiveTimeout_.clear();
}

void ConnectionTimers::StartUser(int milliseconds, const TimeoutFunction& function)
{
    if (milliseconds < 0) {
        return;
    }
    Arm(userTimer_, milliseconds, function);
}

void ConnectionTimers::Arm(OneShotTimer& timer, int milliseconds, const TimeoutFunction& function)
{
    timer.Arm(milliseconds, [this, function](const boost::system::error_code& error) { expiry_(error, function); });
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
