#include "Client/RequestSender.h"

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "support/ClientConnection.h"
#include "support/ClientError.h"
#include "support/RecordingListeners.h"
#include "support/TinyproxyPeer.h"
#include "support/WaitFor.h"
#include "support/XmlBuild.h"
#include "support/loopback/LoopbackServer.h"

namespace {

using Orvane::Test::CatchClientError;
using Orvane::Test::ClientConnection;
using Orvane::Test::ClientError;
using Orvane::Test::Leaf;
using Orvane::Test::Tree;
using Orvane::Test::XmlNode;
using Orvane::Test::Loopback::LoopbackServer;
using Orvane::Test::Loopback::MessageKind;
using Orvane::Test::Loopback::Notice;
using Orvane::Test::Loopback::ProtocolXml;
using Orvane::Test::Loopback::Received;
using Orvane::Test::Loopback::Reply;
using Orvane::Test::Loopback::Script;
using Orvane::Test::Loopback::XmlElement;

const std::string kInvalidResponse = "受信したレスポンスが不正です。詳細=";
const std::string kCommunication = "通信で異常が発生しました。詳細=";

XmlNode NoArguments() { return Tree("ArgumentList"); }

// The text of the Success child of a reply element ("" when it has none).
std::string SuccessOf(const XmlNode& reply)
{
    const XmlNode success = reply ? reply->Child("Success") : XmlNode();
    return success ? success->text : "";
}

// Keeps the errors that the sender reports to the session.
class SessionErrors : public Orvane::SessionListener {
public:
    void Error(Orvane::Exception* error) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(error);
        texts_.push_back(Orvane::Test::Describe(error));
    }
    std::vector<Orvane::Exception*> Seen() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    std::vector<std::string> Texts() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Orvane::Exception*> seen_;
    std::vector<std::string> texts_;
};

class RequestSenderTest : public ::testing::Test {
protected:
    void SetUp() override { server_.Start(); }

    std::unique_ptr<ClientConnection> Connect(ClientConnection::Options options = ClientConnection::Options())
    {
        if (options.port == 0) {
            options.port = server_.Port();
        }
        std::unique_ptr<ClientConnection> client(new ClientConnection(options));
        client->sender->SetListener(&session_);
        return client;
    }

    std::unique_ptr<ClientConnection> Started(ClientConnection::Options options = ClientConnection::Options())
    {
        std::unique_ptr<ClientConnection> client = Connect(options);
        client->Start();
        return client;
    }

    LoopbackServer server_;
    SessionErrors session_;
};

TEST_F(RequestSenderTest, CallAndBinaryPartsAreByteExact)
{
    auto client = Started();
    const std::string binary("\0\r\n--\xff\r\nend", 11);
    XmlNode reply = client->sender->Send("Recognizer::Recognize", "", "", NoArguments());
    EXPECT_EQ("1", SuccessOf(reply));
    client->sender->Send("Grammar::Activate", "Grammar", "G1", NoArguments());
    client->sender->Send("Grammar::Deactivate", "Grammar", "", NoArguments());
    client->sender->Send("Recognizer::SetParameter", "", "",
                         Tree("ArgumentList", {Leaf("String", "名前"), Leaf("String", "値")}));
    reply = client->sender->Send(
        "Recognizer::LoadGrammar_2", "", "",
        Tree("ArgumentList", {Leaf("BinaryDataOffset", "1"), Leaf("Size", std::to_string(binary.size()))}),
        reinterpret_cast<const unsigned char*>(binary.data()), static_cast<unsigned int>(binary.size()), true);
    ASSERT_TRUE(reply);
    EXPECT_EQ("Grammar1", reply->Child("Value")->Child("Target")->Child("Id")->text);

    const auto seen = server_.Snapshot();
    EXPECT_EQ("", seen.AllProblems());
    const std::vector<Received> calls = seen.Calls();
    ASSERT_EQ(5u, calls.size());
    const std::string recognize = "<Request>\n\t<Kind>Recognizer::Recognize</Kind>\n\t<ArgumentList></ArgumentList>\n"
                                  "</Request>\n";
    ASSERT_EQ(1u, calls[0].http.parts.size());
    EXPECT_EQ("Content-Disposition: from-data; name=\"call\"; id=1\r\nContent-Length: " +
                  std::to_string(recognize.size()) + "\r\n\r\n" + recognize,
              calls[0].http.parts[0].Raw());
    EXPECT_TRUE(calls[1].call.hasTarget);
    EXPECT_EQ("G1", calls[1].call.targetId);
    EXPECT_FALSE(calls[2].call.hasTarget);  // a kind without an id writes no Target
    EXPECT_EQ((std::vector<std::string>{"名前", "値"}), calls[3].call.Arguments("String"));
    ASSERT_EQ(2u, calls[4].http.parts.size());
    EXPECT_EQ("Content-Disposition: from-data; name=\"binary\"\r\nContent-Length: 11\r\n\r\n" + binary,
              calls[4].http.parts[1].Raw());
}

TEST_F(RequestSenderTest, EmptyBinaryPartFailsBeforeAnythingIsSent)
{
    auto client = Started();
    const unsigned char byte = 0;
    EXPECT_THROW(client->sender->Send("Recognizer::LoadGrammar_2", "", "", NoArguments(), &byte, 0, true),
                 std::out_of_range);
    client->sender->Send("CreateRecognizer", "", "", NoArguments());
    EXPECT_EQ(1u, server_.Snapshot().CallCount());
}

std::string ResponseDocument(const std::string& success, std::vector<XmlElement> value = {})
{
    return XmlElement("Response", {XmlElement("Success", success), XmlElement("Value", std::move(value))}).Write();
}

struct ReplyCase {
    const char* name;
    Reply reply;
    std::string element;  // name of the element returned, when the call succeeds
    int number;           // else the error thrown
    std::string message;  // its message, or its start when `prefix`
    bool prefix;
    bool stopped;  // the sender stopped the connection
};

// Every reply shape, each on a connection of its own.
TEST_F(RequestSenderTest, ReplyTable)
{
    const XmlElement serverError = ProtocolXml::Exception("RecognitionServer", "1234", "文法がありません");
    const XmlElement failingItem("B", {XmlElement::Parse(ResponseDocument("0", {serverError}))});
    const XmlElement goodItem("A", {XmlElement::Parse(ResponseDocument("1"))});
    const ReplyCase cases[] = {
        {"Success 1", Reply::Ok(), "Response", 0, "", false, false},
        {"Success +1", Reply::SuccessText("+1"), "Response", 0, "", false, false},
        {"Success 0 carries the server's error", Reply::Failure("RecognitionServer", 1234, "文法がありません"), "",
         1234, "文法がありません", false, false},
        {"Success -0 carries the server's error", Reply::Documents({ResponseDocument("-0", {serverError})}), "", 1234,
         "文法がありません", false, false},
        {"Success missing", Reply::Documents({XmlElement("Response", {XmlElement("Value")}).Write()}), "", 4000,
         kInvalidResponse + "必要な要素が存在しません。要素=Response/Success", false, true},
        {"Success true", Reply::SuccessText("true"), "", 4000, kInvalidResponse, true, true},
        {"Success empty", Reply::SuccessText(""), "", 4000, kInvalidResponse, true, true},
        {"Success 0 without Exception", Reply::SuccessText("0"), "", 4000,
         kInvalidResponse + "必要な要素が存在しません。要素=Value/Exception", false, true},
        {"server error with a bad Errno", Reply::Failure(ProtocolXml::Exception("T", "12x", "m")), "", 4000,
         kInvalidResponse, true, true},
        {"status 403", Reply::Status(403), "", 1010, "許可されていないUserAgentが指定されています。", false, true},
        {"status 500", Reply::Status(500), "", 4004, "音声認識サーバが異常な状態です。詳細=response code (500)", false,
         true},
        {"headers without parts", Reply::HeadersOnly(), "", 4000, kInvalidResponse + "ボディパート情報が取得できません。",
         false, true},
        {"malformed XML", Reply::MalformedXml(), "", 4000, kInvalidResponse, true, true},
        {"list of responses", Reply::Documents({XmlElement("Responses", {goodItem, goodItem}).Write()}), "Responses", 0,
         "", false, false},
        {"list with a failing response", Reply::Documents({XmlElement("Responses", {goodItem, failingItem}).Write()}),
         "", 1234, "文法がありません", false, false},
        {"second part failing", Reply::Documents({ResponseDocument("1"), ResponseDocument("0", {serverError})}), "",
         1234, "文法がありません", false, false},
        {"malformed HTTP", Reply::Raw("HTTP/1.0 200 OK\nContent-Length: 0\n\n"), "", 5002, kCommunication, true,
         false},
    };
    std::size_t connection = 0;
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        server_.QueueReply("Recognizer::Recognize", c.reply);
        auto client = Started();
        XmlNode element;
        const ClientError error =
            CatchClientError([&] { element = client->sender->Send("Recognizer::Recognize", "", "", NoArguments()); });
        if (c.number == 0) {
            ASSERT_FALSE(error.thrown) << error;
            ASSERT_TRUE(element);
            EXPECT_EQ(c.element, element->name);
        } else {
            ASSERT_TRUE(error.thrown);
            EXPECT_EQ(c.number, error.number);
            if (c.prefix) {
                EXPECT_EQ(0u, error.message.find(c.message)) << error.message;
                EXPECT_GT(error.message.size(), c.message.size());
            } else {
                EXPECT_EQ(c.message, error.message);
            }
        }
        if (c.stopped) {
            EXPECT_TRUE(server_.WaitForPeerClosed(connection));
        } else if (c.number != 5002) {
            // Still connected: the next call goes through.
            EXPECT_EQ("1", SuccessOf(client->sender->Send("Recognizer::Abort", "", "", NoArguments())));
        }
        ++connection;
    }
    // Only the unparsable message was a transport failure; bad replies are not.
    ASSERT_EQ(1u, session_.Texts().size());
    EXPECT_EQ(0u, session_.Texts()[0].find("Orvane::Client 5002 " + kCommunication));
}

// The end of the connection, a reset and silence while a call waits: the call throws
// the very error that the session listener was shown.
TEST_F(RequestSenderTest, ConnectionEndsDuringAWait)
{
    struct Case {
        const char* name;
        Reply reply;
        int receiveTimer;
        int number;
        std::string message;
    };
    const Case cases[] = {
        {"FIN", Reply::Close(), 60000, 5006, "コネクションが切断されました。"},
        {"RST", Reply::Reset(), 60000, 5006, "コネクションが切断されました。"},
        {"silence", Reply::Silent(), 300, 5002, kCommunication + "Connection timed out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionErrors session;
        ClientConnection::Options options;
        options.receiveTimer = c.receiveTimer;
        options.port = server_.Port();
        server_.QueueReply("Recognizer::Recognize", c.reply);
        ClientConnection client(options);
        client.sender->SetListener(&session);
        client.Start();
        Orvane::Exception* thrown = nullptr;
        try {
            client.sender->Send("Recognizer::Recognize", "", "", NoArguments());
        } catch (Orvane::Exception* error) {
            thrown = error;
        }
        ASSERT_NE(nullptr, thrown);
        ASSERT_EQ(std::vector<Orvane::Exception*>{thrown}, session.Seen());
        const ClientError error = Orvane::Test::TakeError(thrown);
        EXPECT_EQ(c.number, error.number);
        EXPECT_EQ(c.message, error.message);
        // Later calls fail at once instead of waiting on a dead connection.
        const ClientError later = CatchClientError([&] { client.sender->Send("Recognizer::Abort", "", "", NoArguments()); });
        EXPECT_EQ(5002, later.number) << later;
    }
}

// A reply that arrived before the connection ended answers its call; the end goes to the
// session's listener only. The call waits only once both are recorded (sent without
// waiting, then WaitReceive), so an end recorded over the reply shows every time.
TEST_F(RequestSenderTest, AReplyFollowedAtOnceByTheEndAnswersItsCall)
{
    server_.QueueReply("Recognizer::LoadGrammar_2", Reply::Ok().ThenClose());
    auto client = Started();
    const unsigned char grammar[] = {'g'};
    EXPECT_FALSE(client->sender->Send("Recognizer::LoadGrammar_2", "", "", NoArguments(), grammar, 1, false));
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return !session_.Texts().empty(); }));
    XmlNode reply;
    const ClientError error = CatchClientError([&] { reply = client->sender->WaitReceive(); });
    EXPECT_FALSE(error.thrown) << error;
    EXPECT_EQ("1", SuccessOf(reply));
    EXPECT_EQ(std::vector<std::string>{"Orvane::Client 5006 コネクションが切断されました。"}, session_.Texts());
}

// An error recorded while no call waits belongs to the sender until a call clears it or
// the sender goes.
TEST_F(RequestSenderTest, ErrorRecordedWithoutACallerIsFreed)
{
    {
        auto client = Started();
        client->sender->Send("CreateRecognizer", "", "", NoArguments());
        server_.Close();
        ASSERT_TRUE(Orvane::Test::WaitFor([&] { return session_.Texts().size() == 1; }));
    }
    auto client = Started();
    client->sender->Send("CreateRecognizer", "", "", NoArguments());
    server_.Close();
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return session_.Texts().size() == 2; }));
    EXPECT_EQ(5002, CatchClientError([&] { client->sender->Send("Recognizer::Abort", "", "", NoArguments()); }).number);
    EXPECT_EQ(std::vector<std::string>(2, "Orvane::Client 5006 コネクションが切断されました。"), session_.Texts());
}

// A wait ended through thread interruption leaves the late reply's error to the sender.
TEST_F(RequestSenderTest, InterruptedWait)
{
    auto client = Connect();
    client->AttachHandler(Orvane::Client::NotificationHandler::CompletionHook());
    client->Start();
    server_.QueueReply("Recognizer::Recognize", Reply::Ok().Held());
    bool interrupted = false;
    boost::thread caller([&] {
        try {
            client->sender->Send("Recognizer::Recognize", "", "", NoArguments());
        } catch (const boost::thread_interrupted&) {
            interrupted = true;
        }
    });
    ASSERT_TRUE(server_.WaitForHeld(1));
    caller.interrupt();
    caller.join();
    EXPECT_TRUE(interrupted);
    // The late reply is the server's error; the acknowledged notice behind it shows that
    // the reply has been read.
    ASSERT_TRUE(server_.ReleaseHeld(Reply::Failure("S", 1, "late").Then(Notice::SentenceEnd())));
    ASSERT_TRUE(server_.WaitForAcknowledgements(1));
}

// Number of the system call a thread sleeps in (-1 when unknown).
long SystemCallOf(pid_t thread)
{
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    file >> number;
    return number;
}

// A call whose wait is interrupted still has its reply on the way, and the server answers
// in order: the next call went out at once and took that reply for its own. It now goes out
// only once the owed reply has come.
TEST_F(RequestSenderTest, ACallAfterAnInterruptedOneGoesOutOnceTheOwedReplyHasCome)
{
    auto client = Started();
    server_.QueueReply("Recognizer::Recognize", Reply::Ok().Held());
    boost::thread caller([&] {
        try {
            client->sender->Send("Recognizer::Recognize", "", "", NoArguments());
        } catch (const boost::thread_interrupted&) {
        }
    });
    ASSERT_TRUE(server_.WaitForHeld(1));
    caller.interrupt();
    caller.join();
    EXPECT_TRUE(client->sender->IsReplyOwed());
    std::atomic<pid_t> nextThread{0};
    XmlNode reply;
    ClientError error;
    std::thread next([&] {
        nextThread = static_cast<pid_t>(syscall(SYS_gettid));
        error = CatchClientError([&] {
            reply = client->sender->Send("Recognizer::GetParameter", "", "", Tree("ArgumentList", {Leaf("String", "a")}));
        });
    });
    // The next caller sleeps (futex) with nothing sent while the reply is owed.
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return nextThread != 0 && SystemCallOf(nextThread) == SYS_futex; }));
    EXPECT_EQ(0u, server_.Snapshot().CallCount("Recognizer::GetParameter"));
    ASSERT_TRUE(server_.ReleaseHeld());
    next.join();
    EXPECT_FALSE(error.thrown) << error;
    // Its own reply, with the parameter's value, not the empty one owed to Recognize.
    const XmlNode value = reply ? reply->Child("Value") : XmlNode();
    EXPECT_TRUE(value && value->Child("String"));
    EXPECT_FALSE(client->sender->IsReplyOwed());
    const auto messages = server_.Snapshot().messages;
    const auto recognize = server_.Snapshot().Calls("Recognizer::Recognize");
    ASSERT_EQ(1u, recognize.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].kind == MessageKind::Call && messages[i].call.method == "Recognizer::GetParameter") {
            EXPECT_GE(i, recognize[0].arrivedBeforeReply);
        }
    }
}

// Stopping the sender ends a call that waits on it: nothing can reach it afterwards.
TEST_F(RequestSenderTest, StopEndsAWaitingCall)
{
    auto client = Started();
    server_.QueueReply("Recognizer::AsyncComplete", Reply::Ok().Held());
    ClientError error;
    std::thread caller(
        [&] { error = CatchClientError([&] { client->sender->Send("Recognizer::AsyncComplete", "", "", NoArguments()); }); });
    ASSERT_TRUE(server_.WaitForHeld(1));
    client->sender->Stop();
    caller.join();
    EXPECT_EQ(5006, error.number);
    EXPECT_EQ("コネクションが切断されました。", error.message);
    const std::string block(4, 'x');
    const ClientError audio = CatchClientError([&] {
        client->sender->SendAudio(Orvane::Utility::Http::BodyPartInformation(
            reinterpret_cast<const unsigned char*>(block.data()), static_cast<unsigned int>(block.size())));
    });
    EXPECT_EQ(5002, audio.number);
    EXPECT_TRUE(session_.Texts().empty());  // detached before the controller stopped
}

// One call at a time: a second caller waits until the first has its reply, and each gets
// its own.
TEST_F(RequestSenderTest, SecondCallerWaitsForTheFirst)
{
    auto client = Started();
    client->sender->Send("Recognizer::SetParameter", "", "", Tree("ArgumentList", {Leaf("String", "a"), Leaf("String", "1")}));
    client->sender->Send("Recognizer::SetParameter", "", "", Tree("ArgumentList", {Leaf("String", "b"), Leaf("String", "2")}));
    server_.QueueReply("Recognizer::GetParameter", Reply::Default().Held());

    auto get = [&](const char* name) {
        XmlNode reply = client->sender->Send("Recognizer::GetParameter", "", "", Tree("ArgumentList", {Leaf("String", name)}));
        return reply->Child("Value")->Child("String")->text;
    };
    std::string first, second;
    std::thread a([&] { first = get("a"); });
    ASSERT_TRUE(server_.WaitForHeld(1));
    std::atomic<pid_t> secondThread{0};
    std::thread b([&] {
        secondThread = static_cast<pid_t>(syscall(SYS_gettid));
        second = get("b");
    });
    // The second caller sleeps (futex) while the first call is still on the wire alone.
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return secondThread != 0 && SystemCallOf(secondThread) == SYS_futex; }));
    EXPECT_EQ(3u, server_.Snapshot().CallCount());
    ASSERT_TRUE(server_.ReleaseHeld());
    a.join();
    b.join();
    EXPECT_EQ("1", first);
    EXPECT_EQ("2", second);
    const auto calls = server_.Snapshot().Calls("Recognizer::GetParameter");
    ASSERT_EQ(2u, calls.size());
    // The second call arrived only after the first one's reply was written.
    const auto messages = server_.Snapshot().messages;
    std::size_t secondIndex = 0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].kind == MessageKind::Call && messages[i].call.Arguments("String") == std::vector<std::string>{"b"}) {
            secondIndex = i;
        }
    }
    EXPECT_GE(secondIndex, calls[0].arrivedBeforeReply);
}

// The proxy tunnel: any 200 answer opens it; 403 to CONNECT is a server fault, 403 to a
// later call is the refused user agent again.
TEST_F(RequestSenderTest, TunnelRequest)
{
    struct Case {
        const char* name;
        Reply answer;
    };
    const Case opened[] = {
        {"no header lines", Reply::Default()},
        {"with header lines", Reply::Raw("HTTP/1.0 200 Connection established\r\nProxy-agent: test/1.0\r\n\r\n")},
    };
    for (const Case& c : opened) {
        SCOPED_TRACE(c.name);
        server_.QueueReply(Script::kConnect, c.answer);
        auto client = Started();
        XmlNode answer = client->sender->SendConnect(server_.Address(), true);
        ASSERT_TRUE(answer);
        EXPECT_EQ("", answer->name);
        server_.QueueReply("CreateRecognizer", Reply::Status(403));
        EXPECT_EQ(1010, CatchClientError([&] { client->sender->Send("CreateRecognizer", "", "", NoArguments()); }).number);
    }
    server_.QueueReply(Script::kConnect, Reply::Status(403));
    auto client = Started();
    const ClientError refused = CatchClientError([&] { client->sender->SendConnect(server_.Address(), true); });
    EXPECT_EQ(4004, refused.number);
    EXPECT_EQ("音声認識サーバが異常な状態です。詳細=response code (403)", refused.message);
    EXPECT_EQ("", server_.Snapshot().AllProblems());
}

TEST_F(RequestSenderTest, TunnelThroughTinyproxy)
{
    Orvane::Test::TinyproxyPeer proxy;
    ClientConnection::Options options;
    options.port = proxy.Port();
    auto client = Started(options);
    ASSERT_TRUE(client->sender->SendConnect(server_.Address(), true));
    EXPECT_EQ("1", SuccessOf(client->sender->Send("CreateRecognizer", "", "", Tree("ArgumentList", {Leaf("String", "r")}))));
    const auto seen = server_.Snapshot();
    EXPECT_EQ(0u, seen.Count(MessageKind::Connect));
    EXPECT_EQ(1u, seen.CallCount("CreateRecognizer"));
    EXPECT_EQ("", seen.AllProblems());
}

// A reply that makes the sender stop the connection while the caller holds a lock that
// the completion hook needs (as the recognizer's own lock): neither side waits forever.
TEST_F(RequestSenderTest, StopAfterABadReplyDoesNotDeadlock)
{
    std::mutex recognizerLock;
    std::atomic<int> hooked{0};
    auto client = Connect();
    client->AttachHandler([&](Orvane::Client::Exception*) {
        std::lock_guard<std::mutex> lock(recognizerLock);
        ++hooked;
    });
    client->Start();
    server_.QueueReply("Recognizer::Recognize", Reply::MalformedXml());
    std::atomic<bool> done{false};
    ClientError error;
    std::thread caller([&] {
        std::lock_guard<std::mutex> lock(recognizerLock);
        error = CatchClientError([&] { client->sender->Send("Recognizer::Recognize", "", "", NoArguments()); });
        done = true;
    });
    const bool returned = Orvane::Test::WaitFor([&] { return done.load(); });
    if (!returned) {
        caller.detach();  // deadlocked: let the test fail rather than hang here
        FAIL() << "the caller never returned";
    }
    caller.join();
    EXPECT_EQ(4000, error.number);
    EXPECT_TRUE(Orvane::Test::WaitFor([&] { return hooked == 1; }));
    EXPECT_TRUE(server_.WaitForPeerClosed(0));
}

// Several callers and audio posts at once: every message goes out whole and every caller
// gets its own reply.
TEST_F(RequestSenderTest, SeveralCallersAndAudioPosts)
{
    auto client = Started();
    const int threads = 4;
    const int rounds = 20;
    std::vector<std::thread> callers;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < threads; ++t) {
        callers.emplace_back([&, t] {
            const std::string name = "p" + std::to_string(t);
            const std::string block(320, static_cast<char>('A' + t));
            for (int i = 0; i < rounds; ++i) {
                const std::string value = std::to_string(i);
                client->sender->Send("Recognizer::SetParameter", "", "",
                                     Tree("ArgumentList", {Leaf("String", name), Leaf("String", value)}));
                client->sender->SendAudio(Orvane::Utility::Http::BodyPartInformation(
                    reinterpret_cast<const unsigned char*>(block.data()), static_cast<unsigned int>(block.size())));
                XmlNode reply = client->sender->Send("Recognizer::GetParameter", "", "",
                                                     Tree("ArgumentList", {Leaf("String", name)}));
                mismatches += reply->Child("Value")->Child("String")->text != value;
            }
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(0, mismatches.load());
    ASSERT_TRUE(server_.WaitForAudioBytes(threads * rounds * 320));
    const auto seen = server_.Snapshot();
    EXPECT_EQ("", seen.AllProblems());
    for (const Received& audio : seen.Of(MessageKind::Audio)) {
        EXPECT_EQ(std::string(320, audio.http.body[0]), audio.http.body);
    }
}

} // namespace
