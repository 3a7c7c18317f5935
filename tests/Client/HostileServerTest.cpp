// A server that floods, a listener slower than the server, a reply that trickles in and
// one very large notification: the client's memory stays bounded, every notification is
// delivered in order, and Release returns within the timers.

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Orvane/Session.h"
#include "support/ClientError.h"
#include "support/FinishesWithin.h"
#include "support/HeapInUse.h"
#include "support/HostilePeer.h"
#include "support/Owned.h"
#include "support/RecordingListeners.h"
#include "support/TrustedServer.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::CatchClientError;
using Orvane::Test::ClientError;
using Orvane::Test::FinishesWithin;
using Orvane::Test::HeapPeak;
using Orvane::Test::HostilePeer;
using Orvane::Test::kHeapMeasured;
using Orvane::Test::Owned;
using Orvane::Test::TrustedServer;
using Orvane::Test::WsPeer;
using Orvane::Test::WaitFor;
using Orvane::Test::WaitWhileProgressing;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMiB = 1024 * 1024;

// Checks that the end points arrive numbered 0, 1, 2, ... and counts them; `delay` makes
// it slower than the server.
class SequenceListener : public Orvane::GrammarListener {
public:
    void StartPoint(double) override {}
    void EndPoint(double point, const char*, Orvane::Result::Nbest* result) override
    {
        if (point != static_cast<double>(count_)) {
            outOfOrder_ = true;
        }
        if (readForms) {
            textBytes = std::strlen(result->ToString());
            result->ToXML();
        }
        ++count_;
        if (delay.count() != 0) {
            std::this_thread::sleep_for(delay);
        }
    }
    void TempPoint(double, const char*, Orvane::Result::Nbest*) override {}

    std::size_t Count() const { return count_; }
    bool InOrder() const { return !outOfOrder_; }

    std::chrono::microseconds delay{0};
    // With readForms, each end point's text and XML forms are made, as the helper makes
    // them; the text's length is kept.
    bool readForms = false;
    std::atomic<std::size_t> textBytes{0};

private:
    std::atomic<std::size_t> count_{0};
    std::atomic<bool> outOfOrder_{false};
};

// A session with every timer but the connect timer at `timer` ms, to `peer` over TCP or,
// with a `bridge`, over TLS WebSocket through it; with a listener on the grammars.
struct Client {
    Client(const HostilePeer& peer, const char* timer, const WsPeer* bridge = nullptr)
    {
        session.reset(CreateSession2("UTF-8"));
        for (const char* name : {"QUOR:ReceiveTimer", "QUOR:SendTimer", "QUOR:ResponseTimer"}) {
            session->SetParameter(name, timer);
        }
        session->SetParameter("QUOR:ConnectTimer", "10000");
        if (bridge != nullptr) {
            session->SetServerInformation(bridge->Uri().c_str(), "TessivalTest/1.0", nullptr, nullptr);
        } else {
            session->InsertServerInformation(-1, "127.0.0.1", std::to_string(peer.Port()).c_str(),
                                             "TessivalTest/1.0", nullptr, nullptr);
        }
    }

    void Connect()
    {
        recognizer.reset(session->Connect(nullptr));
        grammar.reset(recognizer->AttachGrammar(""));
        grammar->SetListener(&listener);
        recognizer->SetListener(&events);
    }

    // Releases the recognizer; true when it returned within `limit`.
    bool ReleaseWithin(std::chrono::milliseconds limit)
    {
        grammar.reset();
        Orvane::Recognizer* released = recognizer.release();
        return FinishesWithin([released] { released->Release(); }, limit);
    }

    SequenceListener listener;
    Orvane::Test::EventLog log;
    Orvane::Test::RecordingRecognizerListener events{log};
    Owned<Orvane::Session> session;
    Owned<Orvane::Recognizer> recognizer;
    Owned<Orvane::Grammar> grammar;
};

TEST(HostileServerTest, AFloodKeepsTheClientBoundedAndReleaseReturnsWithinTheTimers)
{
    struct Case {
        const char* name;
        bool peerReads;
        bool webSocket;
    };
    const Case cases[] = {
        {"TCP, the server reads the answers", true, false},
        {"TCP, the server reads nothing", false, false},
        {"WebSocket, the server reads the answers", true, true},
    };
    // The trust is set before any thread starts.
    const TrustedServer trust;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostilePeer::Options options;
        options.reading = c.peerReads;
        HostilePeer peer(options);
        std::unique_ptr<WsPeer> bridge;
        if (c.webSocket) {
            bridge.reset(new WsPeer(trust.Peer(WsPeer::Mode::Bridge, peer.Port())));
        }
        // Timers above the pauses of a loaded machine, which would end the flood early.
        Client client(peer, "3000", bridge.get());
        client.Connect();
        client.recognizer->Recognize();
        HeapPeak heap;
        client.recognizer->AsyncComplete();
        // The flood goes on for a while: far more notifications than the client keeps and,
        // when the server reads the answers, more than a thousand through to the listener.
        ASSERT_TRUE(WaitWhileProgressing(
            [&] {
                return peer.ClientClosed() ||
                       (peer.Sent() >= 5000 && (!c.peerReads || client.listener.Count() > 1000));
            },
            [&] { return peer.Sent() + client.listener.Count(); }))
            << peer.Sent() << " sent, " << client.listener.Count() << " delivered";
        const Clock::time_point flooded = Clock::now();
        while (Clock::now() - flooded < std::chrono::seconds(1) && !peer.ClientClosed()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        heap.Stop();
        if (kHeapMeasured) {
            EXPECT_LT(heap.Growth(), 8 * kMiB);
        }
        // The remote Release is never answered; the response wait ends it, notifications
        // or not, and then the connection is closed.
        EXPECT_TRUE(client.ReleaseWithin(std::chrono::seconds(8)));
        EXPECT_TRUE(client.listener.InOrder());
        if (c.peerReads) {
            EXPECT_GT(client.listener.Count(), 1000u);
        }
        if (!c.webSocket) {
            // (The relay's own ending is not the client's to tell.)
            EXPECT_TRUE(WaitFor([&] { return peer.ClientClosed(); }));
        }
        EXPECT_EQ("", peer.Failure());
    }
}

TEST(HostileServerTest, ASlowListenerSlowsTheServerDownAndMissesNothing)
{
    struct Case {
        const char* name;
        bool webSocket;
    };
    const Case cases[] = {{"TCP", false}, {"WebSocket", true}};
    const TrustedServer trust;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostilePeer::Options options;
        options.count = 2000;
        // Large results, so that a queue that kept them all would stand out.
        options.text = std::string(16 * 1024, 'x');
        options.answerDuringFlood = true;
        HostilePeer peer(options);
        std::unique_ptr<WsPeer> bridge;
        if (c.webSocket) {
            bridge.reset(new WsPeer(trust.Peer(WsPeer::Mode::Bridge, peer.Port())));
        }
        // Timers far above any pause of a loaded machine: a time-out is not what this
        // looks for, and would end the flow early.
        Client client(peer, "20000", bridge.get());
        client.listener.delay = std::chrono::microseconds(500);
        client.Connect();
        client.recognizer->Recognize();
        HeapPeak heap;
        client.recognizer->AsyncComplete();
        // How fast they come is the machine's pace; a stall of the flow is the fault.
        ASSERT_TRUE(WaitWhileProgressing([&] { return client.listener.Count() == options.count; },
                                         [&] { return client.listener.Count(); }))
            << client.listener.Count() << " delivered, " << peer.Answers() << " answered, " << peer.Sent()
            << " sent, " << ::testing::PrintToString(client.log.Events()) << ", completion: "
            << CatchClientError([&] { client.recognizer->Complete(0.001); });
        heap.Stop();
        EXPECT_TRUE(client.listener.InOrder());
        // Every notification was answered, and the answers reached the server.
        EXPECT_TRUE(WaitFor([&] { return peer.Answers() == options.count; }));
        if (kHeapMeasured) {
            EXPECT_LT(heap.Growth(), 12 * kMiB);
        }
        EXPECT_TRUE(client.ReleaseWithin(std::chrono::seconds(5)));
        EXPECT_EQ("", peer.Failure());
    }
}

TEST(HostileServerTest, AReplyTricklingInEndsWithTheReceiveTimer)
{
    struct Case {
        const char* name;
        const char* call;
    };
    const Case cases[] = {{"Connect", "CreateRecognizer"}, {"AsyncComplete", "Recognizer::AsyncComplete"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostilePeer::Options options;
        options.floodAfter = "none";
        options.trickle = c.call;
        // About 400 bytes at one every 20 ms: 8 s to arrive, against a receive time of 300 ms.
        options.trickleInterval = std::chrono::milliseconds(20);
        HostilePeer peer(options);
        Client client(peer, "300");
        client.session->SetParameter("QUOR:ResponseTimer", "60000");
        const Clock::time_point start = Clock::now();
        const ClientError error = CatchClientError([&] {
            client.Connect();
            client.recognizer->Recognize();
            client.recognizer->AsyncComplete();
        });
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_EQ(5002, error.number) << error;
        EXPECT_LT(took.count(), 3000);
        if (client.recognizer) {
            EXPECT_TRUE(client.ReleaseWithin(std::chrono::seconds(5)));
        }
    }
}

TEST(HostileServerTest, ALargeMessageArrivingSteadilyOutlastsTheReceiveTimer)
{
    // 4 MB at 128 KiB every 100 ms takes about 3 s against a receive time of 1 s: each
    // step is progress enough to go on (a trickle is not, above).
    struct Case {
        const char* name;
        bool webSocket;
    };
    const Case cases[] = {{"TCP", false}, {"WebSocket", true}};
    const TrustedServer trust;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostilePeer::Options options;
        options.count = 1;
        options.text.assign(4 * kMiB, 'x');
        options.trickle = options.floodAfter;
        options.trickleBytes = 128 * 1024;
        options.trickleInterval = std::chrono::milliseconds(100);
        options.answerDuringFlood = true;
        HostilePeer peer(options);
        std::unique_ptr<WsPeer> bridge;
        if (c.webSocket) {
            bridge.reset(new WsPeer(trust.Peer(WsPeer::Mode::Bridge, peer.Port())));
        }
        Client client(peer, "1000", bridge.get());
        client.Connect();
        client.recognizer->Recognize();
        const Clock::time_point start = Clock::now();
        client.recognizer->AsyncComplete();
        ASSERT_TRUE(WaitFor([&] { return client.listener.Count() == 1; }, std::chrono::seconds(60)))
            << ::testing::PrintToString(client.log.Events()) << ", completion: "
            << CatchClientError([&] { client.recognizer->Complete(0.001); });
        // Longer than one receive time, or the test shows nothing.
        EXPECT_GT(Clock::now() - start, std::chrono::milliseconds(1500));
        EXPECT_TRUE(client.ReleaseWithin(std::chrono::seconds(5)));
        EXPECT_EQ("", peer.Failure());
    }
}

TEST(HostileServerTest, AMessageDeclaredLargerThanItsBytesIsNotHeldAndItsFailureSaysWhy)
{
    // A reply or a server's request declares 60 MB, brings 1 MB, then stalls or the server
    // closes: the client holds what arrived, not what was declared, lets go of it with the
    // failure although the session lives on, and the error names the cause.
    struct Case {
        const char* name;
        bool reply;
        bool close;
        const char* cause;
    };
    const Case cases[] = {
        {"reply stalls", true, false, "受信タイマ"},
        {"reply cut short", true, true, "切断"},
        {"notification stalls", false, false, "受信タイマ"},
        {"notification cut short", false, true, "切断"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostilePeer::Options options;
        options.floodAfter = "none";
        options.raw = std::string(c.reply ? "HTTP/1.0 200 OK" : "POST / HTTP/1.0") +
                      "\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: 60000000\r\n\r\n" +
                      std::string(kMiB, 'x');
        options.rawFor = "Recognizer::Recognize";
        options.rawIsReply = c.reply;
        options.closeAfterRaw = c.close;
        HostilePeer peer(options);
        Client client(peer, "1000");
        Orvane::Test::EventLog sessionLog;
        Orvane::Test::RecordingSessionListener sessionEvents(sessionLog);
        client.session->SetListener(&sessionEvents);
        client.Connect();
        const std::size_t before = Orvane::Test::HeapInUse();
        HeapPeak heap;
        const ClientError error = CatchClientError([&] { client.recognizer->Recognize(); });
        ASSERT_TRUE(WaitFor([&] { return !sessionLog.Events().empty(); }, std::chrono::seconds(20)));
        heap.Stop();
        const std::string failure = sessionLog.Events().front();
        EXPECT_EQ(0u, failure.find("SessionError Orvane::Client 5002 ")) << failure;
        EXPECT_NE(std::string::npos, failure.find(c.cause)) << failure;
        if (c.reply) {
            EXPECT_EQ(5002, error.number) << error;
            EXPECT_NE(std::string::npos, error.message.find(c.cause)) << error;
        } else {
            EXPECT_FALSE(error.thrown) << error;
        }
        if (kHeapMeasured) {
            EXPECT_LT(heap.Growth(), 8 * kMiB);
            // What arrived goes with the failure (once the loop has ended the read into
            // it), while the session and the recognizer live on.
            EXPECT_TRUE(WaitFor([&] { return Orvane::Test::HeapInUse() < before + kMiB / 2; }))
                << Orvane::Test::HeapInUse() - before;
        }
        EXPECT_EQ("", peer.Failure());
    }
}

TEST(HostileServerTest, OneLargeNotificationCostsASmallMultipleOfItsSize)
{
    // From the first byte to the listener's text and XML forms, as the helper asks for
    // them: the receive buffer, the result and the two forms, with no element tree of the
    // whole result beside them and no copies on the way.
    struct Case {
        const char* name;
        std::string label;
        std::size_t messageSize;  // about; the words are counted to make it
    };
    const Case cases[] = {
        {"one word of 16 MB", std::string(16 * kMiB, 'x'), 16 * kMiB},
        {"words of ten kana, 4 MB", "あいうえおかきくけこ", 4 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t one = HostilePeer::EndPointMessage(0, c.label, 1).size();
        const std::size_t perWord = HostilePeer::EndPointMessage(0, c.label, 2).size() - one;
        HostilePeer::Options options;
        options.count = 1;
        options.text = c.label;
        options.words = c.messageSize > one ? 1 + (c.messageSize - one) / perWord : 1;
        options.answerDuringFlood = true;
        const std::size_t size = HostilePeer::EndPointMessage(0, c.label, options.words).size();
        HostilePeer peer(options);
        // The whole message must arrive within the receive time: far more than a loaded
        // machine needs for 16 MB.
        Client client(peer, "30000");
        client.listener.readForms = true;
        client.Connect();
        client.recognizer->Recognize();
        HeapPeak heap;
        client.recognizer->AsyncComplete();
        ASSERT_TRUE(WaitFor([&] { return client.listener.Count() == 1; }, std::chrono::seconds(60)))
            << "completion: " << CatchClientError([&] { client.recognizer->Complete(0.001); });
        heap.Stop();
        EXPECT_EQ(options.words * c.label.size(), client.listener.textBytes);
        if (kHeapMeasured) {
            EXPECT_LT(heap.Growth(), size * 4) << size;
        }
        EXPECT_TRUE(client.ReleaseWithin(std::chrono::seconds(5)));
    }
}

} // namespace
