#include <gtest/gtest.h>

#include "Orvane/GrammarListener.h"
#include "Orvane/Recognizer.h"
#include "Orvane/RecognizerListener.h"
#include "Orvane/Session.h"
#include "Orvane/SessionListener.h"
#include "support/ClientError.h"
#include "support/LoopbackSession.h"
#include "support/Owned.h"
#include "support/loopback/LoopbackServer.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

// An error that counts its releases.
class CountedError : public Orvane::Exception {
public:
    void Release() override { ++released; }
    const char* GetType() override { return "Test"; }
    int GetErrorNo() override { return 1; }
    const char* GetErrorMessage() override { return "counted"; }

    int released = 0;
};

// Listeners that override nothing accept every event silently; the recognizer listener's
// error is its own, so the default releases it, while the session's stays the library's.
TEST(PublicInterfaceTest, ListenerDefaults)
{
    Orvane::GrammarListener grammar;
    grammar.StartPoint(1.0);
    grammar.EndPoint(2.0, "id", nullptr);
    grammar.TempPoint(3.0, nullptr, nullptr);
    EXPECT_STREQ("", grammar.GetRecognitionID());
    grammar.Release();

    Orvane::RecognizerListener recognizer;
    CountedError owned;
    recognizer.Error(&owned);
    EXPECT_EQ(1, owned.released);
    recognizer.Error(nullptr);
    recognizer.SentenceEnd();
    recognizer.Completed();
    recognizer.Match(nullptr);
    recognizer.Startable();
    recognizer.Release();

    Orvane::SessionListener session;
    CountedError lent;
    session.Error(&lent);
    EXPECT_EQ(0, lent.released);
    session.Error(nullptr);
    session.Release();
}

// An application's listener that keeps the default Error: the server's error reaches it and
// is freed there (the sanitizer pass checks for leaks at exit).
TEST(PublicInterfaceTest, AServerErrorEndsInADefaultListener)
{
    class QuietListener : public Orvane::RecognizerListener {
    };
    LoopbackServer server;
    server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::Error("Server", 4003, "no speech")));
    server.Start();
    QuietListener listener;
    {
        Owned<Orvane::Session> session = LoopbackSession(server);
        Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
        recognizer->SetListener(&listener);
        recognizer->Recognize();
        // The completion sees the error before the listener does; releasing the recognizer
        // joins the notification thread, so the listener has had it by the end of this scope.
        const ClientError caught = CatchClientError([&] { recognizer->Complete(30.0); });
        EXPECT_EQ(7000, caught.number) << caught;
        EXPECT_NE(std::string::npos, caught.message.find("no speech")) << caught;
    }
    EXPECT_EQ("", server.Snapshot().AllProblems());
}

} // namespace
