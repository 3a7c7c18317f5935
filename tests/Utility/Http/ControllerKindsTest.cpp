// The HTTP controller over both connection kinds: the client's requests and the server's
// requests on one connection, pipelined reads, the end of the connection as close or
// error, the timers, and a stop from inside a listener.

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
#include "Utility/Http/Parser.h"
#include "Utility/Http/StatusCode.h"
#include "support/ConnectionRigs.h"
#include "support/ControllerRig.h"
#include "support/FinishesWithin.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::ClientPart;
using Orvane::Test::ControllerRig;
using Orvane::Test::ControllerTimers;
using Orvane::Test::ErrorCallText;
using Orvane::Test::FinishesWithin;
using Orvane::Test::ListenerCall;
using Orvane::Test::ListenerLog;
using Orvane::Test::Notification;
using Orvane::Test::Parts;
using Orvane::Test::Reply;
using Orvane::Test::TcpRig;
using Orvane::Test::WaitFor;
using Orvane::Test::WsRig;
using Orvane::Utility::Http::Controller;
using Orvane::Utility::Http::RequestInformation;
using Orvane::Utility::Http::Respondent;
using Orvane::Utility::Http::ResponseInformation;

const boost::system::error_code kTimedOut(ETIMEDOUT, boost::system::system_category());
const boost::system::error_code kThreadFailed(Orvane::Utility::ErrorCategory::ThreadFailed,
                                              Orvane::Utility::ErrorCategory::GetInstance());
const boost::system::error_code kMalformed(Orvane::Utility::ErrorCategory::MessageMalformed,
                                           Orvane::Utility::ErrorCategory::GetInstance());
const boost::system::error_code kStalled(Orvane::Utility::ErrorCategory::MessageStalled,
                                         Orvane::Utility::ErrorCategory::GetInstance());
const boost::system::error_code kTruncated(Orvane::Utility::ErrorCategory::MessageTruncated,
                                           Orvane::Utility::ErrorCategory::GetInstance());
const boost::system::error_code kTooLarge(Orvane::Utility::ErrorCategory::MessageTooLarge,
                                          Orvane::Utility::ErrorCategory::GetInstance());

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The one end that a listener heard of: "closed", or "error <kind> <category>:<value>".
std::string EndOf(const ListenerLog& log)
{
    std::string end;
    for (const ListenerCall& call : log.Calls()) {
        if (call.name == "closed" || call.name == "error") {
            end += (end.empty() ? "" : ", ") + call.Describe();
        }
    }
    return end;
}

template <typename Rig>
class ControllerKindsTest : public ::testing::Test {};

typedef ::testing::Types<TcpRig, WsRig> ConnectionKinds;
TYPED_TEST_SUITE(ControllerKindsTest, ConnectionKinds);

TYPED_TEST(ControllerKindsTest, ARequestAndAServerRequestShareTheConnection)
{
    ControllerRig<TypeParam> c;
    const std::string answer = ClientPart("return", "<Return/>");
    c.requests->SetReceivedHook([&](Respondent& respondent, const RequestInformation&) {
        respondent.Send(Parts(answer));
    });
    c.controller->Start();
    const std::thread::id testThread = std::this_thread::get_id();

    // The client's remote call and its reply.
    const std::string call = ClientPart("call", "<Request method=\"CreateRecognizer\"/>");
    c.controller->GetRequester()->Send("/call", Parts(call));
    const std::string request = c.PeerReceivesMessage();
    EXPECT_EQ(0u, request.find("POST /call HTTP/1.0\r\n")) << request;
    EXPECT_TRUE(Contains(request, "\r\nUser-Agent: TessivalTest/1.0\r\n")) << request;
    EXPECT_TRUE(Contains(request, call)) << request;
    c.rig.PeerSends(Reply("<Response/>"));
    ASSERT_TRUE(c.responses->WaitForCount("received", 1));

    // The server's own request on the same connection, answered from the listener.
    c.rig.PeerSends(Notification("<Notification/>"));
    const std::string reply = c.PeerReceivesMessage();
    EXPECT_EQ(0u, reply.find("HTTP/1.0 200 OK\r\n")) << reply;
    EXPECT_TRUE(Contains(reply, "\r\nUser-Agent: TessivalTest/1.0\r\n")) << reply;
    EXPECT_TRUE(Contains(reply, answer)) << reply;

    // Both kinds of message in one read.
    c.rig.PeerSends(Reply("a") + Notification("b") + Reply("c"));
    ASSERT_TRUE(c.responses->WaitForCount("received", 3));
    ASSERT_TRUE(c.requests->WaitForCount("received", 2));
    EXPECT_TRUE(Contains(c.PeerReceivesMessage(), answer));

    EXPECT_EQ((std::vector<std::string>{"200 <Response/>", "200 a", "200 c"}), c.responses->Texts());
    EXPECT_EQ((std::vector<std::string>{"POST /notify <Notification/>", "POST /notify b"}), c.requests->Texts());
    for (const ListenerCall& received : c.responses->Calls()) {
        EXPECT_NE(testThread, received.thread);
    }
    EXPECT_EQ("", EndOf(*c.responses));
    EXPECT_EQ("", EndOf(*c.requests));
}

TYPED_TEST(ControllerKindsTest, PipelinedAndOversizedReadsAreConsumedAndTheRestWaits)
{
    struct Case {
        const char* name;
        int replies;            // small replies ahead of the notification in the first read
        std::size_t replySize;  // data bytes of each reply
    };
    const Case cases[] = {
        {"many small messages and the start of another", 300, 8},
        {"one message larger than the receive buffer", 1, 100000},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ControllerRig<TypeParam> c;
        c.controller->Start();
        std::string first;
        std::vector<std::string> expected;
        for (int i = 0; i < row.replies; ++i) {
            const std::string data = std::to_string(i) + std::string(row.replySize, 'x');
            first += Reply(data);
            expected.push_back("200 " + data);
        }
        const std::string notification = Notification("<Notification/>");
        c.rig.PeerSends(first + notification.substr(0, 10));
        ASSERT_TRUE(c.responses->WaitForCount("received", expected.size()));
        // The start of the notification waited at the front of the buffer for its rest.
        c.rig.PeerSends(notification.substr(10));
        ASSERT_TRUE(c.requests->WaitForCount("received", 1));
        c.controller->Stop();
        EXPECT_EQ(expected, c.responses->Texts());
        EXPECT_EQ((std::vector<std::string>{"POST /notify <Notification/>"}), c.requests->Texts());
        // Everything was consumed; a buffer that grew went back to its configured size.
        const auto buffer = c.rig.connection->GetReceiveBuffer();
        EXPECT_EQ(0u, buffer->dataLength);
        EXPECT_EQ(32768u, buffer->storage.size());
        EXPECT_FALSE(c.rig.connection->IsReceiveBufferExtended());
    }
}

TYPED_TEST(ControllerKindsTest, AStalledMessageFailsAsStalledAndItsBufferGoesWithIt)
{
    // A reply that declares 60 MB, brings 1 MB and stalls: the receive time-out says the
    // message stalled, and the buffer that grew for it goes with the failure, not when the
    // controller goes. (The time is above a loaded machine's pauses before the first read.)
    ControllerRig<TypeParam> c(ControllerTimers{1000, 10000, -1});
    c.rig.PeerSends("HTTP/1.0 200 OK\r\nContent-Length: 60000000\r\n\r\n" + std::string(1 << 20, 'b'));
    c.controller->Start();
    ASSERT_TRUE(c.responses->WaitForEnd());
    EXPECT_EQ(ErrorCallText(0, kStalled), EndOf(*c.responses));
    const auto buffer = c.rig.connection->GetReceiveBuffer();
    EXPECT_EQ(0u, buffer->dataLength);
    EXPECT_EQ(32768u, buffer->storage.size());
}

TYPED_TEST(ControllerKindsTest, TheEndReachesEachListenerOnceAsCloseOrError)
{
    struct Case {
        const char* name;
        std::function<void(ControllerRig<TypeParam>&)> end;
        std::string expected;
    };
    const Case cases[] = {
        {"peer closes", [](ControllerRig<TypeParam>& c) { c.rig.PeerCloses(); }, "closed"},
        {"peer resets", [](ControllerRig<TypeParam>& c) { c.rig.PeerResets(); }, "closed"},
        {"owner stops", [](ControllerRig<TypeParam>& c) { c.controller->Stop(); }, "closed"},
        // The loop ends without a report from the connection: its end is the close.
        {"connection closed under the controller", [](ControllerRig<TypeParam>& c) { c.rig.connection->Close(); },
         "closed"},
        {"malformed message", [](ControllerRig<TypeParam>& c) { c.rig.PeerSends("HTTP/1.0 200 OK\nbroken\r\n\r\n"); },
         ErrorCallText(2, kMalformed)},
        {"two Content-Length headers that differ",
         [](ControllerRig<TypeParam>& c) {
             c.rig.PeerSends("HTTP/1.0 200 OK\r\nContent-Length: 1\r\nContent-Length: 5\r\n\r\nabcde");
         },
         ErrorCallText(2, kMalformed)},
        {"message beyond the size limit",
         [](ControllerRig<TypeParam>& c) { c.rig.PeerSends("HTTP/1.0 200 OK\r\nContent-Length: 67108865\r\n\r\n"); },
         ErrorCallText(2, kTooLarge)},
        // The end of the stream cuts the message short: an error, not a close.
        {"peer closes in the middle of a message",
         [](ControllerRig<TypeParam>& c) {
             c.rig.PeerSends(Reply("cut").substr(0, 30));
             c.rig.PeerCloses();
         },
         ErrorCallText(0, kTruncated)},
        // The same when the connection drops in the middle of a WebSocket message's frames
        // (over TCP: of the HTTP message).
        {"connection drops in the middle of a message's frames",
         [](ControllerRig<TypeParam>& c) {
             c.rig.PeerBeginsMessage(Reply("cut").substr(0, 30));
             c.rig.PeerResets();
         },
         ErrorCallText(0, kTruncated)},
        {"listener fails during delivery",
         [](ControllerRig<TypeParam>& c) {
             c.responses->SetReceivedHook(
                 [](const ResponseInformation&) { throw std::runtime_error("listener failed"); });
             c.rig.PeerSends(Reply("fails"));
         },
         ErrorCallText(2, kThreadFailed)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ControllerRig<TypeParam> c;
        c.controller->Start();
        // A first reply shows the controller running.
        c.rig.PeerSends(Reply("first"));
        ASSERT_TRUE(c.responses->WaitForCount("received", 1));
        row.end(c);
        ASSERT_TRUE(c.responses->WaitForEnd());
        ASSERT_TRUE(c.requests->WaitForEnd());
        // A later stop adds nothing.
        c.controller->Stop();
        c.controller->Stop();
        EXPECT_EQ(row.expected, EndOf(*c.responses));
        EXPECT_EQ(row.expected, EndOf(*c.requests));
        // The requester is ended: no request goes out any more.
        try {
            c.controller->GetRequester()->Send("/call", Parts(ClientPart("call", "x")));
            ADD_FAILURE() << "sent after the end";
        } catch (const Orvane::Utility::Exception& e) {
            EXPECT_EQ(2, e.GetErrorNo()) << e.what();
            EXPECT_TRUE(Contains(e.what(), "状態=1")) << e.what();
        }
        try {
            c.controller->SendRequest(boost::shared_ptr<Orvane::Utility::Tcp::Buffer>(
                new Orvane::Utility::Tcp::Buffer(16, reinterpret_cast<const unsigned char*>("x"), 1)));
            ADD_FAILURE() << "sent after the stop";
        } catch (const Orvane::Utility::Exception& e) {
            EXPECT_STREQ("Orvane::Utility::Http", e.GetType());
            EXPECT_EQ(2, e.GetErrorNo());
            EXPECT_STREQ("送信処理を行える状態ではありません。", e.GetErrorMessage());
        }
    }
}

TYPED_TEST(ControllerKindsTest, TimersReportTheirKindOnce)
{
    struct Case {
        const char* name;
        ControllerTimers timers;
        std::function<void(Controller&)> adjust;  // before Start
        std::string sent;                          // sent by the peer before Start
        std::string expected;
    };
    const std::string reply = Reply("<Response/>");
    const auto none = [](Controller&) {};
    const Case cases[] = {
        {"receive timer, nothing arrives", {50, 10000, -1}, none, "", ErrorCallText(0, kTimedOut)},
        {"receive timer set before start", {-1, 10000, -1}, [](Controller& c) { c.SetReceiveTimer(50); }, "",
         ErrorCallText(0, kTimedOut)},
        {"receive timer, message incomplete", {300, 10000, -1}, none, reply.substr(0, 30), ErrorCallText(0, kStalled)},
        // A complete message stops the receive timer; then nothing arrives for the
        // response-wait time.
        {"response wait after a complete message", {2000, 10000, 200}, none, reply, ErrorCallText(2, kTimedOut)},
        {"response wait set before start", {2000, 10000, -1}, [](Controller& c) { c.SetResponseTimer(200); }, reply,
         ErrorCallText(2, kTimedOut)},
        {"response wait shorter than the receive timer", {5000, 10000, 100}, none, reply.substr(0, 30),
         ErrorCallText(2, kTimedOut)},
        // A negative response wait is never armed: the receive timer is what ends it.
        {"negative response wait", {300, 10000, -1}, none, reply.substr(0, 30), ErrorCallText(0, kStalled)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ControllerRig<TypeParam> c(row.timers);
        row.adjust(*c.controller);
        if (!row.sent.empty()) {
            c.rig.PeerSends(row.sent);
        }
        c.controller->Start();
        ASSERT_TRUE(c.responses->WaitForEnd());
        ASSERT_TRUE(c.requests->WaitForEnd());
        c.controller->Stop();
        EXPECT_EQ(row.expected, EndOf(*c.responses));
        EXPECT_EQ(row.expected, EndOf(*c.requests));
    }
}

TYPED_TEST(ControllerKindsTest, AMessageStillArrivingKeepsItsTimeOnlyWhileItProgresses)
{
    // A reply that arrives in pieces (over WebSocket, the frames of one message) after a
    // whole one has stopped the receive timer, against receive and response-wait times of
    // 2 s. Its first bytes arm the receive timer, 64 KiB more arm it again, and every read
    // keeps the response wait going, as no reply is awaited. The pieces are far apart
    // against the timers (a loaded machine may delay one by well over a second), and the
    // trickle lasts three receive times, so each case tells the timers' rule from the pace.
    constexpr int kTimer = 2000;
    struct Case {
        const char* name;
        std::size_t size;
        std::size_t piece;
        std::chrono::milliseconds interval;
        std::string expected;
    };
    const Case cases[] = {
        // A little over 64 KiB every 300 ms: 2.4 s to arrive, and it does.
        {"steady pieces", 9 * 65600 - 200, 65600, std::chrono::milliseconds(300), ""},
        // 1000 bytes every 100 ms are no progress: the receive time ends it before its end.
        {"a trickle", 60000, 1000, std::chrono::milliseconds(100), ErrorCallText(0, kStalled)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string data(row.size, 'p');
        const std::string reply = Reply(data);
        ControllerRig<TypeParam> c(ControllerTimers{kTimer, 10000, kTimer});
        c.controller->Start();
        c.rig.PeerSends(Reply("first"));
        ASSERT_TRUE(c.responses->WaitForCount("received", 1));
        const auto start = std::chrono::steady_clock::now();
        c.rig.PeerSendsPaced(reply, row.piece, row.interval);
        if (row.expected.empty()) {
            ASSERT_TRUE(c.responses->WaitForCount("received", 2)) << EndOf(*c.responses);
            // Longer than a receive time, or the case shows nothing.
            EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kTimer));
            EXPECT_EQ("200 " + data, c.responses->Texts().back());
        } else {
            ASSERT_TRUE(c.responses->WaitForEnd());
        }
        EXPECT_EQ(row.expected, EndOf(*c.responses));
    }
}

// The head of a reply whose whole message, head included, is `size` bytes.
std::string SizedReplyHead(std::size_t size)
{
    const std::string start = "HTTP/1.0 200 OK\r\nContent-Length: ";
    // The length's own digits count: try each count of them.
    for (std::size_t digits = 1;; ++digits) {
        const std::string length = std::to_string(size - start.size() - 4 - digits);
        if (length.size() == digits) {
            return start + length + "\r\n\r\n";
        }
    }
}

TYPED_TEST(ControllerKindsTest, AMessageOfTheLargestSizeArrivesAndOneByteMoreFailsAsTooLarge)
{
    // Each in one piece: over WebSocket one message, which websocketpp limits itself. The
    // 64 MiB take about a second per route in the plain build and several under a
    // sanitizer; the peers send for as long as the client keeps reading.
    const std::size_t largest = Orvane::Utility::Http::Parser::kMaxMessage;
    ControllerRig<TypeParam> c(ControllerTimers{60000, 10000, -1});
    c.controller->Start();
    c.rig.PeerSendsSized(SizedReplyHead(largest), largest);
    ASSERT_TRUE(c.responses->WaitForCount("received", 1, std::chrono::seconds(60))) << EndOf(*c.responses);
    c.rig.PeerSendsSized(SizedReplyHead(largest + 1), largest + 1);
    ASSERT_TRUE(c.responses->WaitForEnd(std::chrono::seconds(60)));
    EXPECT_EQ(ErrorCallText(2, kTooLarge), EndOf(*c.responses));
}

TYPED_TEST(ControllerKindsTest, StopFromAListenerReturnsAtOnceAndEndsTheDeliveries)
{
    ControllerRig<TypeParam> c;
    Controller* controller = c.controller.get();
    std::atomic<bool> stopReturned(false);
    std::thread::id listenerThread;
    c.responses->SetReceivedHook([&](const ResponseInformation&) {
        if (!stopReturned) {
            listenerThread = std::this_thread::get_id();
            controller->Stop();
            stopReturned = true;
        }
    });
    c.controller->Start();
    // Three replies in one read: the listener stops on the first one.
    c.rig.PeerSends(Reply("1") + Reply("2") + Reply("3"));
    ASSERT_TRUE(WaitFor([&] { return stopReturned.load(); }));
    ASSERT_TRUE(c.requests->WaitForEnd());
    EXPECT_TRUE(FinishesWithin([&] { c.controller->Stop(); }));
    EXPECT_EQ((std::vector<std::string>{"200 1"}), c.responses->Texts());
    EXPECT_EQ("received closed", c.responses->Names());
    EXPECT_EQ("closed", c.requests->Names());
    // OnClosed came from the stopping listener's own thread.
    EXPECT_EQ(listenerThread, c.responses->Calls().back().thread);
    EXPECT_EQ(listenerThread, c.requests->Calls().back().thread);
}

} // namespace
