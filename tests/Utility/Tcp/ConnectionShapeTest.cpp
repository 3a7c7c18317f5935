// What the HTTP controller relies on of both connection kinds: the received function fed
// with the growing receive buffer, consumption from its front, the receive and user
// timers, the end of the stream, and Close from any thread including the loop's own.

#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "support/ConnectionRecorder.h"
#include "support/ConnectionRigs.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::ConnectionRecorder;
using Orvane::Test::Delivery;
using Orvane::Test::LoopRunner;
using Orvane::Test::TcpRig;
using Orvane::Test::WaitFor;
using Orvane::Test::WsRig;

template <typename Rig>
class ConnectionShapeTest : public ::testing::Test {
protected:
    typedef typename Rig::ConnectionType ConnectionType;
    typedef LoopRunner<ConnectionType> Runner;

    std::unique_ptr<Runner> StartRun()
    {
        return std::unique_ptr<Runner>(new Runner(rig.connection, recorder.Received()));
    }

    // Waits until the deliveries have shown `length` bytes in all.
    bool WaitForLength(std::size_t length)
    {
        return WaitFor([&] { return recorder.Data().size() >= length; });
    }

    // Pauses the reading, has "first" delivered (what is being read when the pause comes
    // still is), then arms the user timer for a second and has the peer send "second". Over
    // WebSocket an expiry ends the loop: it must come after the bytes, which the peer sends
    // on its own pace, hence the second's margin. False when "first" was not delivered.
    bool PauseWithATimerAndBytesWaiting()
    {
        rig.connection->PauseReading(true, true);
        rig.PeerSends("first");
        if (!WaitForLength(5)) {
            return false;
        }
        rig.connection->StartEtcTimer(1000, recorder.Timeout("user"));
        rig.PeerSends("second");
        return true;
    }

    Rig rig;
    ConnectionRecorder recorder;
};

typedef ::testing::Types<TcpRig, WsRig> ConnectionKinds;
TYPED_TEST_SUITE(ConnectionShapeTest, ConnectionKinds);

TYPED_TEST(ConnectionShapeTest, SplitDeliveriesAccumulateInTheReceiveBuffer)
{
    const std::string message = "POST / HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello";
    struct Case {
        const char* name;
        std::vector<std::size_t> pieces;  // sizes; the last piece takes the rest
    };
    const Case cases[] = {
        {"whole", {}},
        {"three pieces", {4, 20}},
        {"single bytes at the start", {1, 1, 1, 1}},
    };
    std::size_t total = 0;
    auto runner = this->StartRun();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t offset = 0;
        std::vector<std::string> pieces;
        for (std::size_t size : c.pieces) {
            pieces.push_back(message.substr(offset, size));
            offset += size;
        }
        pieces.push_back(message.substr(offset));
        for (const std::string& piece : pieces) {
            this->rig.PeerSends(piece);
            total += piece.size();
            // The next piece goes out only after this one was seen, so the splits hold.
            ASSERT_TRUE(this->WaitForLength(total));
        }
    }
    std::string expected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        expected += message;
    }
    EXPECT_EQ(expected, this->recorder.Data());
    // Every delivery shows the whole unconsumed data: what came before and what just arrived.
    std::size_t seen = 0;
    for (const Delivery& delivery : this->recorder.Deliveries()) {
        ASSERT_FALSE(delivery.error);
        seen += delivery.received;
        EXPECT_EQ(seen, delivery.data.size());
        EXPECT_EQ(expected.substr(0, seen), delivery.data);
    }
    EXPECT_EQ(expected.size(), seen);
}

TYPED_TEST(ConnectionShapeTest, ConsumedMessagesLeaveTheRestAtTheFront)
{
    // Two messages arrive together; the receive step consumes the first and sees the second
    // at the front of the buffer next time.
    const std::string first = "first message|";
    const std::string second = "second";
    auto connection = this->rig.connection;
    this->recorder.SetHook([&](const Delivery& delivery) {
        if (delivery.data.size() >= first.size() && delivery.data.compare(0, first.size(), first) == 0) {
            connection->ConsumeReceived(static_cast<unsigned int>(first.size()));
        }
    });
    auto runner = this->StartRun();
    this->rig.PeerSends(first + second.substr(0, 2));
    ASSERT_TRUE(WaitFor([&] { return !this->recorder.Deliveries().empty(); }));
    this->rig.PeerSends(second.substr(2));
    ASSERT_TRUE(WaitFor([&] { return this->recorder.Data() == second; }));
    const auto buffer = connection->GetReceiveBuffer();
    EXPECT_EQ(second, std::string(buffer->storage.begin(), buffer->storage.begin() + buffer->dataLength));
}

TYPED_TEST(ConnectionShapeTest, Timers)
{
    struct Case {
        const char* name;
        int receive;        // receive timer, ms (-2: not started)
        bool stopReceive;   // StopReceiveTimer right after
        int user;           // user timer, ms (-2: not started)
        int receiveFired;
        int userFired;
    };
    // A sentinel user timer proves that time has passed where nothing else may fire.
    const Case cases[] = {
        {"receive timer expires", 50, false, -2, 1, 0},
        {"user timer expires", -2, false, 50, 0, 1},
        {"stopped receive timer is silent", 50, true, 300, 0, 1},
        {"negative receive time arms nothing", -1, false, 300, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypeParam rig;
        ConnectionRecorder recorder;
        LoopRunner<typename TypeParam::ConnectionType> runner(rig.connection, recorder.Received());
        if (c.receive != -2) {
            rig.connection->StartReceiveTimer(c.receive, recorder.Timeout("receive"));
        }
        if (c.stopReceive) {
            rig.connection->StopReceiveTimer();
        }
        if (c.user != -2) {
            rig.connection->StartEtcTimer(c.user, recorder.Timeout("user"));
        }
        ASSERT_TRUE(WaitFor([&] {
            return recorder.Timeouts("receive") >= c.receiveFired && recorder.Timeouts("user") >= c.userFired;
        }));
        EXPECT_EQ(c.receiveFired, recorder.Timeouts("receive"));
        EXPECT_EQ(c.userFired, recorder.Timeouts("user"));
        EXPECT_TRUE(recorder.Errors().empty());
    }
}

TYPED_TEST(ConnectionShapeTest, ANegativeUserTimeArmsNothing)
{
    auto runner = this->StartRun();
    this->rig.connection->StartEtcTimer(-1, this->recorder.Timeout("user"));
    this->rig.connection->StartEtcTimer(-5, this->recorder.Timeout("user"));
    this->rig.connection->StartReceiveTimer(100, this->recorder.Timeout("receive"));
    ASSERT_TRUE(WaitFor([&] { return this->recorder.Timeouts("receive") == 1; }));
    EXPECT_EQ(0, this->recorder.Timeouts("user"));
}

TYPED_TEST(ConnectionShapeTest, EndOfStreamVersusReset)
{
    struct Case {
        const char* name;
        bool reset;
    };
    const Case cases[] = {{"peer closes", false}, {"peer resets", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypeParam rig;
        ConnectionRecorder recorder;
        LoopRunner<typename TypeParam::ConnectionType> runner(rig.connection, recorder.Received());
        rig.PeerSends("partial");
        ASSERT_TRUE(WaitFor([&] { return recorder.Data() == "partial"; }));
        if (c.reset) {
            rig.PeerResets();
        } else {
            rig.PeerCloses();
        }
        ASSERT_TRUE(WaitFor([&] { return !recorder.Errors().empty(); }));
        const auto expected = c.reset ? TypeParam::ResetError() : TypeParam::CloseError();
        // Reported once, with the bytes still unconsumed.
        ASSERT_EQ(1u, recorder.Errors().size());
        EXPECT_EQ(expected, recorder.Errors().front());
        rig.connection->Close();
        ASSERT_TRUE(runner.WaitUntilFinished());
        EXPECT_EQ(0, runner.ErrorNo()) << runner.Error();
        EXPECT_EQ(1u, recorder.Errors().size());
    }
}

TYPED_TEST(ConnectionShapeTest, CloseFromTheReceivedFunctionDoesNotWaitForItself)
{
    auto connection = this->rig.connection;
    bool onLoopThread = false;
    this->recorder.SetHook([&](const Delivery& delivery) {
        if (!delivery.error) {
            onLoopThread = connection->IsEventLoopThread();
            connection->Close();
        }
    });
    auto runner = this->StartRun();
    this->rig.PeerSends("x");
    ASSERT_TRUE(runner->WaitUntilFinished());
    EXPECT_TRUE(onLoopThread);
    EXPECT_EQ(0, runner->ErrorNo()) << runner->Error();
    // Close ended the stream quietly: no error reaches the received function.
    EXPECT_TRUE(this->recorder.Errors().empty());
    EXPECT_FALSE(connection->IsEventLoopThread());
}

TYPED_TEST(ConnectionShapeTest, CloseFromAnotherThreadEndsRunAndRefusesFurtherUse)
{
    auto connection = this->rig.connection;
    auto runner = this->StartRun();
    // A delivery shows that Run is inside its loop.
    this->rig.PeerSends("x");
    ASSERT_TRUE(WaitFor([&] { return this->recorder.Data() == "x"; }));
    connection->Close();
    ASSERT_TRUE(runner->WaitUntilFinished());
    EXPECT_EQ(0, runner->ErrorNo()) << runner->Error();
    connection->Close();

    const auto buffer = boost::shared_ptr<Orvane::Utility::Tcp::Buffer>(
        new Orvane::Utility::Tcp::Buffer(16, reinterpret_cast<const unsigned char*>("abc"), 3));
    struct Case {
        const char* name;
        std::function<void()> call;
        int errorNo;
    };
    const Case cases[] = {
        {"send", [&] { connection->Send(buffer, 1000, 32768, [](auto, auto, auto) {}); }, 24},
        {"receive timer", [&] { connection->StartReceiveTimer(10, [] {}); }, 2},
        {"user timer", [&] { connection->StartEtcTimer(10, [] {}); }, 2},
        {"run", [&] { connection->Run(this->recorder.Received()); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.call();
            ADD_FAILURE() << "no error";
        } catch (const Orvane::Utility::Exception& e) {
            EXPECT_STREQ("Orvane::Utility::Tcp", e.GetType());
            EXPECT_EQ(c.errorNo, e.GetErrorNo()) << e.what();
        }
    }
    EXPECT_NO_THROW(connection->StopReceiveTimer());
}

TYPED_TEST(ConnectionShapeTest, AFailingCallbackEndsRunWithError27)
{
    // An exception from the received function or a timer function must not escape the
    // loop's thread: Run reports it, as the HTTP controller expects.
    struct Case {
        const char* name;
        bool fromTimer;
    };
    const Case cases[] = {{"received function", false}, {"timer function", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypeParam rig;
        ConnectionRecorder recorder;
        recorder.SetHook([](const Delivery&) { throw std::runtime_error("listener failed"); });
        LoopRunner<typename TypeParam::ConnectionType> runner(rig.connection, recorder.Received());
        if (c.fromTimer) {
            rig.connection->StartEtcTimer(10, [] { throw std::runtime_error("listener failed"); });
        } else {
            rig.PeerSends("x");
        }
        ASSERT_TRUE(runner.WaitUntilFinished());
        EXPECT_EQ(27, runner.ErrorNo());
        EXPECT_NE(std::string::npos, runner.Error().find("原因=[listener failed]")) << runner.Error();
    }
}

TYPED_TEST(ConnectionShapeTest, PausedReadingHoldsTheBytesAndTheTimersUntilResumed)
{
    auto connection = this->rig.connection;
    auto runner = this->StartRun();
    ASSERT_TRUE(this->PauseWithATimerAndBytesWaiting());
    // A sentinel wait: neither the bytes nor the held timer may come while paused.
    EXPECT_FALSE(WaitFor([&] { return this->recorder.Data().size() > 5 || this->recorder.Timeouts("user") != 0; },
                         std::chrono::milliseconds(300)));
    connection->PauseReading(false, false);
    EXPECT_TRUE(WaitFor([&] { return this->recorder.Data() == "firstsecond"; }));
    EXPECT_TRUE(WaitFor([&] { return this->recorder.Timeouts("user") == 1; }));
    EXPECT_TRUE(this->recorder.Errors().empty());
}

TYPED_TEST(ConnectionShapeTest, TimersReleasedWhileReadingIsPausedRunOnButTheReceiveTimerAndTheBytesWait)
{
    // A remote call in progress: its time runs on while the application catches up. A
    // message that the application does not read cannot progress: the receive timer, due
    // first, stays held (the user timer is the sentinel).
    auto connection = this->rig.connection;
    auto runner = this->StartRun();
    ASSERT_TRUE(this->PauseWithATimerAndBytesWaiting());
    connection->StartReceiveTimer(50, this->recorder.Timeout("receive"));
    connection->PauseReading(true, false);
    EXPECT_TRUE(WaitFor([&] { return this->recorder.Timeouts("user") + this->recorder.Timeouts("receive") != 0; }));
    EXPECT_EQ(1, this->recorder.Timeouts("user"));
    EXPECT_EQ(0, this->recorder.Timeouts("receive"));
    EXPECT_EQ("first", this->recorder.Data());
}

TYPED_TEST(ConnectionShapeTest, CloseWhileReadingIsPausedEndsRunAtOnce)
{
    auto runner = this->StartRun();
    this->rig.connection->PauseReading(true, true);
    this->rig.PeerSends("x");
    ASSERT_TRUE(this->WaitForLength(1));
    const auto start = std::chrono::steady_clock::now();
    this->rig.connection->Close();
    ASSERT_TRUE(runner->WaitUntilFinished());
    // The connection held for the pause keeps nothing running once closed.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(0, runner->ErrorNo()) << runner->Error();
}

} // namespace
