// The server's last messages, on each route: what it sent before it closed is delivered
// before the close is reported, and a listener slower than the timers meets no time-out
// once the server has sent its part. How the connection ends: a drop in the middle of a
// message, and over WebSocket a close with a code and a server that keeps the socket
// after the close.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Orvane/Grammar.h"
#include "Orvane/Recognizer.h"
#include "Orvane/Session.h"
#include "support/ClientError.h"
#include "support/FinishesWithin.h"
#include "support/LoopbackSession.h"
#include "support/Owned.h"
#include "support/RecordingListeners.h"
#include "support/TrustedServer.h"
#include "support/WaitFor.h"
#include "support/WsPeer.h"
#include "support/loopback/LoopbackServer.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

struct Route {
    const char* name;
    bool webSocket;
};

std::ostream& operator<<(std::ostream& out, const Route& route) { return out << route.name; }

const std::vector<ResultSentence> kToday = {{0.9, {{"今日;きょう", "ky o u", 0, 10, 0.8}, {"は", "w a", 10, 15, 0.7}}}};

// A recognition whose grammar, recognizer and session listeners all write to one log, so
// that the order between them shows.
class ConnectionEndTest : public ::testing::TestWithParam<Route> {
protected:
    void SetUp() override
    {
        if (GetParam().webSocket) {
            trust_.reset(new TrustedServer);
        }
        server.Start();
        if (GetParam().webSocket) {
            bridge_.reset(new WsPeer(trust_->Peer(WsPeer::Mode::Bridge, server.Port())));
        }
    }

    // Connects with every timer but the connect timer at `timer` ms (the receive timer at
    // `receiveTimer` when given) and starts a recognition.
    void Begin(const char* timer, const char* receiveTimer = nullptr)
    {
        session.reset(CreateSession2("UTF-8"));
        session->SetParameter("QUOR:ConnectTimer", "10000");
        for (const char* name : {"QUOR:ReceiveTimer", "QUOR:SendTimer", "QUOR:ResponseTimer"}) {
            session->SetParameter(name, timer);
        }
        if (receiveTimer != nullptr) {
            session->SetParameter("QUOR:ReceiveTimer", receiveTimer);
        }
        if (bridge_) {
            session->SetServerInformation(bridge_->Uri().c_str(), kTestUserAgent, nullptr, nullptr);
        } else {
            session->InsertServerInformation(-1, server.Host().c_str(), std::to_string(server.Port()).c_str(),
                                             kTestUserAgent, nullptr, nullptr);
        }
        session->SetListener(&sessionEvents);
        recognizer.reset(session->Connect(nullptr));
        recognizer->SetListener(&recognizerEvents);
        grammar.reset(recognizer->AttachGrammar(""));
        grammar->SetListener(&grammarEvents);
        recognizer->Recognize();
    }

    // The first error that the session listener heard of, after waiting for it.
    std::string SessionError()
    {
        std::string error;
        WaitFor(
            [&] {
                for (const std::string& event : log.Events()) {
                    if (event.compare(0, 13, "SessionError ") == 0) {
                        error = event;
                        return true;
                    }
                }
                return false;
            },
            std::chrono::seconds(20));
        return error;
    }

    // The WebSocket bridge in front of the server, null over TCP.
    WsPeer* Bridge() const { return bridge_.get(); }

    LoopbackServer server;
    EventLog log;
    RecordingGrammarListener grammarEvents{log};
    RecordingRecognizerListener recognizerEvents{log};
    RecordingSessionListener sessionEvents{log};

private:
    std::unique_ptr<TrustedServer> trust_;
    std::unique_ptr<WsPeer> bridge_;

public:
    // Go before the bridge and the server.
    Owned<Orvane::Session> session;
    Owned<Orvane::Recognizer> recognizer;
    Owned<Orvane::Grammar> grammar;
};

// The server ends a recognition and closes its side in the same burst, as separate messages; the result's listener
// is slow, so the close is read while the result and the end are still to be delivered.
// They are delivered first, the recognition's outcome is theirs, and the session hears of
// the close last.
TEST_P(ConnectionEndTest, WhatCameBeforeTheCloseIsDeliveredFirst)
{
    struct Case {
        const char* name;
        Notice end;
        const char* ended;
        int completeError; // 0: Complete returns
    };
    const Case cases[] = {
        {"completed", Notice::Completed(), "Completed", 0},
        {"server error", Notice::Error("Orvane::Server", 9102, "fault"), "Error Orvane::Server 9102 fault", 7000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetReply("Recognizer::AsyncComplete",
                        Reply::Burst({Notice::EndPoint("", 1, kToday, "r1"), c.end}).ThenClose());
        log.Clear();
        grammarEvents.action = [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
        Begin("10000");
        const ClientError completed = CatchClientError([&] { recognizer->Complete(20.0); });
        EXPECT_EQ(c.completeError, completed.number) << completed;
        ASSERT_TRUE(log.WaitForCount(3));
        EXPECT_EQ((std::vector<std::string>{"EndPoint 1 r1 今日は", c.ended,
                                            "SessionError Orvane::Client 5006 コネクションが切断されました。"}),
                  log.Events());
        grammar.reset();
        recognizer.reset();
        session.reset();
    }
}

// The result's listener takes three response times; the server sends its completion in the
// middle of that time. No timer blames the server while the client delivers: the
// completion arrives and decides the recognition. The timers also bound the set-up's
// calls, so they are a second long: a loaded machine does not fail those.
TEST_P(ConnectionEndTest, ASlowListenerMeetsNoTimerWhileItDelivers)
{
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::EndPoint("", 1, kToday, "r1")));
    grammarEvents.action = [this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        try {
            server.Notify(Notice::Completed());
        } catch (const std::runtime_error&) {
            // The client has ended the connection: the log shows it.
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    };
    const ClientError begun = CatchClientError([&] { Begin("1000"); });
    ASSERT_FALSE(begun.thrown) << begun;
    const ClientError completed = CatchClientError([&] { recognizer->Complete(20.0); });
    EXPECT_FALSE(completed.thrown) << completed;
    ASSERT_TRUE(log.WaitForCount(2));
    const std::vector<std::string> events = log.Events();
    EXPECT_EQ((std::vector<std::string>{"EndPoint 1 r1 今日は", "Completed"}),
              std::vector<std::string>(events.begin(), events.begin() + 2));
}

// The server answers the end of the audio with its reply, 600 results and the end of the
// recognition, all at once. The first result's listener blocks, so the client stops reading
// at 256 undelivered notifications, part of a message in its buffer, and the application
// aborts meanwhile. The receive timer of that message ran on during the call and failed it
// as stalled, the server blamed for bytes the client did not read: now only the call's own
// response timer runs. The call gets its reply once the listener catches up, or ends with
// the response-wait time-out while it stays stuck.
TEST_P(ConnectionEndTest, ACallWhileTheReadingIsHeldMeetsOnlyItsResponseTimer)
{
    constexpr int kResults = 600;
    struct Case {
        const char* name;
        bool listenerCatchesUp;
        const char* responseTimer;
        int number; // of Abort's error, 0: none
        std::string message;
    };
    const Case cases[] = {
        {"the listener catches up", true, "30000", 0, ""},
        {"the listener stays stuck", false, "1500", 5002, "通信で異常が発生しました。詳細=Connection timed out"},
    };
    std::vector<Notice> burst;
    for (int i = 1; i <= kResults; ++i) {
        burst.push_back(Notice::EndPoint("", i, kToday, "r1"));
    }
    burst.push_back(Notice::Completed());
    // The first result of each case blocks until released.
    std::atomic<bool> release{false};
    std::atomic<bool> blocked{false};
    grammarEvents.action = [&] {
        if (!blocked.exchange(true)) {
            WaitFor([&] { return release.load(); }, std::chrono::minutes(2));
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetReply("Recognizer::AsyncComplete", Reply::Burst(burst));
        log.Clear();
        release = false;
        blocked = false;
        const Recording before = server.Snapshot();
        Begin("30000");
        session->SetParameter("QUOR:ReceiveTimer", "300");
        recognizer->AsyncComplete();
        // Counted from the next call's request on.
        session->SetParameter("QUOR:ResponseTimer", c.responseTimer);
        // Each notification is answered once it is queued: at 256 answers the reading is held.
        ASSERT_TRUE(server.WaitForAcknowledgements(before.Acknowledgements().size() + 256, std::chrono::seconds(60)));
        ClientError aborted;
        std::atomic<bool> returned{false};
        std::thread application([&] {
            aborted = CatchClientError([&] { recognizer->Abort(); });
            returned = true;
        });
        ASSERT_TRUE(server.WaitForCall("Recognizer::Abort", before.CallCount("Recognizer::Abort") + 1));
        if (c.listenerCatchesUp) {
            // A sentinel wait of three receive times: the call still waits for its reply.
            EXPECT_FALSE(WaitFor([&] { return returned.load(); }, std::chrono::milliseconds(900))) << aborted;
        } else {
            EXPECT_TRUE(WaitFor([&] { return returned.load(); }, std::chrono::seconds(20)));
        }
        release = true;
        application.join();
        EXPECT_EQ(c.number, aborted.number) << aborted;
        EXPECT_EQ(c.message, aborted.message);
        if (c.listenerCatchesUp) {
            ASSERT_TRUE(WaitWhileProgressing([&] { return log.Count() == kResults + 1; }, [&] { return log.Count(); }))
                << log.Count();
            const std::vector<std::string> events = log.Events();
            EXPECT_EQ("EndPoint " + std::to_string(kResults) + " r1 今日は", events[kResults - 1]);
            EXPECT_EQ("Completed", events[kResults]);
        }
        // The handler's thread delivers what is left and ends with the last of them.
        grammar.reset();
        recognizer.reset();
        session.reset();
    }
}

// The session listener's Error calls the recognizer while an application thread waits for
// a reply that the server's close ends. The listener ran under the sender's receive lock
// and its call waited for the send lock, while the waiting call held the send lock and
// needed the receive lock to take its error: both hung, in some rounds. The listener is now
// called with no lock of the sender's calls held, and its call fails at once.
TEST_P(ConnectionEndTest, ASessionListenerThatCallsTheRecognizerDoesNotHang)
{
    // The listener and what the waiting call threw; left behind with the client's objects
    // when a round hangs.
    struct Round : public Orvane::SessionListener {
        void Error(Orvane::Exception*) override
        {
            listenerError = CatchClientError([this] { recognizer->SetParameter("a", "b"); });
            listenerReturned = true;
        }
        Orvane::Recognizer* recognizer = nullptr;
        ClientError listenerError;
        std::atomic<bool> listenerReturned{false};
        ClientError callError;
    };
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        server.SetReply("Recognizer::GetParameter", Reply::Close());
        std::unique_ptr<Round> r(new Round);
        Begin("10000");
        r->recognizer = recognizer.get();
        session->SetListener(r.get());
        Round* const shared = r.get();
        const bool ended =
            FinishesWithin([shared] { shared->callError = CatchClientError([shared] { shared->recognizer->GetParameter("p"); }); });
        if (!ended || !WaitFor([&] { return r->listenerReturned.load(); }, std::chrono::seconds(20))) {
            ADD_FAILURE() << "hangs: the call " << (ended ? "returned" : "waits") << ", the listener's call "
                          << (r->listenerReturned ? "returned" : "waits");
            static_cast<void>(r.release());
            static_cast<void>(grammar.release());
            static_cast<void>(recognizer.release());
            static_cast<void>(session.release());
            return;
        }
        EXPECT_EQ(5006, r->callError.number) << r->callError;
        EXPECT_EQ(5002, r->listenerError.number) << r->listenerError;
        grammar.reset();
        recognizer.reset();
        session.reset();
    }
}

// The server sends the start of a notification and ends TCP there, as a crashed server
// does: over WebSocket with no close frame and no TLS close_notify, its socket still open.
// The end is reported as soon as the read sees it: 5006, with the cause. Not after
// websocketpp's TLS shutdown, which waits 5 s for the server's close_notify, so that the
// receive timer (3 s, far longer than the drop takes) would end the stalled message first
// with 5002.
TEST_P(ConnectionEndTest, ADropInTheMiddleOfAMessageIsTheEndAtOnceWithItsCause)
{
    Begin("30000", "3000");
    const std::string head = "POST / HTTP/1.0\r\nContent-Length: 100\r\n\r\n<Notification";
    if (Bridge() != nullptr) {
        Bridge()->BeginMessage(head);
        Bridge()->Finish();
    } else {
        server.SendRaw(head);
        server.Close();
    }
    EXPECT_EQ("SessionError Orvane::Client 5006 コネクションが切断されました。詳細=HTTP電文の受信途中で接続が切断されました。",
              SessionError());
}

INSTANTIATE_TEST_SUITE_P(Routes, ConnectionEndTest, ::testing::Values(Route{"TCP", false}, Route{"WebSocket", true}),
                         [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.name); });

class WebSocketEndTest : public ConnectionEndTest {};

// The server's close frame ends the connection: 5006, with the code when it is not a
// normal end. A 1009 of the server is no message of the client's over the size limit.
TEST_P(WebSocketEndTest, TheServersCloseCodeIsInTheEndsDetail)
{
    struct Case {
        int code;
        const char* expected;
    };
    const Case cases[] = {
        {1009, "SessionError Orvane::Client 5006 コネクションが切断されました。詳細=サーバがWebSocket接続を閉じました。"
               "クローズコード=1009"},
        {1001, "SessionError Orvane::Client 5006 コネクションが切断されました。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        log.Clear();
        Begin("30000");
        Bridge()->Close(c.code);
        EXPECT_EQ(c.expected, SessionError());
        recognizer.reset();
        session.reset();
    }
}

// The server answers the close frame but then keeps TLS and TCP open: Release returns
// after the client's grace, having dropped the socket itself.
TEST_P(WebSocketEndTest, ReleaseEndsAgainstAServerThatKeepsTheSocketAfterTheClose)
{
    Begin("10000");
    Bridge()->HoldCloses(WsPeer::CloseHold::Echo);
    grammar.reset();
    Orvane::Recognizer* released = recognizer.release();
    if (!FinishesWithin([released] { released->Release(); })) {
        // The server's drop lets the hung Release go.
        Bridge()->Abort();
        FAIL() << "Release waits for the server";
    }
    EXPECT_TRUE(Bridge()->Holding().closeHeld);
    EXPECT_TRUE(WaitFor([&] { return !Bridge()->Holding().tcpOpen; }));
}

INSTANTIATE_TEST_SUITE_P(Route, WebSocketEndTest, ::testing::Values(Route{"WebSocket", true}),
                         [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.name); });

} // namespace
