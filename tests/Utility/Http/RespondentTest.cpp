#include "Utility/Http/Respondent.h"

#include <regex>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/ref.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "support/HttpMocks.h"
#include "support/HttpWire.h"

namespace {

using Orvane::Test::Bytes;
using Orvane::Test::MockRequestListener;
using Orvane::Test::RecordingSender;
using Orvane::Utility::Exception;
using Orvane::Utility::Http::BodyPartInformation;
using Orvane::Utility::Http::RequestInformation;
using Orvane::Utility::Http::Respondent;
using Orvane::Utility::Http::StatusCode;
using testing::_;
using testing::Invoke;
using testing::Ref;

const std::string kAgent = "Tessival/1.0";

// Replaces the date line's value by "<date>" after checking its form.
std::string WithoutDate(const std::string& message)
{
    static const std::regex date("\r\nDate: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [0-9]{2} "
                                 "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} "
                                 "[0-9]{2}:[0-9]{2}:[0-9]{2} GMT\r\n");
    return std::regex_replace(message, date, "\r\nDate: <date>\r\n", std::regex_constants::format_first_only);
}

std::string BoundaryOf(const std::string& message)
{
    static const std::regex pattern("Content-Type: multipart/form-data; boundary=(---[0-9]{17}\\+[0-9]{10})\r\n");
    std::smatch match;
    return std::regex_search(message, match, pattern) ? std::string(match[1]) : "<no boundary>";
}

std::string TextAnswer(const std::string& statusLine, const std::string& body)
{
    return statusLine + "\r\nDate: <date>\r\nUser-Agent: " + kAgent +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

RequestInformation& MakeRequest(RequestInformation& request, const std::string& method, const std::string& agent = "")
{
    request.method = method;
    request.uri = "/";
    request.version = "1.0";
    if (!agent.empty()) {
        request.headers["user-agent"] = agent;
    }
    return request;
}

struct HttpRespondentFixture : testing::Test {
    HttpRespondentFixture()
        : respondent(Respondent::CreateInstance("127.0.0.1:8080", kAgent)),
          listener(boost::make_shared<MockRequestListener>())
    {
        respondent->SetSendFunction(boost::ref(sender));
        respondent->SetListener(listener);
    }

    RecordingSender sender;
    boost::shared_ptr<Respondent> respondent;
    boost::shared_ptr<MockRequestListener> listener;
};

TEST_F(HttpRespondentFixture, AnswersEachShapeExactly)
{
    const std::string part = "Content-Disposition: form-data; name=\"return\"\r\nContent-Length: 9\r\n\r\n<Return/>";
    const std::string body = "accepted\r\n";
    struct Case {
        const char* name;
        std::function<void(Respondent&)> answer;
        std::function<std::string(const std::string& boundary)> expected;
    };
    const Case cases[] = {
        {"200 with text",
         [&](Respondent& r) { r.Send(StatusCode(200), Bytes(body), body.size()); },
         [&](const std::string&) { return TextAnswer("HTTP/1.0 200 OK", body); }},
        {"400 empty", [](Respondent& r) { r.Send(StatusCode(400), nullptr, 0); },
         [](const std::string&) { return TextAnswer("HTTP/1.0 400 Bad Request", ""); }},
        {"403 empty", [](Respondent& r) { r.Send(StatusCode(403), nullptr, 0); },
         [](const std::string&) { return TextAnswer("HTTP/1.0 403 Forbidden", ""); }},
        {"multipart", [&](Respondent& r) { r.Send({BodyPartInformation(Bytes(part), part.size())}); },
         [&](const std::string& b) {
             return "HTTP/1.0 200 OK\r\nDate: <date>\r\nUser-Agent: " + kAgent +
                    "\r\nContent-Type: multipart/form-data; boundary=" + b +
                    "\r\nContent-Length: " + std::to_string(2 * 37 + part.size()) + "\r\n\r\n--" + b + "\r\n" + part +
                    "\r\n--" + b + "--\r\n";
         }},
        {"multipart without parts", [](Respondent& r) { r.Send(std::vector<BodyPartInformation>{}); },
         [](const std::string& b) {
             return "HTTP/1.0 200 OK\r\nDate: <date>\r\nUser-Agent: " + kAgent +
                    "\r\nContent-Type: multipart/form-data; boundary=" + b + "\r\nContent-Length: 37\r\n\r\n--" + b +
                    "--\r\n";
         }},
    };
    EXPECT_CALL(*listener, OnReceived(Ref(*respondent), _)).Times(std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RequestInformation request;
        respondent->NotifyReceived(MakeRequest(request, "POST"));
        EXPECT_EQ(Respondent::StatePending, respondent->GetState());
        c.answer(*respondent);
        EXPECT_EQ(Respondent::StateIdle, respondent->GetState());
        const std::string sent = sender.Messages().back();
        EXPECT_EQ(c.expected(BoundaryOf(sent)), WithoutDate(sent));
    }
    EXPECT_EQ(std::size(cases), sender.Messages().size());
}

TEST_F(HttpRespondentFixture, ListenerAnswersDuringTheCall)
{
    const std::string part = "Content-Length: 2\r\n\r\nok";
    RequestInformation request;
    EXPECT_CALL(*listener, OnReceived(Ref(*respondent), Ref(request)))
        .WillOnce(Invoke([&](Respondent& r, const RequestInformation&) {
            r.Send({BodyPartInformation(Bytes(part), part.size())});
        }));
    respondent->NotifyReceived(MakeRequest(request, "GET"));
    EXPECT_EQ(Respondent::StateIdle, respondent->GetState());
    ASSERT_EQ(1u, sender.Messages().size());
    EXPECT_EQ(0u, sender.Messages()[0].find("HTTP/1.0 200 OK\r\n"));
}

// Methods other than POST and GET, and user agents outside a non-empty allowed set, are
// answered by the respondent itself and never reach the listener.
TEST_F(HttpRespondentFixture, RefusedRequestsAreAnsweredWithoutTheListener)
{
    struct Case {
        const char* name;
        std::string method;
        std::vector<std::string> allowed;
        std::string agent;
        std::string answer;  // "" when the listener gets the request
    };
    const Case cases[] = {
        {"PUT", "PUT", {}, "", TextAnswer("HTTP/1.0 400 Bad Request", "")},
        {"lower-case post", "post", {}, "", TextAnswer("HTTP/1.0 400 Bad Request", "")},
        {"empty method", "", {}, "", TextAnswer("HTTP/1.0 400 Bad Request", "")},
        {"any agent when none are listed", "POST", {}, "", ""},
        {"listed agent", "POST", {"Server/2"}, "Server/2", ""},
        {"agent compared with case", "POST", {"Server/2"}, "server/2", TextAnswer("HTTP/1.0 403 Forbidden", "")},
        {"missing agent", "POST", {"Server/2"}, "", TextAnswer("HTTP/1.0 403 Forbidden", "")},
        {"bad method before agent check", "PUT", {"Server/2"}, "x", TextAnswer("HTTP/1.0 400 Bad Request", "")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto subject = Respondent::CreateInstance("127.0.0.1:8080", kAgent);
        RecordingSender answers;
        subject->SetSendFunction(boost::ref(answers));
        const auto watcher = boost::make_shared<MockRequestListener>();
        subject->SetListener(watcher);
        subject->GetAllowedUserAgents()->insert(c.allowed.begin(), c.allowed.end());
        EXPECT_CALL(*watcher, OnReceived(_, _)).Times(c.answer.empty() ? 1 : 0);
        RequestInformation request;
        subject->NotifyReceived(MakeRequest(request, c.method, c.agent));
        if (c.answer.empty()) {
            EXPECT_TRUE(answers.Messages().empty());
            EXPECT_EQ(Respondent::StatePending, subject->GetState());
        } else {
            ASSERT_EQ(1u, answers.Messages().size());
            EXPECT_EQ(c.answer, WithoutDate(answers.Messages()[0]));
            EXPECT_EQ(Respondent::StateIdle, subject->GetState());
        }
    }
}

TEST_F(HttpRespondentFixture, StateChecks)
{
    const auto expectError = [](const std::function<void()>& call, int errorNo, const std::string& message) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(errorNo, e.GetErrorNo());
            EXPECT_EQ(message, e.what());
        }
    };
    RequestInformation request;
    MakeRequest(request, "POST");

    // Nothing pending: no answer.
    expectError([&] { respondent->Send(StatusCode(200), nullptr, 0); }, 2,
                "レスポンスを送信できる状態ではありません。状態=0");

    // A second request before the first is answered; the first can still be answered.
    EXPECT_CALL(*listener, OnReceived(_, _)).Times(1);
    respondent->NotifyReceived(request);
    expectError([&] { respondent->NotifyReceived(request); }, 2,
                "レスポンス電文の応答前にリクエストを受信しました。状態=1");
    respondent->Send(StatusCode(200), nullptr, 0);
    EXPECT_EQ(Respondent::StateIdle, respondent->GetState());

    // No listener: the request stays pending.
    respondent->SetListener({});
    expectError([&] { respondent->NotifyReceived(request); }, 2,
                "リクエストリスナが登録されていない状態でリクエスト電文を受信しました。");
    EXPECT_EQ(Respondent::StatePending, respondent->GetState());

    // Ended: every request and every answer is refused.
    respondent->SetState(Respondent::StateEnded);
    expectError([&] { respondent->NotifyReceived(request); }, 2,
                "レスポンス電文の応答前にリクエストを受信しました。状態=2");
    expectError([&] { respondent->Send(std::vector<BodyPartInformation>{}); }, 2,
                "レスポンスを送信できる状態ではありません。状態=2");
    EXPECT_EQ(1u, sender.Messages().size());
}

// A failed answer leaves the respondent idle; the failures name the form of the answer.
TEST(HttpRespondentTest, FailedAnswers)
{
    struct Case {
        const char* name;
        std::string agent;
        std::string senderFailure;
        std::function<void(Respondent&)> answer;
        int errorNo;
        std::string message;
    };
    const std::string refused = "User-Agentに使用できない文字(CR, LF, NUL)が含まれています。";
    const Case cases[] = {
        {"text, send fails", kAgent, "reset", [](Respondent& r) { r.Send(StatusCode(200), nullptr, 0); }, 45,
         "レスポンス電文の送信処理で例外が発生しました。原因=[reset]"},
        {"parts, send fails", kAgent, "reset", [](Respondent& r) { r.Send(std::vector<BodyPartInformation>{}); }, 46,
         "レスポンス電文の送信処理で例外が発生しました。原因=[reset]"},
        {"unknown status", kAgent, "", [](Respondent& r) { r.Send(StatusCode(404), nullptr, 0); }, 44,
         "レスポンス電文の作成処理で例外が発生しました。原因=[指定されたステータスコードは不正です。値=404]"},
        {"text without bytes", kAgent, "", [](Respondent& r) { r.Send(StatusCode(200), nullptr, 3); }, 44,
         "レスポンス電文の作成処理で例外が発生しました。原因=[引数(buffer)が不正です。]"},
        {"text, agent with LF", "a\nb", "", [](Respondent& r) { r.Send(StatusCode(200), nullptr, 0); }, 44,
         "レスポンス電文の作成処理で例外が発生しました。原因=[" + refused + "]"},
        {"parts, agent with CR", "a\rb", "", [](Respondent& r) { r.Send(std::vector<BodyPartInformation>{}); }, 44,
         "レスポンス電文の作成処理で例外が発生しました。。原因=[" + refused + "]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto respondent = Respondent::CreateInstance("127.0.0.1:8080", c.agent);
        RecordingSender sender;
        sender.failure = c.senderFailure;
        respondent->SetSendFunction(boost::ref(sender));
        respondent->SetListener(boost::make_shared<testing::NiceMock<MockRequestListener>>());
        RequestInformation request;
        respondent->NotifyReceived(MakeRequest(request, "POST"));
        try {
            c.answer(*respondent);
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(c.errorNo, e.GetErrorNo());
            EXPECT_EQ(c.message, e.what());
        }
        EXPECT_EQ(Respondent::StateIdle, respondent->GetState());
        EXPECT_TRUE(sender.Messages().empty());
    }
}

TEST(HttpRespondentTest, AnswerWithoutSendFunctionIsDropped)
{
    const auto respondent = Respondent::CreateInstance("127.0.0.1:8080", kAgent);
    EXPECT_EQ("127.0.0.1:8080", respondent->GetPeer());
    RequestInformation request;
    respondent->NotifyReceived(MakeRequest(request, "PUT"));  // answered with 400, dropped
    EXPECT_EQ(Respondent::StateIdle, respondent->GetState());
    EXPECT_THROW(respondent->SetSendFunction({}), Exception);
}

} // namespace
