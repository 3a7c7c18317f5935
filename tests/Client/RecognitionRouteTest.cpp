// A whole recognition through the public interface of the shared library, over each
// route to the server: TCP, TCP through an HTTP proxy, WebSocket over TLS, and WebSocket
// over TLS through an HTTP proxy. The server is the loopback recognition server; over
// WebSocket a real TLS WebSocket endpoint relays to it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Orvane/Grammar.h"
#include "Orvane/Recognizer.h"
#include "Orvane/Session.h"
#include "support/ClientError.h"
#include "support/LoopbackSession.h"
#include "support/Owned.h"
#include "support/RecordingListeners.h"
#include "support/TinyproxyPeer.h"
#include "support/TrustedServer.h"
#include "support/WsPeer.h"
#include "support/loopback/LoopbackServer.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

struct Route {
    const char* name;
    bool webSocket;
    bool proxy;
};

std::ostream& operator<<(std::ostream& out, const Route& route) { return out << route.name; }

class RecognitionRouteTest : public ::testing::TestWithParam<Route> {
protected:
    void SetUp() override
    {
        const Route& route = GetParam();
        // The trust is set in the environment before any thread starts.
        if (route.webSocket) {
            trust_.reset(new TrustedServer);
        }
        server_.Start();
        if (route.webSocket) {
            peer_.reset(new WsPeer(trust_->Peer(WsPeer::Mode::Bridge, server_.Port())));
        }
        if (route.proxy) {
            proxy_.reset(new TinyproxyPeer);
        }
    }

    // A session configured for the route.
    Owned<Orvane::Session> NewSession()
    {
        const Route& route = GetParam();
        Owned<Orvane::Session> session(CreateSession2("UTF-8"));
        session->SetParameter("QUOR:ConnectTimer", "10000");
        session->SetParameter("QUOR:ResponseTimer", "60000");
        const std::string proxyHost = route.proxy ? "127.0.0.1" : "";
        const std::string proxyPort = route.proxy ? std::to_string(proxy_->Port()) : "0";
        if (route.webSocket) {
            session->SetServerInformation(peer_->Uri().c_str(), kTestUserAgent, proxyHost.c_str(), proxyPort.c_str());
        } else {
            session->InsertServerInformation(-1, server_.Host().c_str(), std::to_string(server_.Port()).c_str(),
                                             kTestUserAgent, proxyHost.c_str(), proxyPort.c_str());
        }
        return session;
    }

    LoopbackServer server_;
    std::unique_ptr<TrustedServer> trust_;
    std::unique_ptr<WsPeer> peer_;
    std::unique_ptr<TinyproxyPeer> proxy_;
};

TEST_P(RecognitionRouteTest, AWholeRecognition)
{
    const std::vector<ResultSentence> partial = {{0.6, {{"今日;きょう", "ky o u", 0, 10, 0.5}}}};
    const std::vector<ResultSentence> final = {
        {0.9, {{"今日;きょう", "ky o u", 0, 10, 0.8}, {"は", "w a", 10, 15, 0.7}}},
        {0.4, {{"京;きょう", "ky o u", 0, 10, 0.3}}}};
    server_.SetReply("Recognizer::AsyncComplete", Reply::Ok()
                                                      .Then(Notice::SentenceEnd())
                                                      .Then(Notice::TempPoint("", 0.5, partial, "r1"))
                                                      .Then(Notice::EndPoint("", 1.25, final, "r1"))
                                                      .Then(Notice::Completed()));
    EventLog sessionLog;
    RecordingSessionListener sessionListener(sessionLog);
    EventLog recognizerLog;
    RecordingRecognizerListener recognizerListener(recognizerLog);
    EventLog grammarLog;
    RecordingGrammarListener grammarListener(grammarLog);
    std::string speech;
    {
        Owned<Orvane::Session> session = NewSession();
        session->SetListener(&sessionListener);
        Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
        recognizer->SetListener(&recognizerListener);
        Owned<Orvane::Grammar> grammar(recognizer->AttachGrammar(""));
        grammar->SetListener(&grammarListener);
        recognizer->SetParameter("RODI:Mode", "1");
        recognizer->Recognize();
        for (int block = 0; block < 10; ++block) {
            const std::string bytes(640, static_cast<char>('a' + block));
            recognizer->PushSpeech(bytes.data(), static_cast<unsigned int>(bytes.size()));
            speech += bytes;
        }
        recognizer->AsyncComplete();
        ASSERT_TRUE(recognizerLog.WaitForCount(2));
        EXPECT_EQ((std::vector<std::string>{"SentenceEnd", "Completed"}), recognizerLog.Events());
        EXPECT_EQ((std::vector<std::string>{"TempPoint 0.5 r1 今日", "EndPoint 1.25 r1 今日は"}), grammarLog.Events());

        // A second recognition on the same recognizer, waited for with Complete.
        recognizer->Recognize();
        recognizer->Complete(30.0);
        ASSERT_TRUE(recognizerLog.WaitForCount(4));
        grammar.reset();
        recognizer->SetListener(nullptr);
        recognizer.reset();
        session->SetListener(nullptr);
    }
    EXPECT_EQ(0u, sessionLog.Count());

    ASSERT_TRUE(server_.WaitForPeerClosed(0));
    const Recording seen = server_.Snapshot();
    EXPECT_EQ("", seen.AllProblems());
    EXPECT_EQ(speech, seen.Audio());
    std::vector<std::string> methods;
    for (const Received& call : seen.Calls()) {
        methods.push_back(call.call.method);
        EXPECT_EQ(kTestUserAgent, call.http.Value("User-Agent"));
    }
    EXPECT_EQ((std::vector<std::string>{"CreateRecognizer", "Recognizer::SetParameter", "Recognizer::Recognize",
                                        "Recognizer::AsyncComplete", "Recognizer::Recognize",
                                        "Recognizer::AsyncComplete", "Recognizer::Release"}),
              methods);
    EXPECT_EQ(8u, seen.Acknowledgements().size());
    for (const Received& acknowledgement : seen.Acknowledgements()) {
        EXPECT_EQ("1", acknowledgement.success);
    }
    if (GetParam().webSocket) {
        EXPECT_EQ(1, peer_->ConnectionCount());
    }
    if (GetParam().proxy) {
        EXPECT_NE(std::string::npos, proxy_->Log().find("CONNECT")) << proxy_->Log();
    }
}

TEST_P(RecognitionRouteTest, AnUnreachableServerIsError5000)
{
    Owned<Orvane::Session> session = NewSession();
    server_.Stop();
    if (GetParam().webSocket) {
        peer_.reset();
    }
    session->SetParameter("QUOR:ConnectTimer", "2000");
    const ClientError caught = CatchClientError([&] { session->Connect(nullptr); });
    EXPECT_EQ(GetParam().proxy && !GetParam().webSocket ? 4004 : 5000, caught.number) << caught;
}

INSTANTIATE_TEST_SUITE_P(Routes, RecognitionRouteTest,
                         ::testing::Values(Route{"Tcp", false, false}, Route{"TcpThroughProxy", false, true},
                                           Route{"WebSocket", true, false}, Route{"WebSocketThroughProxy", true, true}),
                         [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.name); });

} // namespace
