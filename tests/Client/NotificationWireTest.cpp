#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Utility/TextEncoding.h"
#include "support/ClientConnection.h"
#include "support/RecordingListeners.h"
#include "support/WaitFor.h"
#include "support/loopback/LoopbackServer.h"

namespace {

using Orvane::Test::ClientConnection;
using Orvane::Test::EventLog;
using Orvane::Test::RecordingGrammarListener;
using Orvane::Test::RecordingRecognizerListener;
using Orvane::Test::Loopback::LoopbackServer;
using Orvane::Test::Loopback::Notice;
using Orvane::Test::Loopback::ResultSentence;

const std::vector<ResultSentence> kTodayIs = {{-10.5, {{"今日;きょう", "ky o u", 0, 10, 1}, {"は", "w a", 10, 20, 2}}}};

// Notifications from the loopback server over TCP, through the HTTP controller, to a
// notification handler and recording listeners.
class NotificationWireTest : public ::testing::Test {
protected:
    void SetUp() override { server_.Start(); }

    void TearDown() override { client_.reset(); }

    void Connect(int encodingMode = 2, int responseTimer = -1)
    {
        ClientConnection::Options options;
        options.port = server_.Port();
        options.encodingMode = encodingMode;
        options.responseTimer = responseTimer;
        client_.reset(new ClientConnection(options));
        client_->AttachHandler([this](Orvane::Client::Exception* error) {
            events_.Add(error ? "hook " + Orvane::Test::Describe(error) : "hook");
        });
        client_->handler->SetListener(&recognizer_);
        client_->handler->SetGrammarListener("", &grammar_);
        client_->Start();
        // The connection is accepted once the first call arrives.
        client_->sender->Send("CreateRecognizer", "", "", Orvane::Utility::Xml::Node::CreateInstance("ArgumentList"));
    }

    LoopbackServer server_;
    EventLog events_;
    RecordingGrammarListener grammar_{events_};
    RecordingRecognizerListener recognizer_{events_};
    std::unique_ptr<ClientConnection> client_;
};

// Each request is answered with the 120-byte "return" part as soon as it is queued, while
// a listener is still busy with an earlier one.
TEST_F(NotificationWireTest, AcknowledgementComesBeforeTheListenerReturns)
{
    Connect();
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    grammar_.action = [&] { std::lock_guard<std::mutex> pass(gate); };
    server_.Notify(Notice::EndPoint("G", 1.5, kTodayIs));
    server_.Notify(Notice::SentenceEnd());
    server_.Notify(Notice::Completed());
    ASSERT_TRUE(events_.WaitForCount(1));  // the end point's listener is inside its call
    ASSERT_TRUE(server_.WaitForAcknowledgements(3));
    EXPECT_EQ(1u, events_.Count());
    closed.unlock();
    ASSERT_TRUE(events_.WaitForCount(4));
    EXPECT_EQ((std::vector<std::string>{"EndPoint 1.5 1 今日は", "SentenceEnd", "hook", "Completed"}), events_.Events());

    const auto seen = server_.Snapshot();
    EXPECT_EQ("", seen.AllProblems());  // each answer byte-exact: one 120-byte part
    for (const auto& answer : seen.Acknowledgements()) {
        EXPECT_EQ("1", answer.success);
        ASSERT_EQ(1u, answer.http.parts.size());
        EXPECT_EQ(120u, answer.http.parts[0].Raw().size());
    }
}

TEST_F(NotificationWireTest, ManyNotificationsKeepTheirOrder)
{
    Connect();
    const int count = 200;
    for (int i = 0; i < count; ++i) {
        server_.Notify(Notice::StartPoint("G", i));
    }
    ASSERT_TRUE(events_.WaitForCount(count));
    const std::vector<std::string> events = events_.Events();
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ("StartPoint " + std::to_string(i), events[i]);
    }
    EXPECT_TRUE(server_.WaitForAcknowledgements(count));
}

// A request that cannot be read is answered with Success "0" and dropped; the connection
// and later notifications carry on.
TEST_F(NotificationWireTest, UnreadableRequestsAreAnsweredWithZero)
{
    Connect();
    Notice noParts = Notice::Completed();
    noParts.parts.clear();
    server_.Notify(noParts);
    server_.Notify(Notice::Raw("<Notification><Kind>RecognizerListener::Completed</Kind>"));
    server_.Notify(Notice::SentenceEnd().WithMethod("GET"));
    ASSERT_TRUE(server_.WaitForAcknowledgements(3));
    ASSERT_TRUE(events_.WaitForCount(1));
    const auto seen = server_.Snapshot();
    EXPECT_EQ("", seen.AllProblems());
    const auto answers = seen.Acknowledgements();
    EXPECT_EQ("0", answers[0].success);
    EXPECT_EQ("0", answers[1].success);
    EXPECT_EQ("1", answers[2].success);
    EXPECT_EQ(std::vector<std::string>{"SentenceEnd"}, events_.Events());
}

// In Shift_JIS mode the texts of results and server errors arrive converted.
TEST_F(NotificationWireTest, ShiftJisMode)
{
    Connect(1);
    server_.Notify(Notice::EndPoint("G", 2, kTodayIs));
    server_.Notify(Notice::Error("認識サーバ", 9, "失敗しました"));
    ASSERT_TRUE(events_.WaitForCount(3));
    using Orvane::Utility::Utf8ToSjis;
    EXPECT_EQ((std::vector<std::string>{"EndPoint 2 1 " + Utf8ToSjis("今日は"),
                                        "hook " + Utf8ToSjis("認識サーバ") + " 9 " + Utf8ToSjis("失敗しました"),
                                        "Error " + Utf8ToSjis("認識サーバ") + " 9 " + Utf8ToSjis("失敗しました")}),
              events_.Events());
}

// The end of the connection and a transport failure reach the completion hook.
TEST_F(NotificationWireTest, ConnectionFailuresReachTheHook)
{
    Connect();
    server_.Close();
    ASSERT_TRUE(events_.WaitForCount(1));
    EXPECT_EQ("hook Orvane::Client 5006 コネクションが切断されました。", events_.Events()[0]);

    events_.Clear();
    Connect(2, 300);
    ASSERT_TRUE(events_.WaitForCount(1));  // nothing more arrives: the response-wait timer ends it
    EXPECT_EQ("hook Orvane::Client 5002 通信で異常が発生しました。詳細=Connection timed out", events_.Events()[0]);
}

} // namespace
