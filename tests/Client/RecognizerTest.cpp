#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "support/ClientError.h"
#include "support/ConnectedRecognizer.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;
using Orvane::Client::Recognizer;

const std::string kInternal = "内部エラーが発生しました。詳細=";
const std::string kState = "状態が不正です。詳細=";
const std::string kTimedOut = "音声認識処理がタイムアウトしました。";
const std::string kAborted = kInternal + "音声認識の完了中に中断されました。";

class RecognizerTest : public ::testing::Test, protected ConnectedRecognizer {
protected:
    // Brings the recognizer into state 0, 1 or 2.
    void Enter(int state)
    {
        if (state >= Recognizer::Recognizing) {
            recognizer->Recognize();
        }
        if (state == Recognizer::Completing) {
            recognizer->AsyncComplete();
        }
        ASSERT_EQ(state, State());
    }

    // Runs Complete on a thread of its own; the result is what it threw.
    std::future<ClientError> CompleteOnAnotherThread(double seconds)
    {
        return std::async(std::launch::async,
                          [this, seconds] { return CatchClientError([&] { recognizer->Complete(seconds); }); });
    }

    bool WaitForWaiters(int count)
    {
        return WaitFor([&] { return Client().GetWaiterCount() == count; });
    }
};

TEST_F(RecognizerTest, StateTable)
{
    struct Operation {
        const char* name;
        std::function<void(Orvane::Recognizer&)> run;
        const char* sends; // the remote method, "audio" for a speech post
    };
    const Operation operations[] = {
        {"Recognize", [](Orvane::Recognizer& r) { r.Recognize(); }, "Recognizer::Recognize"},
        {"PatternMatch", [](Orvane::Recognizer& r) { r.PatternMatch(); }, "Recognizer::PatternMatch"},
        {"AsyncComplete", [](Orvane::Recognizer& r) { r.AsyncComplete(); }, "Recognizer::AsyncComplete"},
        {"Complete(0.05)", [](Orvane::Recognizer& r) { r.Complete(0.05); }, "Recognizer::AsyncComplete"},
        {"Abort", [](Orvane::Recognizer& r) { r.Abort(); }, "Recognizer::Abort"},
        {"Resume", [](Orvane::Recognizer& r) { r.Resume(); }, "Recognizer::Resume"},
        {"SetParameter", [](Orvane::Recognizer& r) { r.SetParameter("RODI:A", "1"); }, "Recognizer::SetParameter"},
        {"PushSpeech", [](Orvane::Recognizer& r) { r.PushSpeech("\x01\x02", 2); }, "audio"},
    };
    enum { Recognize, PatternMatch, AsyncComplete, Complete, Abort, Resume, SetParameter, PushSpeech };
    struct Row {
        int operation;
        int state;
        int error;          // 0: none
        std::string detail; // of error 2000, or the message of another error
        bool sent;
        int stateAfter;
    } rows[] = {
        {Recognize, 0, 0, "", true, 1},
        {Recognize, 1, 2000, "Recognizeリクエストを実行できる状態ではありません。", false, 1},
        {Recognize, 2, 2000, "Recognizeリクエストを実行できる状態ではありません。", false, 2},
        {PatternMatch, 0, 0, "", true, 1},
        {PatternMatch, 1, 2000, "PatternMatchリクエストを実行できる状態ではありません。", false, 1},
        {PatternMatch, 2, 2000, "PatternMatchリクエストを実行できる状態ではありません。", false, 2},
        {AsyncComplete, 0, 2000, "AsyncCompleteリクエストを実行できる状態ではありません。", false, 0},
        {AsyncComplete, 1, 0, "", true, 2},
        {AsyncComplete, 2, 0, "", false, 2},
        {Complete, 0, 2000, "Completeリクエストを実行できる状態ではありません。", false, 0},
        {Complete, 1, 3002, kTimedOut, true, 2},
        {Complete, 2, 3002, kTimedOut, false, 2},
        {Abort, 0, 2000, "Abortリクエストを実行できる状態ではありません。", false, 0},
        {Abort, 1, 0, "", true, 0},
        {Abort, 2, 0, "", true, 0},
        {Resume, 0, 0, "", true, 0},
        {Resume, 1, 0, "", true, 1},
        {Resume, 2, 0, "", true, 2},
        {SetParameter, 0, 0, "", true, 0},
        {SetParameter, 2, 0, "", true, 2},
        {PushSpeech, 0, 0, "", true, 0},
        {PushSpeech, 2, 0, "", true, 2},
    };
    for (const Row& row : rows) {
        const Operation& operation = operations[row.operation];
        SCOPED_TRACE(std::string(operation.name) + " in state " + std::to_string(row.state));
        // A fresh recognizer on the same server for each row.
        recognizer.reset(session->Connect(nullptr));
        Enter(row.state);
        const Recording before = server.Snapshot();
        const ClientError caught = CatchClientError([&] { operation.run(*recognizer); });
        if (row.error == 0) {
            EXPECT_FALSE(caught.thrown) << caught;
        } else {
            EXPECT_EQ(row.error, caught.number) << caught;
            EXPECT_EQ(row.error == 2000 ? kState + row.detail : row.detail, caught.message);
        }
        const std::string sends = operation.sends;
        if (sends == "audio") {
            EXPECT_TRUE(server.WaitUntil([&](const Recording& seen) {
                return seen.Count(MessageKind::Audio) == before.Count(MessageKind::Audio) + 1;
            }));
        } else {
            EXPECT_EQ(before.CallCount(sends) + (row.sent ? 1 : 0), Calls(sends));
            EXPECT_EQ(before.messages.size() + (row.sent ? 1 : 0), ReceivedCount());
        }
        EXPECT_EQ(row.stateAfter, State());
        EXPECT_EQ(0, Client().GetWaiterCount());
    }
    EXPECT_EQ("", server.Snapshot().AllProblems());
}

TEST_F(RecognizerTest, ACompletionEventOutsideTheCompletingStateChangesNothing)
{
    Client().ExecuteCompletedEvent(nullptr);
    EXPECT_EQ(Recognizer::Idle, State());
    recognizer->Recognize();
    server.Notify(Notice::Completed());
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ(Recognizer::Recognizing, State());
}

TEST_F(RecognizerTest, ATimedOutCompleteLeavesTheCompletionToALaterEvent)
{
    Enter(Recognizer::Recognizing);
    const auto start = std::chrono::steady_clock::now();
    const ClientError caught = CatchClientError([&] { recognizer->Complete(0.5); });
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(3002, caught.number) << caught;
    EXPECT_EQ(kTimedOut, caught.message);
    EXPECT_EQ(Recognizer::Completing, State());
    EXPECT_EQ(0, Client().GetWaiterCount());

    server.Notify(Notice::Completed());
    ASSERT_TRUE(WaitFor([&] { return State() == Recognizer::Idle; }));
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ("Completed", log.Events()[0]);

    // The next recognition completes normally, waiting without a limit.
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::Completed()));
    recognizer->Recognize();
    recognizer->Complete();
    EXPECT_EQ(Recognizer::Idle, State());
}

// Complete(seconds) must never convert NaN, a negative or a huge wait out of range.
TEST_F(RecognizerTest, WaitsThatAreNotANumberNegativeOrHugeStayInRange)
{
    const double nothing[] = {std::nan(""), -1.0, -std::numeric_limits<double>::infinity()};
    for (double seconds : nothing) {
        SCOPED_TRACE(seconds);
        Enter(Recognizer::Recognizing);
        EXPECT_EQ(3002, CatchClientError([&] { recognizer->Complete(seconds); }).number);
        server.Notify(Notice::Completed());
        ASSERT_TRUE(WaitFor([&] { return State() == Recognizer::Idle; }));
    }
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::Completed()));
    const double huge[] = {1e10, 1e300, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::max()};
    for (double seconds : huge) {
        SCOPED_TRACE(seconds);
        Enter(Recognizer::Recognizing);
        EXPECT_FALSE(CatchClientError([&] { recognizer->Complete(seconds); }).thrown);
        EXPECT_EQ(Recognizer::Idle, State());
    }
}

TEST_F(RecognizerTest, AbortFromAnotherThreadEndsAWaitingComplete)
{
    Enter(Recognizer::Recognizing);
    std::future<ClientError> completing = CompleteOnAnotherThread(0.0);
    ASSERT_TRUE(WaitForWaiters(1));
    ASSERT_EQ(1u, Calls("Recognizer::AsyncComplete"));
    recognizer->Abort();
    const ClientError caught = completing.get();
    EXPECT_EQ(7000, caught.number) << caught;
    EXPECT_EQ(kAborted, caught.message);
    EXPECT_EQ(Recognizer::Idle, State());
    EXPECT_EQ(0, Client().GetWaiterCount());
    EXPECT_EQ(1u, Calls("Recognizer::Abort"));
}

// A completion that ended while the waiter could not yet take the lock back, with its
// deadline passed meanwhile, was reported as a time-out.
TEST_F(RecognizerTest, ACompletionThatArrivesAtTheDeadlineIsNoTimeOut)
{
    Enter(Recognizer::Completing);
    server.SetReply("Recognizer::Abort", Reply::Ok().Held());
    const auto start = std::chrono::steady_clock::now();
    const double seconds = 1.0;
    std::future<ClientError> completing = CompleteOnAnotherThread(seconds);
    ASSERT_TRUE(WaitForWaiters(1));
    // Abort takes the lock and keeps it while its reply is held back.
    std::future<ClientError> aborting =
        std::async(std::launch::async, [this] { return CatchClientError([&] { recognizer->Abort(); }); });
    ASSERT_TRUE(server.WaitForHeld(1));
    ASSERT_EQ(std::future_status::timeout, completing.wait_for(std::chrono::seconds(0)))
        << "the wait ended before the abort held the lock; the machine is too slow for this test";
    ASSERT_TRUE(WaitFor([&] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(1200); }));
    ASSERT_TRUE(server.ReleaseHeld());
    EXPECT_FALSE(aborting.get().thrown);
    const ClientError caught = completing.get();
    EXPECT_EQ(7000, caught.number) << caught;
    EXPECT_EQ(kAborted, caught.message);
    EXPECT_EQ(Recognizer::Idle, State());
}

TEST_F(RecognizerTest, AnErrorEndingACompletionFailsOnlyThatRecognition)
{
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::Error("Srv", 12, "busy")));
    Enter(Recognizer::Recognizing);
    ClientError caught = CatchClientError([&] { recognizer->Complete(); });
    EXPECT_EQ(7000, caught.number) << caught;
    EXPECT_EQ(kInternal + "音声認識の完了中に例外が発生しました。エラー種別=Srv エラー番号=12 メッセージ=busy",
              caught.message);
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ("Error Srv 12 busy", log.Events()[0]);

    // A new recognition starts with no error of the last one.
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::Completed()));
    Enter(Recognizer::Recognizing);
    EXPECT_FALSE(CatchClientError([&] { recognizer->Complete(); }).thrown);

    // The same after an aborted completion.
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok());
    Enter(Recognizer::Completing);
    recognizer->Abort();
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::Completed()));
    Enter(Recognizer::Recognizing);
    EXPECT_FALSE(CatchClientError([&] { recognizer->Complete(); }).thrown);
}

TEST_F(RecognizerTest, TheEndOfTheConnectionEndsAWaitingComplete)
{
    Enter(Recognizer::Completing);
    std::future<ClientError> completing = CompleteOnAnotherThread(0.0);
    ASSERT_TRUE(WaitForWaiters(1));
    server.Close();
    const ClientError caught = completing.get();
    EXPECT_EQ(7000, caught.number) << caught;
    EXPECT_EQ(kInternal +
                  "音声認識の完了中に例外が発生しました。エラー種別=Orvane::Client エラー番号=5006 "
                  "メッセージ=コネクションが切断されました。",
              caught.message);
    EXPECT_EQ(Recognizer::Idle, State());
}

TEST_F(RecognizerTest, ParametersGoToTheServerAndComeBack)
{
    recognizer->SetParameter("RODI:Speed", "fast");
    EXPECT_EQ((std::vector<std::string>{"RODI:Speed", "fast"}), LastCall("Recognizer::SetParameter").Arguments("String"));
    EXPECT_STREQ("fast", recognizer->GetParameter("RODI:Speed"));
    EXPECT_EQ(std::vector<std::string>{"RODI:Speed"}, LastCall("Recognizer::GetParameter").Arguments("String"));

    struct Case {
        const char* label;
        std::function<void()> run;
        std::string message;
    } cases[] = {
        {"set, null name", [&] { recognizer->SetParameter(nullptr, "1"); }, kInternal + "パラメータ名が指定されていません。"},
        {"set, empty name and value", [&] { recognizer->SetParameter("", ""); },
         kInternal + "パラメータ名が指定されていません。"},
        {"set, null value", [&] { recognizer->SetParameter("a", nullptr); }, kInternal + "パラメータ値が指定されていません。"},
        {"set, empty value", [&] { recognizer->SetParameter("a", ""); }, kInternal + "パラメータ値が指定されていません。"},
        {"set, session parameter", [&] { recognizer->SetParameter("QUOR:ConnectTimer", "1"); },
         kInternal + "不正なパラメータが指定されました。"},
        {"get, null name", [&] { recognizer->GetParameter(nullptr); }, kInternal + "パラメータ名が指定されていません。"},
        {"get, empty name", [&] { recognizer->GetParameter(""); }, kInternal + "パラメータ名が指定されていません。"},
        {"get, session parameter", [&] { recognizer->GetParameter("QUOR:"); }, kInternal + "不正なパラメータが指定されました。"},
    };
    const std::size_t received = ReceivedCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ClientError caught = CatchClientError(c.run);
        EXPECT_EQ(7000, caught.number) << caught;
        EXPECT_EQ(c.message, caught.message);
    }
    EXPECT_EQ(received, ReceivedCount());

    const char* const missing = "受信したレスポンスに期待されたノードが存在しません。";
    server.QueueReply("Recognizer::GetParameter", Reply::Ok());
    ClientError caught = CatchClientError([&] { recognizer->GetParameter("a"); });
    EXPECT_EQ(4001, caught.number) << caught;
    EXPECT_EQ(missing, caught.message);
    server.QueueReply("Recognizer::GetParameter", Reply::Documents({"<Response><Success>1</Success></Response>"}));
    caught = CatchClientError([&] { recognizer->GetParameter("a"); });
    EXPECT_EQ(4001, caught.number) << caught;

    server.QueueReply("Recognizer::SetParameter", Reply::Failure("Srv", 3, "no"));
    caught = CatchClientError([&] { recognizer->SetParameter("a", "b"); });
    EXPECT_EQ("Srv 3 no", caught.type + " " + std::to_string(caught.number) + " " + caught.message);
}

TEST_F(RecognizerTest, SpeechIsPostedInOrderAndAnEmptyPushIsRefused)
{
    const std::string first("\x00\x01\x02\x03", 4);
    const std::string second(6400, '\x7f');
    recognizer->PushSpeech(first.data(), static_cast<unsigned int>(first.size()));
    recognizer->PushSpeech(second.data(), static_cast<unsigned int>(second.size()));
    ASSERT_TRUE(server.WaitForAudioBytes(first.size() + second.size()));
    const Recording seen = server.Snapshot();
    EXPECT_EQ(first + second, seen.Audio());
    EXPECT_EQ(2u, seen.Count(MessageKind::Audio));
    EXPECT_EQ("", seen.AllProblems());

    const std::string prefix = kInternal + "音声データの登録に失敗しました。";
    ClientError caught = CatchClientError([&] { recognizer->PushSpeech(first.data(), 0); });
    EXPECT_EQ(7000, caught.number) << caught;
    EXPECT_EQ(0u, caught.message.find(prefix)) << caught;
    caught = CatchClientError([&] { recognizer->PushSpeech(nullptr, 4); });
    EXPECT_EQ(7000, caught.number) << caught;
    EXPECT_EQ(0u, caught.message.find(prefix)) << caught;
    EXPECT_EQ(seen.messages.size(), ReceivedCount());
}

TEST_F(RecognizerTest, SpeechAfterTheEndOfTheConnectionIsACommunicationError)
{
    EventLog sessionLog;
    RecordingSessionListener sessionListener(sessionLog);
    recognizer.reset();
    session->SetListener(&sessionListener);
    recognizer.reset(session->Connect(nullptr));
    server.Close();
    ASSERT_TRUE(sessionLog.WaitForCount(1));
    const ClientError caught = CatchClientError([&] { recognizer->PushSpeech("ab", 2); });
    EXPECT_EQ(5002, caught.number) << caught;
    EXPECT_EQ(0u, caught.message.find("通信で異常が発生しました。詳細=")) << caught;
    recognizer.reset();
    session->SetListener(nullptr);
}

TEST_F(RecognizerTest, UnsupportedOperationsAreRefusedInEveryState)
{
    const std::function<void(Orvane::Recognizer&)> operations[] = {
        [](Orvane::Recognizer& r) { r.SetParameterFile("f"); },
        [](Orvane::Recognizer& r) { r.PushFeatureParameter(1, 2, nullptr, true); },
        [](Orvane::Recognizer& r) { r.SetPatternMatchModel(nullptr); },
        [](Orvane::Recognizer& r) { r.Record(); },
        [](Orvane::Recognizer& r) { r.GetWaveform(); },
        [](Orvane::Recognizer& r) { r.GetAnalyzeParameter("x"); },
        [](Orvane::Recognizer& r) { r.SetPortNo(1); },
        [](Orvane::Recognizer& r) { r.NotifyStartable(); },
    };
    for (int state : {0, 1, 2}) {
        recognizer.reset(session->Connect(nullptr));
        Enter(state);
        const std::size_t received = ReceivedCount();
        for (std::size_t i = 0; i < sizeof(operations) / sizeof(operations[0]); ++i) {
            SCOPED_TRACE("operation " + std::to_string(i) + " in state " + std::to_string(state));
            const ClientError caught = CatchClientError([&] { operations[i](*recognizer); });
            EXPECT_EQ(7001, caught.number) << caught;
            EXPECT_EQ("指定された処理は未サポートです。", caught.message);
        }
        EXPECT_EQ(received, ReceivedCount());
        EXPECT_EQ(state, State());
    }
}

TEST_F(RecognizerTest, ReleaseTellsTheServerAndClosesTheConnection)
{
    recognizer.reset();
    EXPECT_EQ(1u, Calls("Recognizer::Release"));
    EXPECT_FALSE(LastCall("Recognizer::Release").hasTarget);
    EXPECT_TRUE(server.WaitForPeerClosed(0));
}

TEST_F(RecognizerTest, ReleaseFromInsideAListenerCallOnTheNotificationThread)
{
    std::promise<void> released;
    listener.action = [&] {
        if (recognizer) {
            recognizer.reset();
            released.set_value();
        }
    };
    server.Notify(Notice::SentenceEnd());
    ASSERT_EQ(std::future_status::ready, released.get_future().wait_for(std::chrono::seconds(10)));
    EXPECT_EQ(1u, Calls("Recognizer::Release"));
    EXPECT_TRUE(server.WaitForPeerClosed(0));
}

TEST_F(RecognizerTest, ReleaseEndsEvenWhenTheServerDoesNotAnswer)
{
    // The fixture's recognizer goes first, answered.
    recognizer.reset();
    // The response wait counts from the last bytes received, here the reply to the
    // connect: long enough for a loaded machine to send the release within it.
    session->SetParameter("QUOR:ResponseTimer", "3000");
    recognizer.reset(session->Connect(nullptr));
    server.SetReply("Recognizer::Release", Reply::Silent());
    const std::size_t released = Calls("Recognizer::Release");
    recognizer.reset();
    // The release gave up, possibly before the server had read the call.
    EXPECT_TRUE(WaitFor([&] { return Calls("Recognizer::Release") == released + 1; }));
    EXPECT_TRUE(server.WaitForPeerClosed(1));
}

} // namespace
