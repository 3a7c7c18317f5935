#include "Utility/Http/Requester.h"

#include <atomic>
#include <regex>
#include <thread>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/ref.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "support/HttpMocks.h"
#include "support/HttpWire.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::Bytes;
using Orvane::Test::MockResponseListener;
using Orvane::Test::RecordingSender;
using Orvane::Utility::Exception;
using Orvane::Utility::Http::BodyPartInformation;
using Orvane::Utility::Http::Requester;
using Orvane::Utility::Http::ResponseInformation;
using Orvane::Utility::Tcp::Buffer;
using testing::Ref;

const std::string kAgent = "Tessival/1.0";

// The boundary of a multipart message: 31 characters of the fixed form.
std::string BoundaryOf(const std::string& message)
{
    static const std::regex pattern("Content-Type: multipart/form-data; boundary=(---[0-9]{17}\\+[0-9]{10})\r\n");
    std::smatch match;
    if (!std::regex_search(message, match, pattern)) {
        return "<no boundary>";
    }
    return match[1];
}

TEST(HttpRequesterTest, WritesEachRequestShapeExactly)
{
    const std::string call = "Content-Disposition: form-data; name=\"call\"\r\nContent-Length: 10\r\n\r\n<Request/>";
    const std::string audio = std::string("\x01\x00\xff\x7f\r\n", 6);
    struct Case {
        const char* name;
        std::function<void(Requester&)> send;
        std::function<std::string(const std::string& boundary)> expected;
    };
    const Case cases[] = {
        {"multipart, no parts", [](Requester& r) { r.Send("/", {}); },
         [](const std::string& b) {
             return "POST / HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=" + b + "\r\nUser-Agent: " + kAgent +
                    "\r\nContent-Length: 37\r\n\r\n--" + b + "--\r\n";
         }},
        {"multipart, two parts, one empty",
         [&](Requester& r) { r.Send("/call", {BodyPartInformation(Bytes(call), call.size()), BodyPartInformation(nullptr, 0)}); },
         [&](const std::string& b) {
             return "POST /call HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=" + b + "\r\nUser-Agent: " +
                    kAgent + "\r\nContent-Length: " + std::to_string(3 * 37 + call.size()) + "\r\n\r\n--" + b +
                    "\r\n" + call + "\r\n--" + b + "\r\n\r\n--" + b + "--\r\n";
         }},
        {"audio post", [&](Requester& r) { r.SendAudio("/", BodyPartInformation(Bytes(audio), audio.size())); },
         [&](const std::string&) {
             return "POST / HTTP/1.0\r\nContent-Type: audiodata\r\nUser-Agent: " + kAgent +
                    "\r\nContent-Length: 6\r\n\r\n" + audio;
         }},
        {"empty audio post", [](Requester& r) { r.SendAudio("/", BodyPartInformation(nullptr, 0)); },
         [](const std::string&) {
             return "POST / HTTP/1.0\r\nContent-Type: audiodata\r\nUser-Agent: " + kAgent + "\r\nContent-Length: 0\r\n\r\n";
         }},
        {"proxy tunnel", [](Requester& r) { r.SendConnect("127.0.0.1:8443"); },
         [](const std::string&) {
             return "CONNECT 127.0.0.1:8443 HTTP/1.1\r\nHost: 127.0.0.1:8443\r\nUser-Agent: " + kAgent + "\r\n\r\n";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSender sender;
        const auto requester = Requester::CreateInstance(kAgent);
        requester->SetSendFunction(boost::ref(sender));
        c.send(*requester);
        const std::vector<std::string> sent = sender.Messages();
        ASSERT_EQ(1u, sent.size());
        const std::string boundary = BoundaryOf(sent[0]);
        EXPECT_EQ(c.expected(boundary), sent[0]);
        EXPECT_EQ(Requester::StateReady, requester->GetState());
    }
}

TEST(HttpRequesterTest, EachMultipartRequestHasAFreshBoundaryAndFillsTheGivenBuffer)
{
    const auto requester = Requester::CreateInstance(kAgent);
    Buffer first(1024, nullptr, 0);
    requester->CreateMessage("/", {}, first);
    const std::string firstText(first.storage.begin(), first.storage.begin() + first.dataLength);
    const std::string boundary = BoundaryOf(firstText);
    ASSERT_EQ(31u, boundary.size());
    std::string later;
    ASSERT_TRUE(Orvane::Test::WaitFor([&] {
        Buffer next(1024, nullptr, 0);
        requester->CreateMessage("/", {}, next);
        later = BoundaryOf(std::string(next.storage.begin(), next.storage.begin() + next.dataLength));
        return later != boundary;
    }));
    EXPECT_EQ(31u, later.size());
}

// Every way a send can fail, with the error it raises; nothing reaches the wire.
TEST(HttpRequesterTest, FailedSendsRaiseAndSendNothing)
{
    struct Case {
        const char* name;
        std::string agent;
        std::string target;
        bool installSender;
        int state;
        std::string senderFailure;
        BodyPartInformation audio;
        int errorNo;
        std::string message;
    };
    const BodyPartInformation none(nullptr, 0);
    const std::string refusedAgent = "User-Agentに使用できない文字(CR, LF, NUL)が含まれています。";
    const std::string refusedTarget = "リクエスト先に使用できない文字(CR, LF, NUL)が含まれています。";
    const Case cases[] = {
        {"ended", kAgent, "/", true, Requester::StateEnded, "", none, 2,
         "リクエストを送信できる状態ではありません。状態=1"},
        {"no send function", kAgent, "/", false, 0, "", none, 2, "送信関数は設定されていません。"},
        {"send function fails", kAgent, "/", true, 0, "socket closed", none, 45,
         "リクエスト電文の送信処理で例外が発生しました。原因=[socket closed]"},
        {"agent with CRLF", "a\r\nX: y", "/", true, 0, "", none, 44,
         "リクエスト電文の作成処理で例外が発生しました。原因=[" + refusedAgent + "]"},
        {"agent with NUL", std::string("a\0", 2), "/", true, 0, "", none, 44,
         "リクエスト電文の作成処理で例外が発生しました。原因=[" + refusedAgent + "]"},
        {"target with LF", kAgent, "/\nX: y", true, 0, "", none, 44,
         "リクエスト電文の作成処理で例外が発生しました。原因=[" + refusedTarget + "]"},
        {"target with CR", kAgent, "host\r:1", true, 0, "", none, 44,
         "リクエスト電文の作成処理で例外が発生しました。原因=[" + refusedTarget + "]"},
        {"target with NUL", kAgent, std::string("/\0", 2), true, 0, "", none, 44,
         "リクエスト電文の作成処理で例外が発生しました。原因=[" + refusedTarget + "]"},
    };
    typedef std::function<void(Requester&, const Case&)> Send;
    const std::vector<std::pair<const char*, Send>> sends = {
        {"Send", [](Requester& r, const Case& c) { r.Send(c.target, {BodyPartInformation(nullptr, 0)}); }},
        {"SendAudio", [](Requester& r, const Case& c) { r.SendAudio(c.target, c.audio); }},
        {"SendConnect", [](Requester& r, const Case& c) { r.SendConnect(c.target); }},
    };
    for (const Case& c : cases) {
        for (const auto& send : sends) {
            SCOPED_TRACE(std::string(c.name) + ", " + send.first);
            RecordingSender sender;
            sender.failure = c.senderFailure;
            const auto requester = Requester::CreateInstance(c.agent);
            if (c.installSender) {
                requester->SetSendFunction(boost::ref(sender));
            }
            requester->SetState(c.state);
            try {
                send.second(*requester, c);
                ADD_FAILURE() << "no error";
            } catch (const Exception& e) {
                EXPECT_STREQ("Orvane::Utility::Http", e.GetType());
                EXPECT_EQ(c.errorNo, e.GetErrorNo());
                EXPECT_EQ(c.message, e.what());
            }
            EXPECT_TRUE(sender.Messages().empty());
            EXPECT_EQ(c.state, requester->GetState());
        }
    }

    // An audio part that claims bytes it does not have.
    RecordingSender sender;
    const auto requester = Requester::CreateInstance(kAgent);
    requester->SetSendFunction(boost::ref(sender));
    try {
        requester->SendAudio("/", BodyPartInformation(nullptr, 4));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(44, e.GetErrorNo());
    }
    EXPECT_TRUE(sender.Messages().empty());
}

TEST(HttpRequesterTest, SendFunctionIsInstalledOnce)
{
    const auto requester = Requester::CreateInstance(kAgent);
    RecordingSender sender;
    struct Case {
        const char* name;
        Orvane::Utility::Http::SendFunction function;
        int errorNo;
        std::string message;
    };
    const Case cases[] = {
        {"empty", {}, 1, "引数(send_function)が不正です。"},
        {"first", boost::ref(sender), 0, ""},
        {"second", boost::ref(sender), 2, "既に送信関数は設定されています。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            requester->SetSendFunction(c.function);
            EXPECT_EQ(0, c.errorNo);
        } catch (const Exception& e) {
            EXPECT_EQ(c.errorNo, e.GetErrorNo());
            EXPECT_EQ(c.message, e.what());
        }
    }
}

TEST(HttpRequesterTest, RepliesGoToTheListener)
{
    const auto requester = Requester::CreateInstance(kAgent);
    ResponseInformation response;
    try {
        requester->NotifyReceived(response);
        FAIL() << "a reply without a listener is an error";
    } catch (const Exception& e) {
        EXPECT_EQ(2, e.GetErrorNo());
        EXPECT_STREQ("レスポンスリスナが登録されていない状態でレスポンス電文を受信しました。", e.what());
    }

    const auto listener = boost::make_shared<MockResponseListener>();
    EXPECT_CALL(*listener, OnReceived(Ref(response))).Times(1);
    requester->SetListener(listener);
    requester->SetState(Requester::StateEnded);  // replies pass whatever the state
    requester->NotifyReceived(response);
    EXPECT_EQ(listener, requester->GetListener());
}

TEST(HttpRequesterTest, CallsAndTunnelRequestsAwaitTheirRepliesAudioPostsNone)
{
    RecordingSender sender;
    const auto requester = Requester::CreateInstance(kAgent);
    requester->SetSendFunction(boost::ref(sender));
    requester->SetListener(boost::make_shared<testing::NiceMock<MockResponseListener>>());
    const unsigned char audio[] = {1, 2};
    ResponseInformation reply;
    EXPECT_FALSE(requester->IsAwaitingReply());
    requester->SendAudio("/", BodyPartInformation(audio, 2));
    EXPECT_FALSE(requester->IsAwaitingReply());
    requester->Send("/", {});
    requester->SendConnect("127.0.0.1:1");
    requester->NotifyReceived(reply);
    EXPECT_TRUE(requester->IsAwaitingReply());
    requester->NotifyReceived(reply);
    EXPECT_FALSE(requester->IsAwaitingReply());
    // A reply nobody awaited leaves nothing behind; a refused send counts nothing.
    requester->NotifyReceived(reply);
    sender.failure = "refused";
    EXPECT_THROW(requester->Send("/", {}), Exception);
    EXPECT_FALSE(requester->IsAwaitingReply());
}

// Sends from several threads build their messages at the same time while the state
// ends: each send either arrives whole or fails with the ended state, never half-written.
TEST(HttpRequesterTest, ConcurrentSendsArriveWholeOrFailWithEndedState)
{
    RecordingSender sender;
    const auto requester = Requester::CreateInstance(kAgent);
    requester->SetSendFunction(boost::ref(sender));
    const std::string audio(4000, 'a');
    const int kThreads = 4;
    const int kSends = 200;
    std::atomic<int> refused{0};
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            ++started;
            for (int i = 0; i < kSends; ++i) {
                try {
                    requester->SendAudio("/", BodyPartInformation(Bytes(audio), audio.size()));
                } catch (const Exception& e) {
                    EXPECT_EQ(2, e.GetErrorNo());
                    EXPECT_STREQ("リクエストを送信できる状態ではありません。状態=1", e.what());
                    ++refused;
                } catch (...) {
                    ADD_FAILURE() << "unexpected exception";
                }
            }
        });
    }
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return started == kThreads && !sender.Messages().empty(); }));
    requester->SetState(Requester::StateEnded);
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<std::string> sent = sender.Messages();
    EXPECT_EQ(kThreads * kSends, static_cast<int>(sent.size()) + refused);
    const std::string whole = "POST / HTTP/1.0\r\nContent-Type: audiodata\r\nUser-Agent: " + kAgent +
                              "\r\nContent-Length: 4000\r\n\r\n" + audio;
    for (const std::string& message : sent) {
        ASSERT_EQ(whole, message);
    }
}

} // namespace
