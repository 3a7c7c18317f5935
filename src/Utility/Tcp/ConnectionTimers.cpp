#include "Utility/Tcp/ConnectionTimers.h"

#include <algorithm>
#include <utility>

namespace Orvane {
namespace Utility {
namespace Tcp {

ConnectionTimers::Kept::Kept(boost::asio::io_context& io) : timer(io), milliseconds(-1), held(false) {}

ConnectionTimers::ConnectionTimers(boost::asio::io_context& io, Expiry expiry)
    : expiry_(std::move(expiry)), receive_(io), user_(io), cancelled_(false)
{
}

ConnectionTimers::~ConnectionTimers() = default;

void ConnectionTimers::StartReceive(int milliseconds, const TimeoutFunction& function)
{
    Start(receive_, milliseconds, function);
}

void ConnectionTimers::StopReceive()
{
    receive_.timer.Cancel();
    receive_.function.clear();
    receive_.milliseconds = -1;
}

void ConnectionTimers::StartUser(int milliseconds, const TimeoutFunction& function)
{
    Start(user_, milliseconds, function);
}

void ConnectionTimers::Hold(bool receive, bool user)
{
    if (cancelled_) {
        return;
    }
    Hold(receive_, receive);
    Hold(user_, user);
}

void ConnectionTimers::Hold(Kept& kept, bool held)
{
    if (held == kept.held) {
        return;
    }
    kept.held = held;
    if (held) {
        kept.timer.Cancel();
        if (kept.function) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                kept.deadline - std::chrono::steady_clock::now());
            kept.milliseconds = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }
    } else if (kept.function) {
        Arm(kept);
    }
}

void ConnectionTimers::CancelAll()
{
    cancelled_ = true;
    for (Kept* kept : {&receive_, &user_}) {
        kept->function.clear();
    }
    // Each cancel is tried even when the other fails; the first failure passes on.
    try {
        receive_.timer.Cancel();
    } catch (...) {
        user_.timer.Cancel();
        throw;
    }
    user_.timer.Cancel();
}

void ConnectionTimers::Start(Kept& kept, int milliseconds, const TimeoutFunction& function)
{
    if (milliseconds < 0 || cancelled_) {
        return;
    }
    kept.milliseconds = milliseconds;
    kept.function = function;
    if (kept.held) {
        // A wait armed earlier must not run on through the hold.
        kept.timer.Cancel();
        return;
    }
    Arm(kept);
}

void ConnectionTimers::Arm(Kept& kept)
{
    const TimeoutFunction function = kept.function;
    kept.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kept.milliseconds);
    kept.timer.Arm(kept.milliseconds,
                   [this, function](const boost::system::error_code& error) { expiry_(error, function); });
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
