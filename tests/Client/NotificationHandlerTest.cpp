#include "Client/NotificationHandler.h"

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <utility>
#include <dirent.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/ref.hpp>
#include <gtest/gtest.h>

#include "Client/Error.h"
#include "Utility/Http/Parser.h"
#include "Utility/Http/Respondent.h"
#include "support/HttpMocks.h"
#include "support/HttpWire.h"
#include "support/RecordingListeners.h"
#include "support/WaitFor.h"
#include "support/loopback/Notice.h"
#include "support/loopback/ProtocolXml.h"

namespace {

using Orvane::Client::NotificationHandler;
using Orvane::Test::EventLog;
using Orvane::Test::RecordingGrammarListener;
using Orvane::Test::RecordingRecognizerListener;
using Orvane::Test::Loopback::Notice;
using Orvane::Test::Loopback::ProtocolXml;
using Orvane::Test::Loopback::ResultSentence;
using Orvane::Test::Loopback::XmlElement;
using Orvane::Utility::Http::Respondent;

const std::string kSuccessPart = "Content-Disposition: from-data; name=\"return\"; id=1\r\n"
                                 "Content-Length: 45\r\n\r\n"
                                 "<Response>\n\t<Success>1</Success>\n</Response>\n";

const std::vector<ResultSentence> kTodayIs = {{-10.5, {{"今日;きょう", "ky o u", 0, 10, 1}, {"は", "w a", 10, 20, 2}}}};

// The one part of an answer written by the respondent ("" when there is not exactly one).
std::string AnswerPart(const std::string& message)
{
    const std::string::size_type boundaryAt = message.find("boundary=");
    const std::string::size_type lineEnd = message.find("\r\n", boundaryAt);
    if (boundaryAt == std::string::npos || lineEnd == std::string::npos) {
        return "";
    }
    const std::string delimiter = "--" + message.substr(boundaryAt + 9, lineEnd - boundaryAt - 9);
    const std::string::size_type first = message.find(delimiter + "\r\n");
    const std::string::size_type closing = message.find("\r\n" + delimiter + "--\r\n");
    if (first == std::string::npos || closing == std::string::npos) {
        return "";
    }
    const std::string part = message.substr(first + delimiter.size() + 2, closing - first - delimiter.size() - 2);
    return part.find("\r\n" + delimiter) == std::string::npos ? part : "";
}

std::string SuccessOf(const std::string& message)
{
    const std::string part = AnswerPart(message);
    const std::string::size_type at = part.find("<Success>");
    return at == std::string::npos ? "?" : part.substr(at + 9, 1);
}

// Number of threads of this process.
std::size_t ThreadCount()
{
    std::size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    return count;
}

// A handler fed through a real respondent with parsed wire messages, as the receiving
// thread feeds it; answers are kept by a recording send function.
class NotificationHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        respondent_ = Respondent::CreateInstance("127.0.0.1:1", "server");
        respondent_->SetSendFunction(boost::ref(sender_));
        handler_ = NotificationHandler::CreateInstance(
            [this](Orvane::Client::Exception* error) { events_.Add(error ? "hook " + Orvane::Test::Describe(error) : "hook"); },
            2);
        respondent_->SetListener(handler_);
        handler_->SetListener(&recognizer_);
        handler_->SetGrammarListener("", &grammar_);
    }

    void TearDown() override
    {
        respondent_->SetListener(boost::shared_ptr<Orvane::Utility::Http::RequestListener>());
        handler_.reset();
    }

    // One request with one body part per document.
    void Feed(const std::vector<std::string>& documents, const std::string& method = "POST")
    {
        std::vector<Orvane::Test::WirePart> parts;
        for (const std::string& document : documents) {
            parts.push_back(Orvane::Test::MakeWirePart("notification", document));
        }
        FeedWire(Orvane::Test::MultipartMessage(method + " / HTTP/1.0", "b0undary", parts));
    }

    void Feed(const Notice& notice) { Feed(notice.parts, notice.method); }

    void FeedWire(const std::string& wire)
    {
        Orvane::Utility::Http::Parser parser;
        const auto* bytes = reinterpret_cast<const unsigned char*>(wire.data());
        parser.ParseMessages(bytes, static_cast<unsigned int>(wire.size()),
                             [&](unsigned int) { respondent_->NotifyReceived(*parser.CompletedRequest()); });
    }

    std::vector<std::string> Acknowledgements() const
    {
        std::vector<std::string> successes;
        for (const std::string& message : sender_.Messages()) {
            successes.push_back(SuccessOf(message));
        }
        return successes;
    }

    // Feeds a sentence end and waits for it: every event so far, that one included.
    std::vector<std::string> Drained()
    {
        const std::size_t before = events_.Count();
        Feed(Notice::SentenceEnd());
        EXPECT_TRUE(Orvane::Test::WaitFor([&] {
            const auto events = events_.Events();
            return events.size() > before && events.back() == "SentenceEnd";
        }));
        return events_.Events();
    }

    // The events that one request with these documents caused.
    std::vector<std::string> EventsOf(const std::vector<std::string>& documents)
    {
        const std::size_t before = Drained().size();
        Feed(documents);
        std::vector<std::string> events = Drained();
        events.erase(events.begin(), events.begin() + before);
        events.pop_back();
        return events;
    }

    EventLog events_;
    RecordingGrammarListener grammar_{events_};
    RecordingRecognizerListener recognizer_{events_};
    Orvane::Test::RecordingSender sender_;
    boost::shared_ptr<Respondent> respondent_;
    boost::shared_ptr<NotificationHandler> handler_;
};

TEST_F(NotificationHandlerTest, EveryKindReachesItsListenerInOrder)
{
    Feed(Notice::StartPoint("G1", 1.5));
    Feed(Notice::TempPoint("G1", 2.25, kTodayIs, "r7"));
    Feed(Notice::EndPoint("G1", 3, kTodayIs));
    Feed(Notice::SentenceEnd());
    Feed(Notice::Match("はい", 0.5));
    Feed(Notice::Error("Server", 12, "混雑しています"));
    Feed(Notice::Completed());
    Feed(Notice::Of(ProtocolXml::Notification("RecognizerListener::Startable", std::nullopt, std::nullopt)));
    Feed(Notice::Completed());
    ASSERT_TRUE(events_.WaitForCount(11));
    const std::vector<std::string> expected = {
        "StartPoint 1.5",
        "TempPoint 2.25 r7 今日は",
        "EndPoint 3 1 今日は",
        "SentenceEnd",
        "Match はい 0.5",
        "hook Server 12 混雑しています",  // the hook before the listener
        "Error Server 12 混雑しています",
        "hook",
        "Completed",
        "hook",  // the kind without a case was only logged
        "Completed",
    };
    EXPECT_EQ(expected, events_.Events());
    EXPECT_EQ(std::vector<std::string>(9, "1"), Acknowledgements());
    ASSERT_FALSE(sender_.Messages().empty());
    EXPECT_EQ(kSuccessPart, AnswerPart(sender_.Messages().front()));
    EXPECT_EQ(120u, kSuccessPart.size());
}

// Several parts, and list roots, queue their notifications in order under one answer.
TEST_F(NotificationHandlerTest, EveryPartIsQueuedInOrder)
{
    const XmlElement first = ProtocolXml::Notification("GrammarListener::StartPoint", std::string("G"),
                                                       XmlElement("ArgumentList", {XmlElement("Double", "1")}));
    const XmlElement second = ProtocolXml::Notification("GrammarListener::StartPoint", std::string("G"),
                                                        XmlElement("ArgumentList", {XmlElement("Double", "2")}));
    const XmlElement list("List", {XmlElement("Item", {second}), XmlElement("Item", {XmlElement("Other")}),
                                   XmlElement("Item", {XmlElement("Note"), first})});
    const std::vector<std::string> events = EventsOf({first.Write(), list.Write(), second.WriteCompact()});
    EXPECT_EQ((std::vector<std::string>{"StartPoint 1", "StartPoint 2", "StartPoint 1", "StartPoint 2"}), events);
    EXPECT_EQ(3u, Acknowledgements().size());  // the request and the two sentence ends around it
}

// Requests that cannot be read are answered with "0" and dropped; the parts before a bad
// one stay queued, and later requests still work.
TEST_F(NotificationHandlerTest, UnreadableRequestsAreAnsweredWithZero)
{
    const std::string start = Notice::StartPoint("G", 4).parts[0];
    FeedWire("POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n");  // no body part
    Feed({"<Notification><Kind>x</Kind>"});                      // not well-formed
    Feed({start, "<a><b></a>"});                                  // second part bad
    Feed({"<Notification><Kind>\xff</Kind></Notification>"});     // not UTF-8: fine in UTF-8 mode
    EXPECT_EQ((std::vector<std::string>{"0", "0", "0", "1"}), Acknowledgements());
    EXPECT_EQ((std::vector<std::string>{"StartPoint 4", "SentenceEnd"}), Drained());
}

// A part's document is its data: header lines that look like XML do not reach the parser.
TEST_F(NotificationHandlerTest, PartDataIsTheDocument)
{
    const std::string document = Notice::StartPoint("G", 5).parts[0];
    Orvane::Test::WirePart part = Orvane::Test::MakeWirePart("notification", document);
    part.headers += "X-Note: <Notification>\r\n";
    FeedWire(Orvane::Test::MultipartMessage("POST / HTTP/1.0", "b", {part}));
    EXPECT_EQ(std::vector<std::string>{"1"}, Acknowledgements());
    EXPECT_EQ((std::vector<std::string>{"StartPoint 5", "SentenceEnd"}), Drained());
}

XmlElement Arguments(std::vector<XmlElement> children) { return XmlElement("ArgumentList", std::move(children)); }

std::string Document(const std::string& kind, std::optional<std::string> grammar, std::optional<XmlElement> arguments)
{
    return ProtocolXml::Notification(kind, grammar, arguments).Write();
}

// Malformed notifications reach no listener and no hook; the thread goes on.
TEST_F(NotificationHandlerTest, MalformedNotificationsAreDropped)
{
    const XmlElement nbest = ProtocolXml::Nbest(kTodayIs);
    const XmlElement time("Double", "1");
    XmlElement noId = ProtocolXml::Notification("GrammarListener::StartPoint", std::string("G"), Arguments({time}));
    noId.Child("Target")->Remove("Id");
    struct Case {
        const char* name;
        std::string document;
    };
    const Case cases[] = {
        {"no Kind", "<Notification><ArgumentList><Double>1</Double></ArgumentList></Notification>"},
        {"start point without Target", Document("GrammarListener::StartPoint", std::nullopt, Arguments({time}))},
        {"start point without Id", noId.Write()},
        {"start point without arguments", Document("GrammarListener::StartPoint", "G", std::nullopt)},
        {"two start times", Document("GrammarListener::StartPoint", "G", Arguments({time, time}))},
        {"no start time", Document("GrammarListener::StartPoint", "G", Arguments({}))},
        {"end point with three arguments", Document("GrammarListener::EndPoint", "G", Arguments({time, nbest, time}))},
        {"end point with two times", Document("GrammarListener::EndPoint", "G", Arguments({time, time}))},
        {"end point without arguments", Document("GrammarListener::EndPoint", "G", std::nullopt)},
        {"temporary point without Target", Document("GrammarListener::TempPoint", std::nullopt, Arguments({time, nbest}))},
        {"match without arguments", Document("RecognizerListener::Match", std::nullopt, std::nullopt)},
        {"match with two arguments",
         Document("RecognizerListener::Match", std::nullopt, Arguments({ProtocolXml::Match("a", 1), time}))},
        {"error without arguments", Document("RecognizerListener::Error", std::nullopt, std::nullopt)},
        {"error without Exception", Document("RecognizerListener::Error", std::nullopt, Arguments({time}))},
        {"error number not a number",
         Document("RecognizerListener::Error", std::nullopt, Arguments({ProtocolXml::Exception("T", "12x", "m")}))},
        {"error without Type",
         Document("RecognizerListener::Error", std::nullopt,
                  Arguments({XmlElement("Exception", {XmlElement("Errno", "1"), XmlElement("Errmsg", "m")})}))},
        {"unknown kind", Document("RecognizerListener::Startable", std::nullopt, std::nullopt)},
        {"kind in other letter case", Document("recognizerlistener::completed", std::nullopt, std::nullopt)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::vector<std::string>(), EventsOf({c.document}));
    }
    EXPECT_EQ(std::vector<std::string>(3 * (sizeof cases / sizeof cases[0]), "1"), Acknowledgements());
}

// Failures while reading or delivering a result become errors for the recognizer
// listener; the notification is consumed and the thread goes on.
TEST_F(NotificationHandlerTest, FailedDeliveriesReachTheRecognizerListener)
{
    XmlElement noScore = ProtocolXml::Nbest(kTodayIs);
    noScore.children[0].Remove("Score");
    XmlElement badScore = ProtocolXml::Nbest(kTodayIs);
    badScore.children[0].Child("Score")->text = "1.0.0";
    const std::string internal = "Error Orvane::Client 7000 内部エラーが発生しました。詳細=";
    struct Case {
        const char* name;
        std::string document;
        std::function<void()> grammarAction;
        std::string error;
        std::string printed;
    };
    const Case cases[] = {
        {"start time with trailing letters",
         Document("GrammarListener::StartPoint", "G", Arguments({XmlElement("Double", "1.5abc")})), nullptr,
         internal + "文の開始位置の通知に失敗しました。", "文の開始位置の通知に失敗しました。\n"},
        {"end time not a number",
         Document("GrammarListener::EndPoint", "G", Arguments({XmlElement("Double", "x"), ProtocolXml::Nbest(kTodayIs)})),
         nullptr, internal + "文の終了位置の通知に失敗しました。", "文の終了位置の通知に失敗しました。\n"},
        {"sentence without Score",
         Document("GrammarListener::TempPoint", "G", Arguments({XmlElement("Double", "1"), noScore})), nullptr,
         "Error Orvane::Client 4000 受信したレスポンスが不正です。詳細=認識結果にScoreタグが含まれていません。", ""},
        {"score not a number",
         Document("GrammarListener::TempPoint", "G", Arguments({XmlElement("Double", "1"), badScore})), nullptr,
         internal + "暫定結果位置の通知に失敗しました。", "暫定結果位置の通知に失敗しました。\n"},
        {"match without Name",
         Document("RecognizerListener::Match", std::nullopt,
                  Arguments({XmlElement("Match", {XmlElement("Score", "1")})})),
         nullptr, internal + "音声パターンマッチの通知に失敗しました。", "音声パターンマッチの通知に失敗しました。\n"},
        {"end point listener throws an error object", Notice::EndPoint("G", 1, kTodayIs).parts[0],
         [] { throw Orvane::Client::Error::InvalidState("listener"); },
         "Error Orvane::Client 2000 状態が不正です。詳細=listener", ""},
        {"start point listener throws an error object", Notice::StartPoint("G", 1).parts[0],
         [] { throw Orvane::Client::Error::InvalidState("listener"); }, internal + "文の開始位置の通知に失敗しました。",
         "文の開始位置の通知に失敗しました。\n"},
        {"temporary point listener throws", Notice::TempPoint("G", 1, kTodayIs).parts[0],
         [] { throw std::runtime_error("listener"); }, internal + "暫定結果位置の通知に失敗しました。",
         "暫定結果位置の通知に失敗しました。\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        grammar_.action = c.grammarAction;
        testing::internal::CaptureStdout();
        std::vector<std::string> events = EventsOf({c.document});
        const std::string printed = testing::internal::GetCapturedStdout();
        grammar_.action = nullptr;
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(c.error, events.back());
        EXPECT_EQ(c.printed, printed);
    }
}

// A throwing recognizer listener is contained: the next notification still comes.
TEST_F(NotificationHandlerTest, ThrowingRecognizerListenerDoesNotStopTheThread)
{
    recognizer_.action = [] { throw Orvane::Client::Error::Internal("listener"); };
    testing::internal::CaptureStdout();
    Feed(Notice::Completed());
    Feed(Notice::Error("S", 1, "m"));
    Feed(Notice::SentenceEnd());
    Feed(Notice::Match("m", 1));  // the failed match becomes an error, which throws too
    Feed(Notice::Completed());
    ASSERT_TRUE(events_.WaitForCount(9));
    EXPECT_EQ("音声パターンマッチの通知に失敗しました。\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ((std::vector<std::string>{"hook", "Completed", "hook S 1 m", "Error S 1 m", "SentenceEnd", "Match m 1",
                                        "Error Orvane::Client 7000 内部エラーが発生しました。詳細="
                                        "音声パターンマッチの通知に失敗しました。",
                                        "hook", "Completed"}),
              events_.Events());
}

// Without a recognizer listener the errors and results are released, nothing is called.
TEST_F(NotificationHandlerTest, NoRecognizerListener)
{
    handler_->SetListener(nullptr);
    Feed(Notice::Match("m", 1));
    Feed(Notice::Error("S", 3, "m"));
    Feed(Notice::Completed());
    testing::internal::CaptureStdout();
    Feed({Document("GrammarListener::EndPoint", "G", Arguments({XmlElement("Double", "x"), ProtocolXml::Nbest({})}))});
    Feed(Notice::StartPoint("G", 2));
    ASSERT_TRUE(events_.WaitForCount(3));
    EXPECT_EQ("文の終了位置の通知に失敗しました。\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ((std::vector<std::string>{"hook S 3 m", "hook", "StartPoint 2"}), events_.Events());
}

TEST_F(NotificationHandlerTest, GrammarListenersByGrammarId)
{
    RecordingGrammarListener a(events_, "A");
    RecordingGrammarListener b(events_, "B");
    handler_->SetGrammarListener("A", &a);
    EXPECT_EQ((std::vector<std::string>{"A: StartPoint 1", "StartPoint 2"}),
              EventsOf({Notice::StartPoint("A", 1).parts[0], Notice::StartPoint("Z", 2).parts[0]}));

    handler_->SetGrammarListener("A", &b);       // replaced
    handler_->SetGrammarListener("Q", nullptr);  // not there: nothing
    handler_->SetGrammarListener("", nullptr);   // fallback removed
    EXPECT_EQ((std::vector<std::string>{"B: StartPoint 3"}),
              EventsOf({Notice::StartPoint("A", 3).parts[0], Notice::StartPoint("Z", 4).parts[0],
                        Notice::EndPoint("Z", 4, kTodayIs).parts[0]}));

    handler_->SetGrammarListener("A", nullptr);
    EXPECT_EQ(std::vector<std::string>(), EventsOf({Notice::StartPoint("A", 5).parts[0]}));
}

TEST_F(NotificationHandlerTest, MissingRecognitionIdIsTheEmptyText)
{
    const std::string document = Document("GrammarListener::EndPoint", "G",
                                          Arguments({XmlElement("Double", "1"), ProtocolXml::Nbest(kTodayIs)}));
    EXPECT_EQ(std::vector<std::string>{"EndPoint 1  今日は"}, EventsOf({document}));
}

// A listener that blocks does not hold up the acknowledgements of later requests.
TEST_F(NotificationHandlerTest, AcknowledgementDoesNotWaitForListeners)
{
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    grammar_.action = [&] { std::lock_guard<std::mutex> pass(gate); };
    Feed(Notice::StartPoint("G", 1));
    ASSERT_TRUE(events_.WaitForCount(1));
    Feed(Notice::StartPoint("G", 2));
    Feed(Notice::Completed());
    EXPECT_EQ(3u, Acknowledgements().size());
    EXPECT_EQ(1u, events_.Count());
    closed.unlock();
    ASSERT_TRUE(events_.WaitForCount(4));
    EXPECT_EQ((std::vector<std::string>{"StartPoint 1", "StartPoint 2", "hook", "Completed"}), events_.Events());
}

// What is queued when the last reference goes is delivered before the thread ends.
TEST_F(NotificationHandlerTest, QueuedNotificationsAreDeliveredOnDestruction)
{
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    grammar_.action = [&] { std::lock_guard<std::mutex> pass(gate); };
    Feed(Notice::StartPoint("G", 1));
    ASSERT_TRUE(events_.WaitForCount(1));
    Feed(Notice::StartPoint("G", 2));
    Feed(Notice::SentenceEnd());
    respondent_->SetListener(boost::shared_ptr<Orvane::Utility::Http::RequestListener>());
    std::thread last([&] { handler_.reset(); });
    closed.unlock();
    last.join();
    EXPECT_EQ((std::vector<std::string>{"StartPoint 1", "StartPoint 2", "SentenceEnd"}), events_.Events());
}

// The end of the connection, found on the receiving thread while earlier notifications still
// wait, reaches the completion hook after them: whatever came before the end decides.
TEST_F(NotificationHandlerTest, TheEndOfTheConnectionWaitsForWhatCameBeforeIt)
{
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    grammar_.action = [&] { std::lock_guard<std::mutex> pass(gate); };
    Feed(Notice::EndPoint("G", 1, kTodayIs));
    ASSERT_TRUE(events_.WaitForCount(1));
    Feed(Notice::Completed());
    handler_->OnClosed();
    handler_->OnError(0, boost::system::error_code(ETIMEDOUT, boost::system::system_category()));
    closed.unlock();
    ASSERT_TRUE(events_.WaitForCount(5));
    EXPECT_EQ((std::vector<std::string>{"EndPoint 1 1 今日は", "hook", "Completed",
                                        "hook Orvane::Client 5006 コネクションが切断されました。",
                                        "hook Orvane::Client 5002 通信で異常が発生しました。詳細=Connection timed out"}),
              events_.Events());
}

// What the backlog function is told: whether to hold the reading, and the timers.
class BacklogRecord {
public:
    void Tell(bool hold, bool holdTimers)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        told_.push_back({hold, holdTimers});
    }
    std::pair<bool, bool> Last() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return told_.empty() ? std::make_pair(false, false) : told_.back();
    }
    bool EverHeldReading() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& told : told_) {
            if (told.first) {
                return true;
            }
        }
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<bool, bool>> told_;
};

// While anything received waits for delivery, or is being delivered, the timers are held:
// the server is not blamed for a slow listener. A remote call in progress keeps them
// running, so that its wait stays bounded.
TEST_F(NotificationHandlerTest, TimersAreHeldWhileAnythingReceivedWaitsUnlessACallIsInProgress)
{
    const std::shared_ptr<BacklogRecord> record = std::make_shared<BacklogRecord>();
    BacklogRecord& told = *record;
    handler_->SetBacklogFunction([record](bool hold, bool holdTimers) { record->Tell(hold, holdTimers); });
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    grammar_.action = [&] { std::lock_guard<std::mutex> pass(gate); };
    Feed(Notice::StartPoint("G", 1));
    ASSERT_TRUE(events_.WaitForCount(1));
    EXPECT_EQ(std::make_pair(false, true), told.Last());
    {
        const NotificationHandler::CallScope call(handler_, true);
        EXPECT_EQ(std::make_pair(false, false), told.Last());
    }
    EXPECT_EQ(std::make_pair(false, true), told.Last());
    closed.unlock();
    EXPECT_TRUE(Orvane::Test::WaitFor([&] { return told.Last() == std::make_pair(false, false); }));
    EXPECT_FALSE(told.EverHeldReading());
    grammar_.action = nullptr;
}

// Large notifications hold the reading by their bytes, long before their count would: past
// 16 MiB undelivered, until no more than half of that is left. (One of any size still
// passes alone: HostileServerTest's one-word notification of 16 MiB.)
TEST_F(NotificationHandlerTest, UndeliveredBytesAreBounded)
{
    // Kept alive by the function: the handler's thread may still call it as the test ends.
    const std::shared_ptr<BacklogRecord> told = std::make_shared<BacklogRecord>();
    handler_->SetBacklogFunction([told](bool hold, bool holdTimers) { told->Tell(hold, holdTimers); });
    std::atomic<bool> open{false};
    grammar_.action = [&] { Orvane::Test::WaitFor([&] { return open.load(); }, std::chrono::seconds(60)); };
    // A start point padded to 4 MiB by an element the handler does not read.
    XmlElement padded = ProtocolXml::Notification("GrammarListener::StartPoint", std::string("G"),
                                                  XmlElement("ArgumentList", {XmlElement("Double", "1")}));
    padded.children.push_back(XmlElement("Padding", std::string(4 * 1024 * 1024, 'p')));
    const Notice large = Notice::Of(padded);
    Feed(large);
    ASSERT_TRUE(events_.WaitForCount(1, std::chrono::seconds(60)));
    for (int fed = 2; fed <= 3; ++fed) {
        Feed(large);
        EXPECT_FALSE(told->EverHeldReading()) << fed << " of 4 MiB";
    }
    Feed(large);
    EXPECT_EQ(std::make_pair(true, true), told->Last());
    open = true;
    ASSERT_TRUE(events_.WaitForCount(4, std::chrono::seconds(60)));
    EXPECT_TRUE(Orvane::Test::WaitFor([&] { return told->Last() == std::make_pair(false, false); }));
    grammar_.action = nullptr;
}

// Hands requests to a handler that the respondent no longer holds.
class Forwarder : public Orvane::Utility::Http::RequestListener {
public:
    explicit Forwarder(NotificationHandler* target) : target_(target) {}
    void OnReceived(Respondent& respondent, const Orvane::Utility::Http::RequestInformation& request) override
    {
        target_->OnReceived(respondent, request);
    }
    void OnError(int, const boost::system::error_code&) override {}
    void OnClosed() override {}

private:
    NotificationHandler* target_;
};

// The last reference dropped inside a listener call: the thread does not join itself, a
// request that still arrives is answered with "1" and dropped, what was queued before is
// delivered, and the thread frees the handler when it ends.
TEST_F(NotificationHandlerTest, LastReferenceDroppedOnTheHandlerThread)
{
    const std::size_t threadsBefore = ThreadCount();
    respondent_->SetListener(boost::shared_ptr<Forwarder>(new Forwarder(handler_.get())));
    recognizer_.action = [&] {
        recognizer_.action = nullptr;
        handler_.reset();
        // The respondent takes one request at a time: the first must have been answered.
        ASSERT_TRUE(Orvane::Test::WaitFor([&] { return Acknowledgements().size() == 1; }));
        Feed(Notice::Completed());
    };
    // Both queued at once, so the match is waiting when the handler is let go.
    const XmlElement list("List", {XmlElement("I", {XmlElement::Parse(Notice::SentenceEnd().parts[0])}),
                                   XmlElement("I", {XmlElement::Parse(Notice::Match("after", 1).parts[0])})});
    Feed({list.Write()});
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return ThreadCount() < threadsBefore; }));
    EXPECT_EQ((std::vector<std::string>{"SentenceEnd", "Match after 1"}), events_.Events());
    EXPECT_EQ((std::vector<std::string>{"1", "1"}), Acknowledgements());
}

// Listener changes while notifications stream in: once SetListener has replaced a
// listener, no call on the old one is running and none follows.
TEST_F(NotificationHandlerTest, ListenerReplacedDuringAFlood)
{
    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
    recognizer_.action = [&] {
        inside = true;
        ++calls;
        std::this_thread::yield();
        inside = false;
    };
    EventLog otherEvents;
    RecordingRecognizerListener other(otherEvents);
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        for (int i = 0; i < 2000; ++i) {
            Feed(Notice::SentenceEnd());
        }
        flooding = false;
    });
    for (int round = 0; round < 20 && flooding; ++round) {
        handler_->SetListener(&recognizer_);
        const int seen = calls;
        Orvane::Test::WaitFor([&] { return calls > seen || !flooding; });
        const bool toOther = round % 2 == 0;
        handler_->SetListener(toOther ? &other : nullptr);
        EXPECT_FALSE(inside);
        const int after = calls;
        if (toOther) {
            const std::size_t delivered = otherEvents.Count();
            Orvane::Test::WaitFor([&] { return otherEvents.Count() > delivered || !flooding; });
        }
        EXPECT_EQ(after, calls.load());
    }
    flood.join();
    handler_->SetListener(nullptr);  // the listeners above go with this test
    EXPECT_EQ(2000u, Acknowledgements().size());
}

} // namespace
