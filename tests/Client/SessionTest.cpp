#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Client/Recognizer.h"
#include "Client/Session.h"
#include "Orvane/Grammar.h"
#include "Orvane/Session.h"
#include "support/ClientError.h"
#include "support/LoopbackSession.h"
#include "support/Owned.h"
#include "support/RecordingListeners.h"
#include "support/SocketPeer.h"
#include "support/WaitFor.h"
#include "support/loopback/LoopbackServer.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

const char* const kInternal = "内部エラーが発生しました。詳細=";
const char* const kCannotConnect = "音声認識サーバに接続できません。詳細=";

std::string Internal(const std::string& detail) { return kInternal + detail; }
std::string CannotConnect(const std::string& detail) { return kCannotConnect + detail; }

Orvane::Client::Session& Client(Orvane::Session* session) { return *static_cast<Orvane::Client::Session*>(session); }

struct Expected {
    int number;
    std::string message;
};

void ExpectError(const ClientError& caught, const Expected& expected)
{
    if (expected.number == 0) {
        EXPECT_FALSE(caught.thrown) << caught;
        return;
    }
    ASSERT_TRUE(caught.thrown);
    EXPECT_EQ("Orvane::Client", caught.type);
    EXPECT_EQ(expected.number, caught.number);
    EXPECT_EQ(expected.message, caught.message);
}

TEST(SessionTest, FactoriesChooseTheEncodingByTheWholeNameInAnyCase)
{
    struct Case {
        const char* encoding;
        int mode;
    } cases[] = {{"Shift_JIS", 1}, {"shift_jis", 1}, {"SHIFT_JIS", 1}, {"Shift_JI", 2},
                 {"Shift_JISX", 2}, {"", 2},       {"UTF-8", 2},     {nullptr, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding != nullptr ? c.encoding : "(null)");
        Owned<Orvane::Session> session(CreateSession2(c.encoding));
        EXPECT_EQ(c.mode, Client(session.get()).EncodingMode());
    }
    Owned<Orvane::Session> session(CreateSession());
    EXPECT_EQ(2, Client(session.get()).EncodingMode());
    EXPECT_EQ(nullptr, CreateRecognizer());
    EXPECT_EQ(nullptr, CreateRecognizer2());
}

TEST(SessionTest, ParametersStartAtTheirDefaults)
{
    Owned<Orvane::Session> session(CreateSession());
    EXPECT_STREQ("3000", session->GetParameter("QUOR:ConnectTimer"));
    EXPECT_STREQ("5000", session->GetParameter("QUOR:ReceiveTimer"));
    EXPECT_STREQ("5000", session->GetParameter("QUOR:SendTimer"));
    EXPECT_STREQ("10000", session->GetParameter("QUOR:ResponseTimer"));
    EXPECT_STREQ("3.0.0.0 [Nov 25 2015 05:18:16]", session->GetParameter("QUOR:Version"));
}

TEST(SessionTest, SetParameterStoresTimerTextsAndRefusesTheRest)
{
    struct Case {
        const char* name;
        const char* value;
        Expected error;
        const char* stored; // the value of `name` afterwards, when it is a timer
    } cases[] = {
        {"QUOR:ConnectTimer", "+1500", {0, ""}, "+1500"},
        {"QUOR:ReceiveTimer", "1", {0, ""}, "1"},
        {"QUOR:SendTimer", "2147483647", {0, ""}, "2147483647"},
        {"QUOR:ResponseTimer", "250", {0, ""}, "250"},
        {"QUOR:ConnectTimer", "0", {7000, Internal("タイマに不正な値が指定されました。")}, "3000"},
        {"QUOR:ConnectTimer", "-5", {7000, Internal("タイマに不正な値が指定されました。")}, "3000"},
        {"QUOR:ConnectTimer", "abc", {7000, Internal("タイマに不正な値が指定されました。")}, "3000"},
        {"QUOR:ConnectTimer", " 15", {7000, Internal("タイマに不正な値が指定されました。")}, "3000"},
        {"QUOR:ConnectTimer", "15ms", {7000, Internal("タイマに不正な値が指定されました。")}, "3000"},
        {"QUOR:ReceiveTimer", "2147483648", {7000, Internal("タイマに不正な値が指定されました。")}, "5000"},
        {"QUOR:ConnectTimer", "", {7000, Internal("パラメータ値が指定されていません。")}, "3000"},
        {"QUOR:ConnectTimer", nullptr, {7000, Internal("パラメータ値が指定されていません。")}, "3000"},
        {"", "1", {7000, Internal("パラメータ名が指定されていません。")}, nullptr},
        {nullptr, "1", {7000, Internal("パラメータ名が指定されていません。")}, nullptr},
        {nullptr, nullptr, {7000, Internal("パラメータ名が指定されていません。")}, nullptr},
        {"QUOR:Version", "1", {7000, Internal("未サポートのパラメータが指定されました。QUOR:Version")}, nullptr},
        {"quor:ConnectTimer", "1", {7000, Internal("未サポートのパラメータが指定されました。quor:ConnectTimer")}, nullptr},
        {"RODI:Timeout", "1", {7000, Internal("未サポートのパラメータが指定されました。RODI:Timeout")}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name ? c.name : "(null)") + " = " + (c.value ? c.value : "(null)"));
        Owned<Orvane::Session> session(CreateSession());
        ExpectError(CatchClientError([&] { session->SetParameter(c.name, c.value); }), c.error);
        if (c.stored != nullptr) {
            EXPECT_STREQ(c.stored, session->GetParameter(c.name));
        }
    }
}

TEST(SessionTest, GetParameterKnowsOnlyTheTimersAndTheVersion)
{
    struct Case {
        const char* name;
        Expected error;
    } cases[] = {
        {"QUOR:Other", {7000, Internal("未知のパラメータが指定されました。QUOR:Other")}},
        {"ConnectTimer", {7000, Internal("未知のパラメータが指定されました。ConnectTimer")}},
        {"quor:ConnectTimer", {7000, Internal("未知のパラメータが指定されました。quor:ConnectTimer")}},
        {"", {7000, Internal("パラメータ名が指定されていません。")}},
        {nullptr, {7000, Internal("パラメータ名が指定されていません。")}},
    };
    Owned<Orvane::Session> session(CreateSession());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        ExpectError(CatchClientError([&] { session->GetParameter(c.name); }), c.error);
    }
}

TEST(SessionTest, ServerEntriesKeepTheirOrderAndRefuseBadInformation)
{
    typedef std::vector<Orvane::Client::Session::Entry> Entries;
    Owned<Orvane::Session> session(CreateSession());
    const auto insert = [&](int index, const char* address, const char* port, const char* agent = "agent",
                            const char* proxyHost = "", const char* proxyPort = "0") {
        return CatchClientError(
            [&] { session->InsertServerInformation(index, address, port, agent, proxyHost, proxyPort); });
    };
    ExpectError(insert(-1, "192.0.2.1", "1"), {0, ""});
    ExpectError(insert(-1, "192.0.2.2", "2"), {0, ""});
    ExpectError(insert(-1, "192.0.2.3", "3"), {0, ""});
    ExpectError(insert(0, "192.0.2.0", "65535"), {0, ""});
    ExpectError(insert(4, "192.0.2.4", "-1"), {0, ""}); // index == count appends; "-1" reads as 65535
    EXPECT_EQ((Entries{{"192.0.2.0", "65535"},
                       {"192.0.2.1", "1"},
                       {"192.0.2.2", "2"},
                       {"192.0.2.3", "3"},
                       {"192.0.2.4", "-1"}}),
              Client(session.get()).ServerEntries());

    struct Case {
        const char* label;
        ClientError caught;
        Expected error;
    } cases[] = {
        {"index past the end", insert(6, "192.0.2.9", "9"), {7000, Internal("インデックスに不正な値が指定されました。")}},
        {"index -2", insert(-2, "192.0.2.9", "9"), {7000, Internal("インデックスに不正な値が指定されました。")}},
        {"port 0", insert(-1, "192.0.2.9", "0"), {5000, CannotConnect("ポート番号に不正な値が指定されました。")}},
        {"port 70000", insert(-1, "192.0.2.9", "70000"), {5000, CannotConnect("ポート番号に不正な値が指定されました。")}},
        {"port abc", insert(-1, "192.0.2.9", "abc"), {5000, CannotConnect("ポート番号に不正な値が指定されました。")}},
        {"no address", insert(-1, "", "9"), {5000, CannotConnect("接続先のIPアドレスが指定されていません。")}},
        {"null address", insert(-1, nullptr, "9"), {5000, CannotConnect("接続先のIPアドレスが指定されていません。")}},
        {"no port", insert(-1, "192.0.2.9", ""), {5000, CannotConnect("接続先のポート番号が指定されていません。")}},
        {"null port", insert(-1, "192.0.2.9", nullptr), {5000, CannotConnect("接続先のポート番号が指定されていません。")}},
        {"no agent", insert(-1, "192.0.2.9", "9", ""), {5000, CannotConnect("ユーザエージェントが指定されていません。")}},
        {"null agent", insert(-1, "192.0.2.9", "9", nullptr),
         {5000, CannotConnect("ユーザエージェントが指定されていません。")}},
        {"empty proxy host, no proxy port", insert(-1, "192.0.2.9", "9", "agent", "", ""),
         {5000, CannotConnect("プロキシのポート番号が指定されていません。")}},
        {"proxy host, null proxy port", insert(-1, "192.0.2.9", "9", "agent", "proxy", nullptr),
         {5000, CannotConnect("プロキシのポート番号が指定されていません。")}},
        {"proxy port abc", insert(-1, "192.0.2.9", "9", "agent", "proxy", "abc"), {7000, ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.error.message.empty()) {
            EXPECT_EQ(c.error.number, c.caught.number) << c.caught;
            EXPECT_EQ(0u, c.caught.message.find(Internal("接続先情報の挿入に失敗しました。"))) << c.caught;
        } else {
            ExpectError(c.caught, c.error);
        }
    }
    EXPECT_EQ(5u, Client(session.get()).ServerEntries().size());

    // No proxy host at all (null, or empty with any port) is no proxy; the port need not be given.
    ExpectError(insert(-1, "192.0.2.5", "5", "agent", nullptr, nullptr), {0, ""});
    ExpectError(insert(-1, "192.0.2.6", "6", "agent", "", "-1"), {0, ""});
    EXPECT_EQ(7u, Client(session.get()).ServerEntries().size());

    session->ClearServerInformation();
    EXPECT_TRUE(Client(session.get()).ServerEntries().empty());
}

TEST(SessionTest, WebSocketRouteRefusesMissingInformation)
{
    Owned<Orvane::Session> session(CreateSession());
    struct Case {
        const char* uri;
        const char* agent;
        const char* proxyHost;
        const char* proxyPort;
        Expected error;
    } cases[] = {
        {"wss://127.0.0.1:1/", "agent", "", "0", {0, ""}},
        {"wss://127.0.0.1:1/", "agent", nullptr, nullptr, {0, ""}},
        {"wss://127.0.0.1:1/", "agent", "proxy", "8080", {0, ""}},
        {"", "agent", "", "0", {5000, CannotConnect("WSプロキシサーバのURIが指定されていません。")}},
        {nullptr, "agent", "", "0", {5000, CannotConnect("WSプロキシサーバのURIが指定されていません。")}},
        {"wss://127.0.0.1:1/", "", "", "0", {5000, CannotConnect("ユーザエージェントが指定されていません。")}},
        {"wss://127.0.0.1:1/", nullptr, "", "0", {5000, CannotConnect("ユーザエージェントが指定されていません。")}},
        {"wss://127.0.0.1:1/", "agent", "", "", {5000, CannotConnect("プロキシのポート番号が指定されていません。")}},
        {"wss://127.0.0.1:1/", "agent", "proxy", nullptr,
         {5000, CannotConnect("プロキシのポート番号が指定されていません。")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.uri ? c.uri : "(null)") + " " + (c.agent ? c.agent : "(null)") + " " +
                     (c.proxyHost ? c.proxyHost : "(null)") + " " + (c.proxyPort ? c.proxyPort : "(null)"));
        ExpectError(CatchClientError([&] { session->SetServerInformation(c.uri, c.agent, c.proxyHost, c.proxyPort); }),
                    c.error);
    }
    // A proxy port that is no number is refused as an error of the library, not a conversion
    // error of the number reader.
    const ClientError caught = CatchClientError([&] { session->SetServerInformation("wss://h/", "a", "p", "x"); });
    EXPECT_EQ(7000, caught.number) << caught;
    EXPECT_EQ(0u, caught.message.find(Internal("接続先情報の設定に失敗しました。"))) << caught;
}

TEST(SessionTest, ResourceEntriesAcceptTheThreeKinds)
{
    typedef std::vector<Orvane::Client::Session::Entry> Entries;
    Owned<Orvane::Session> session(CreateSession());
    session->InsertResourceInformation("AcousticModel", "am");
    session->InsertResourceInformation("LanguageModel", "lm");
    session->InsertResourceInformation("Grammar", "g");
    struct Case {
        const char* type;
        const char* name;
        Expected error;
    } cases[] = {
        {"Recognizer", "r", {7000, Internal("不正なリソース識別子が指定されました。Recognizer")}},
        {"grammar", "r", {7000, Internal("不正なリソース識別子が指定されました。grammar")}},
        {"", "r", {7000, Internal("認識リソース識別情報が指定されていません。")}},
        {nullptr, "r", {7000, Internal("認識リソース識別情報が指定されていません。")}},
        {"Grammar", "", {7000, Internal("認識リソース名が指定されていません。")}},
        {"Grammar", nullptr, {7000, Internal("認識リソース名が指定されていません。")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type ? c.type : "(null)") + " " + (c.name ? c.name : "(null)"));
        ExpectError(CatchClientError([&] { session->InsertResourceInformation(c.type, c.name); }), c.error);
    }
    EXPECT_EQ((Entries{{"AcousticModel", "am"}, {"LanguageModel", "lm"}, {"Grammar", "g"}}),
              Client(session.get()).ResourceEntries());
    session->ClearResourceInformation();
    EXPECT_TRUE(Client(session.get()).ResourceEntries().empty());
}

class SessionConnectTest : public ::testing::Test {
protected:
    void SetUp() override { server_.Start(); }

    Owned<Orvane::Session> NewSession() { return LoopbackSession(server_); }

    LoopbackServer server_;
};

TEST_F(SessionConnectTest, ConnectFallsOverFromADeadEntryToALiveOne)
{
    std::unique_ptr<SocketPeer> dead = SocketPeer::Refusing();
    Owned<Orvane::Session> session(CreateSession());
    session->SetParameter("QUOR:ResponseTimer", "600000");
    session->InsertServerInformation(-1, "127.0.0.1", std::to_string(dead->Port()).c_str(), kTestUserAgent, "", "0");
    session->InsertServerInformation(-1, "127.0.0.1", std::to_string(server_.Port()).c_str(), kTestUserAgent, "",
                                     "0");
    Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
    ASSERT_TRUE(recognizer);
    const Recording seen = server_.Snapshot();
    ASSERT_EQ(1u, seen.CallCount("CreateRecognizer"));
    EXPECT_EQ(0u, seen.Count(MessageKind::Connect));
    EXPECT_EQ("", seen.AllProblems());
    EXPECT_EQ(kTestUserAgent, seen.Calls("CreateRecognizer")[0].http.Value("User-Agent"));
}

// The direct route's 5000 named neither the servers nor why they failed.
TEST_F(SessionConnectTest, NoReachableServerIsError5000NamingEachServerAndItsCause)
{
    std::unique_ptr<SocketPeer> dead = SocketPeer::Refusing();
    Owned<Orvane::Session> session(CreateSession());
    const std::string none = "接続可能なサーバがありません。";
    ExpectError(CatchClientError([&] { session->Connect(nullptr); }), {5000, CannotConnect(none)});
    const std::string port = std::to_string(dead->Port());
    session->InsertServerInformation(-1, "127.0.0.1", port.c_str(), "a", "", "0");
    session->InsertServerInformation(-1, "127.0.0.1", port.c_str(), "a", "", "0");
    const std::string refused = "接続処理が失敗しました。接続先=127.0.0.1:" + port + ", 原因=[system:111]";
    ExpectError(CatchClientError([&] { session->Connect(nullptr); }), {5000, CannotConnect(none + refused + refused)});
}

TEST_F(SessionConnectTest, ClearingTheServerEntriesLeavesTheWebSocketRouteOn)
{
    std::unique_ptr<SocketPeer> dead = SocketPeer::Refusing();
    Owned<Orvane::Session> session(CreateSession());
    session->InsertServerInformation(-1, server_.Host().c_str(), std::to_string(server_.Port()).c_str(), "a", "", "0");
    session->SetServerInformation(("wss://127.0.0.1:" + std::to_string(dead->Port()) + "/").c_str(), "a", "", "0");
    session->ClearServerInformation();
    const ClientError caught = CatchClientError([&] { session->Connect(nullptr); });
    EXPECT_EQ(5000, caught.number) << caught;
    EXPECT_NE(CannotConnect("接続可能なサーバがありません。"), caught.message);
    EXPECT_EQ(0u, server_.Snapshot().connections.size());
}

TEST_F(SessionConnectTest, AShiftJisSessionHandsItsEncodingToTheRecognizer)
{
    EventLog log;
    RecordingGrammarListener listener(log);
    Owned<Orvane::Session> session = LoopbackSession(server_, "Shift_JIS");
    Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
    Owned<Orvane::Grammar> grammar(recognizer->AttachGrammar(""));
    grammar->SetListener(&listener);
    server_.Notify(Notice::EndPoint("", 1.0, {{0.9, {{"今日", "ky o u", 0, 10, 0.8}}}}));
    ASSERT_TRUE(log.WaitForCount(1));
    // "今日" in Shift_JIS.
    EXPECT_EQ("EndPoint 1 1 \x8d\xa1\x93\xfa", log.Events()[0]);
}

TEST_F(SessionConnectTest, WithAProxyHostOnlyTheProxyIsTriedAndAskedForATunnel)
{
    std::unique_ptr<SocketPeer> dead = SocketPeer::Refusing();
    Owned<Orvane::Session> session(CreateSession());
    session->SetParameter("QUOR:ResponseTimer", "600000");
    // The loopback server answers CONNECT as a proxy without header lines would, then
    // carries the protocol on: it stands in for proxy and server.
    session->InsertServerInformation(-1, "192.0.2.7", std::to_string(dead->Port()).c_str(), kTestUserAgent,
                                     "127.0.0.1", std::to_string(server_.Port()).c_str());
    Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
    const Recording seen = server_.Snapshot();
    ASSERT_EQ(1u, seen.Count(MessageKind::Connect));
    EXPECT_EQ("CONNECT 192.0.2.7:" + std::to_string(dead->Port()) + " HTTP/1.1",
              seen.Of(MessageKind::Connect)[0].http.startLine);
    EXPECT_EQ(1u, seen.CallCount("CreateRecognizer"));
    EXPECT_EQ("", seen.AllProblems());

    // A refused tunnel ends Connect with the server fault and closes the connection.
    server_.QueueReply(Script::kConnect, Reply::Status(403));
    const ClientError refused = CatchClientError([&] { session->Connect(nullptr); });
    EXPECT_EQ(4004, refused.number) << refused;
    EXPECT_TRUE(server_.WaitForPeerClosed(1));
}

TEST_F(SessionConnectTest, CreateRecognizerCarriesTheNameWhenThereIsOne)
{
    Owned<Orvane::Session> session = NewSession();
    const char* names[] = {nullptr, "", "abc"};
    for (const char* name : names) {
        Owned<Orvane::Recognizer> recognizer(session->Connect(name));
    }
    const std::vector<Received> calls = server_.Snapshot().Calls("CreateRecognizer");
    ASSERT_EQ(3u, calls.size());
    EXPECT_TRUE(calls[0].call.arguments.children.empty());
    EXPECT_TRUE(calls[1].call.arguments.children.empty());
    EXPECT_EQ(std::vector<std::string>{"abc"}, calls[2].call.Arguments("String"));
    for (const Received& call : calls) {
        EXPECT_FALSE(call.call.hasTarget);
    }
}

TEST_F(SessionConnectTest, AFailingCreateRecognizerClosesTheConnectionAndPassesTheServerError)
{
    Owned<Orvane::Session> session = NewSession();
    server_.QueueReply("CreateRecognizer", Reply::Failure("Server", 12, "busy"));
    const ClientError caught = CatchClientError([&] { session->Connect(nullptr); });
    EXPECT_EQ("Server", caught.type);
    EXPECT_EQ(12, caught.number);
    EXPECT_EQ("busy", caught.message);
    EXPECT_TRUE(server_.WaitForPeerClosed(0));
}

// A failed Connect stopped the session's latest sender, which an earlier Connect had made
// for a recognizer still in use.
TEST_F(SessionConnectTest, AFailedConnectLeavesTheRecognizerOfAnEarlierOneWorking)
{
    Owned<Orvane::Session> session = NewSession();
    Owned<Orvane::Recognizer> first(session->Connect(nullptr));

    // Fails before it has a sender of its own: no server is reachable.
    session->ClearServerInformation();
    EXPECT_EQ(5000, CatchClientError([&] { session->Connect(nullptr); }).number);
    // Fails after it made a sender: the server refuses the recognizer.
    session->InsertServerInformation(-1, server_.Host().c_str(), std::to_string(server_.Port()).c_str(), "a", "", "0");
    server_.QueueReply("CreateRecognizer", Reply::Failure("Server", 1, "no"));
    EXPECT_EQ(1, CatchClientError([&] { session->Connect(nullptr); }).number);
    EXPECT_TRUE(server_.WaitForPeerClosed(1));

    first->Recognize();
    EXPECT_EQ(1u, server_.Snapshot().CallCount("Recognizer::Recognize"));
    EXPECT_FALSE(server_.Snapshot().connections[0].peerClosed);
}

TEST_F(SessionConnectTest, ReleaseLeavesNoListenerWithTheSenders)
{
    EventLog log;
    RecordingSessionListener listener(log);
    Owned<Orvane::Session> session = NewSession();
    session->SetListener(&listener);
    Owned<Orvane::Recognizer> first(session->Connect(nullptr));
    Owned<Orvane::Recognizer> second(session->Connect(nullptr));

    // While the session lives, a transport end reaches its listener.
    server_.Reset(1);
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ(0u, log.Events()[0].find("SessionError Orvane::Client 500")) << log.Events()[0];

    // Once it is released, the end of an earlier Connect's connection reaches no listener:
    // the completion it ends shows that the sender has heard of it (senders hear first).
    first->Recognize();
    first->AsyncComplete();
    session.reset();
    server_.Reset(0);
    auto* recognizer = static_cast<Orvane::Client::Recognizer*>(first.get());
    ASSERT_TRUE(WaitFor([&] { return recognizer->GetState() == Orvane::Client::Recognizer::Idle; }));
    EXPECT_EQ(1u, log.Count());
}

TEST_F(SessionConnectTest, ATimerChangedAfterConnectReachesTheRunningController)
{
    EventLog log;
    RecordingSessionListener listener(log);
    Owned<Orvane::Session> session = NewSession();
    session->SetListener(&listener);
    Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
    session->SetParameter("QUOR:ResponseTimer", "100");
    EXPECT_STREQ("100", session->GetParameter("QUOR:ResponseTimer"));
    // The next reply arms the response wait with the new value; nothing follows it.
    recognizer->SetParameter("RODI:Test", "1");
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ(0u, log.Events()[0].find("SessionError Orvane::Client 5002")) << log.Events()[0];
}

} // namespace
