#include "Utility/Tcp/OneShotTimer.h"

#include <string>
#include <vector>

#include <boost/asio/error.hpp>
#include <gtest/gtest.h>

namespace {

using Orvane::Utility::Tcp::OneShotTimer;

TEST(OneShotTimerTest, AnExpiryAlreadyQueuedWhenReArmedReadsAsCancelled)
{
    // Both timers expire at once, before the loop runs, so both completions are queued
    // together; the first one re-arms the second, whose queued expiry is then stale.
    boost::asio::io_context io;
    OneShotTimer first(io);
    OneShotTimer second(io);
    std::vector<std::string> events;
    first.Arm(0, [&](const boost::system::error_code& error) {
        events.push_back(error ? "first cancelled" : "first expired");
        second.Arm(20, [&](const boost::system::error_code& e) {
            events.push_back(e ? "second cancelled" : "second expired");
        });
    });
    second.Arm(0, [&](const boost::system::error_code& error) {
        events.push_back(error == boost::asio::error::operation_aborted ? "stale second cancelled" : "stale second expired");
    });
    io.run();
    const std::vector<std::string> expected = {"first expired", "stale second cancelled", "second expired"};
    EXPECT_EQ(expected, events);
}

TEST(OneShotTimerTest, CancelEndsTheWaitAsCancelled)
{
    boost::asio::io_context io;
    OneShotTimer timer(io);
    boost::system::error_code result;
    timer.Arm(10000, [&](const boost::system::error_code& error) { result = error; });
    timer.Cancel();
    io.run();
    EXPECT_EQ(boost::asio::error::operation_aborted, result);
}

} // namespace
