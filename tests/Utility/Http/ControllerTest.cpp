// The HTTP controller's creation and state errors, its send failures, the single failure
// report, and Stop on each kind of thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ControllerMessages.h"
#include "Utility/ErrorCategory.h"
#include "Utility/Exception.h"
#include "Utility/Http/Controller.h"
#include "support/ConnectionRigs.h"
#include "support/ControllerRig.h"
#include "support/FinishesWithin.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::ClientPart;
using Orvane::Test::ControllerRig;
using Orvane::Test::ControllerTimers;
using Orvane::Test::FinishesWithin;
using Orvane::Test::ListenerCall;
using Orvane::Test::Notification;
using Orvane::Test::Parts;
using Orvane::Test::Reply;
using Orvane::Test::TcpRig;
using Orvane::Test::WaitFor;
using Orvane::Test::WsRig;
using Orvane::Utility::Http::BodyPartInformation;
using Orvane::Utility::Http::Controller;
using Orvane::Utility::Http::RequestInformation;
using Orvane::Utility::Http::Respondent;
using Orvane::Utility::Http::ResponseInformation;
using Orvane::Utility::Tcp::Buffer;

// The calls a listener heard, as "received", "closed" or "error <kind> <category>:<value>".
std::string Heard(const Orvane::Test::ListenerLog& log)
{
    std::string heard;
    for (const ListenerCall& call : log.Calls()) {
        heard += heard.empty() ? "" : ", ";
        heard += call.Describe();
    }
    return heard;
}

// Reads at the peer until the client ends the stream.
bool PeerSeesTheEnd(TcpRig& rig)
{
    try {
        rig.peer->ReceiveToEnd(std::chrono::seconds(20));
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

boost::shared_ptr<Buffer> SmallBuffer()
{
    return boost::shared_ptr<Buffer>(new Buffer(16, reinterpret_cast<const unsigned char*>("x"), 1));
}

// Expects `call` to raise the HTTP layer's error `number` with `message` (or a message
// that contains `message` when `prefix` is set).
void ExpectError(const std::function<void()>& call, int number, const std::string& message, bool prefix = false)
{
    try {
        call();
        ADD_FAILURE() << "no error";
    } catch (const Orvane::Utility::Exception& e) {
        EXPECT_STREQ("Orvane::Utility::Http", e.GetType());
        EXPECT_EQ(number, e.GetErrorNo()) << e.what();
        if (prefix) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(message)) << e.what();
        } else {
            EXPECT_EQ(message, e.what());
        }
    }
}

TEST(ControllerTest, CreateInstanceRefusesAMissingConnection)
{
    ExpectError(
        [] { Controller::CreateInstance(boost::shared_ptr<Orvane::Utility::Tcp::Connection>(), "agent", -1, -1, -1); },
        1, "引数(connection_pointer)が不正です。");
    ExpectError(
        [] { Controller::CreateInstance(boost::shared_ptr<Orvane::Utility::Tcp::WsConnection>(), "agent", -1, -1, -1); },
        1, "引数(ws_connection_pointer)が不正です。");
}

TEST(ControllerTest, StateErrors)
{
    ControllerRig<TcpRig> c;
    EXPECT_EQ(c.rig.connection->GetRemoteHost(), c.controller->GetRespondent()->GetPeer());
    ExpectError([&] { c.controller->SendRequest(SmallBuffer()); }, 2, "送信処理を行える状態ではありません。");
    ExpectError([&] { c.controller->SendResponse(SmallBuffer()); }, 2, "送信処理を行える状態ではありません。");
    c.controller->Start();
    ExpectError([&] { c.controller->Start(); }, 2, "開始処理を行える状態ではありません。");
    c.controller->SendRequest(SmallBuffer());
    EXPECT_EQ("x", c.rig.peer->Receive(1));
    c.controller->Stop();
    ExpectError([&] { c.controller->Start(); }, 2, "開始処理を行える状態ではありません。");
    ExpectError([&] { c.controller->SendResponse(SmallBuffer()); }, 2, "送信処理を行える状態ではありません。");
    EXPECT_TRUE(c.rig.peer->WaitForEnd());
}

TEST(ControllerTest, AStartThatCannotArmItsTimerStopsAndFailsWithError7)
{
    ControllerRig<TcpRig> c(ControllerTimers{1000, 1000, -1});
    c.rig.connection->Close();
    ExpectError([&] { c.controller->Start(); }, 7,
                "HTTP制御処理スレッドの生成処理で例外が発生しました。原因=[コネクションは接続状態ではありません。]");
    ExpectError([&] { c.controller->SendRequest(SmallBuffer()); }, 2, "送信処理を行える状態ではありません。");
}

TEST(ControllerTest, ASendTimeOutIsASendFailure)
{
    // The peer reads nothing and its receive buffer is small: the write stalls. The send
    // timer's new value holds from the next send.
    ControllerRig<TcpRig> c(ControllerTimers{-1, 60000, -1}, 32768u, 4096);
    c.controller->Start();
    c.controller->SetSendTimer(100);
    const std::string audio(8 << 20, 'a');
    c.controller->GetRequester()->SendAudio(
        "/", BodyPartInformation(reinterpret_cast<const unsigned char*>(audio.data()), audio.size()));
    ASSERT_TRUE(c.responses->WaitForEnd());
    ASSERT_TRUE(c.requests->WaitForEnd());
    c.controller->Stop();
    EXPECT_EQ("error 1 system:110", Heard(*c.responses));
    EXPECT_EQ("error 1 system:110", Heard(*c.requests));
}

TEST(ControllerTest, OnlyTheFirstFailureReachesTheListeners)
{
    const std::string audio(8 << 20, 'a');
    struct Case {
        const char* name;
        ControllerTimers timers;
        bool stallSend;                 // sends 8 MiB that the peer does not read
        std::string first;              // what the listeners hear of the first failure
        std::function<void(TcpRig&)> second;
    };
    const Case cases[] = {
        {"send time-out, then a malformed message", {-1, 100, -1}, true, "error 1 system:110",
         [](TcpRig& rig) { rig.PeerSends("HTTP/1.0 200 OK\nbroken\r\n\r\n"); }},
        {"receive time-out, then the end of the stream", {50, 10000, -1}, false, "error 0 system:110",
         [](TcpRig& rig) { rig.peer->ShutdownWrite(); }},
        {"end of the stream, then the stalled send ends", {-1, -1, -1}, true, "closed",
         [](TcpRig&) {}},
        {"response-wait time-out, then the end of the stream", {-1, 10000, 50}, false, "error 2 system:110",
         [](TcpRig& rig) { rig.peer->ShutdownWrite(); }},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ControllerRig<TcpRig> c(row.timers, 32768u, 4096);
        c.controller->Start();
        if (row.stallSend) {
            c.controller->GetRequester()->SendAudio(
                "/", BodyPartInformation(reinterpret_cast<const unsigned char*>(audio.data()), audio.size()));
        }
        if (row.timers.response >= 0) {
            // The response wait counts from the latest arrival.
            c.rig.PeerSends(Reply("first"));
        }
        if (row.first == "closed") {
            c.rig.peer->ShutdownWrite();
        }
        ASSERT_TRUE(c.responses->WaitForEnd());
        ASSERT_TRUE(c.requests->WaitForEnd());
        row.second(c.rig);
        // The second failure ends the connection (or the first already did): the peer sees
        // the client close, after which nothing more can be reported.
        EXPECT_TRUE(PeerSeesTheEnd(c.rig));
        c.controller->Stop();
        const std::string received = row.timers.response >= 0 ? "received, " : "";
        EXPECT_EQ(received + row.first, Heard(*c.responses));
        EXPECT_EQ(row.first, Heard(*c.requests));
    }
}

TEST(ControllerTest, AFailingListenerDoesNotKeepTheOtherFromTheEnd)
{
    ControllerRig<TcpRig> c;
    c.responses->SetEndHook([] { throw std::runtime_error("listener failed"); });
    c.controller->Start();
    c.rig.PeerCloses();
    ASSERT_TRUE(c.requests->WaitForEnd());
    c.controller->Stop();
    EXPECT_EQ("closed", Heard(*c.responses));
    EXPECT_EQ("closed", Heard(*c.requests));
}

TEST(ControllerTest, StopHoldsNoLockWhileItWaitsForTheThread)
{
    // A listener on the controller thread calls into the controller after the owner's Stop
    // has told the end and while Stop waits for that very thread.
    ControllerRig<TcpRig> c;
    Controller* controller = c.controller.get();
    std::atomic<bool> inside(false);
    std::atomic<int> sendError(0);
    c.requests->SetReceivedHook([&](Respondent&, const RequestInformation&) {
        inside = true;
        WaitFor([&] { return c.responses->Count("closed") > 0; });
        try {
            controller->SendRequest(SmallBuffer());
        } catch (const Orvane::Utility::Exception& e) {
            sendError = e.GetErrorNo();
        }
    });
    c.controller->Start();
    c.rig.PeerSends(Notification("<Notification/>"));
    ASSERT_TRUE(WaitFor([&] { return inside.load(); }));
    std::thread::id stoppingThread;
    EXPECT_TRUE(FinishesWithin([&] {
        stoppingThread = std::this_thread::get_id();
        controller->Stop();
    }));
    EXPECT_EQ(2, sendError.load());
    // OnClosed came from the thread that stopped.
    EXPECT_EQ("closed", Heard(*c.responses));
    EXPECT_EQ(stoppingThread, c.responses->Calls().back().thread);
}

TEST(ControllerTest, StopOnTheWebSocketThreadDoesNotWaitForItself)
{
    // Over WebSocket every delivery and time-out runs on the WebSocket thread while the
    // controller thread waits in Run for that thread to leave the loop: a listener that
    // stops there must wait for neither.
    struct Case {
        const char* name;
        bool fromError;  // else from OnReceived
        std::string heard;
    };
    const Case cases[] = {
        {"stopping from OnReceived", false, "received, closed"},
        // A message was arriving: the time-out says it stalled.
        {"stopping from OnError after the receive time-out", true, "received, error 0 Pellum:50"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        // A receive time far above a loaded machine's pauses until the time-out is wanted.
        ControllerRig<WsRig> c(ControllerTimers{30000, 10000, -1}, 4096u);
        Controller* controller = c.controller.get();
        std::atomic<bool> stopReturned(false);
        std::atomic<bool> onLoopThread(false);
        std::atomic<bool> received(false);
        std::thread::id deliveringThread;
        std::thread::id stoppingThread;
        auto stop = [&] {
            stoppingThread = std::this_thread::get_id();
            onLoopThread = c.rig.connection->IsEventLoopThread();
            controller->Stop();
            stopReturned = true;
        };
        c.responses->SetReceivedHook([&](const ResponseInformation&) {
            deliveringThread = std::this_thread::get_id();
            received = true;
            if (!row.fromError) {
                stop();
            }
        });
        if (row.fromError) {
            c.responses->SetEndHook(stop);
        }
        // Arrives before Start, more than the receive buffer holds, so that its growth
        // shows the arrival.
        c.rig.PeerSends(Reply(std::string(5000, 'p')));
        ASSERT_TRUE(WaitFor([&] { return c.rig.connection->IsReceiveBufferExtended(); }));
        c.controller->Start();
        if (row.fromError) {
            // The start of a second message runs into a short receive time.
            ASSERT_TRUE(WaitFor([&] { return received.load(); }));
            c.controller->SetReceiveTimer(100);
            c.rig.PeerSends(Notification("n").substr(0, 10));
        }
        ASSERT_TRUE(WaitFor([&] { return stopReturned.load(); }));
        ASSERT_TRUE(c.requests->WaitForEnd());
        EXPECT_TRUE(FinishesWithin([&] { c.controller->Stop(); }));
        EXPECT_EQ(row.heard, Heard(*c.responses));
        EXPECT_TRUE(onLoopThread.load());
        EXPECT_NE(std::this_thread::get_id(), stoppingThread);
        EXPECT_EQ(deliveringThread, stoppingThread);
    }
}

} // namespace
