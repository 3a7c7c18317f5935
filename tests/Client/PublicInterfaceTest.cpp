#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "Orvane/GrammarListener.h"
#include "Orvane/Recognizer.h"
#include "Orvane/RecognizerListener.h"
#include "Orvane/Session.h"
#include "Orvane/SessionListener.h"
#include "support/ClientError.h"
#include "support/LoopbackSession.h"
#include "support/Owned.h"
#include "support/WaitFor.h"
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

// Listeners that override nothing accept every event silently. The default Error of either
// listener releases nothing itself: the library releases what a recognizer listener leaves
// to the default after its own call, and the session's error stays the library's.
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
    EXPECT_EQ(0, owned.released);
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

// A server's error reaches recognizer listeners of every shape written to the header: one
// that keeps the default Error, one that calls the default and then reads the error or
// releases it, and one that keeps the error and releases it later. None of them uses a freed
// error, releases one twice or leaks one (the sanitizer pass checks each).
TEST(PublicInterfaceTest, AServerErrorReachesEveryShapeOfRecognizerListener)
{
    enum class Shape { Default, DefaultThenRead, DefaultThenRelease, Keeps };
    class ShapedListener : public Orvane::RecognizerListener {
    public:
        explicit ShapedListener(Shape shape) : shape_(shape) {}
        ~ShapedListener()
        {
            if (kept_ != nullptr) {
                kept_->Release();
            }
        }
        void Error(Orvane::Exception* error) override
        {
            if (shape_ == Shape::Default) {
                Orvane::RecognizerListener::Error(error);
            } else if (shape_ == Shape::Keeps) {
                kept_ = error;
                message = error->GetErrorMessage();
            } else {
                Orvane::RecognizerListener::Error(error);
                message = error->GetErrorMessage();
                if (shape_ == Shape::DefaultThenRelease) {
                    error->Release();
                }
            }
            called = true;
        }
        // Written before `called` is set.
        std::string message;
        std::atomic<bool> called{false};

    private:
        const Shape shape_;
        Orvane::Exception* kept_ = nullptr;
    };
    struct Case {
        const char* name;
        Shape shape;
        bool reads;
    };
    const Case cases[] = {
        {"default only", Shape::Default, false},
        {"default, then read", Shape::DefaultThenRead, true},
        {"default, then release", Shape::DefaultThenRelease, true},
        {"kept, released later", Shape::Keeps, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server;
        server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::Error("Server", 4003, "no speech")));
        server.Start();
        ShapedListener listener(c.shape);
        {
            Owned<Orvane::Session> session = LoopbackSession(server);
            Owned<Orvane::Recognizer> recognizer(session->Connect(nullptr));
            recognizer->SetListener(&listener);
            recognizer->Recognize();
            // The completion sees the error before the listener does.
            const ClientError caught = CatchClientError([&] { recognizer->Complete(30.0); });
            EXPECT_EQ(7000, caught.number) << caught;
            EXPECT_NE(std::string::npos, caught.message.find("no speech")) << caught;
            ASSERT_TRUE(WaitFor([&] { return listener.called.load(); }));
        }
        EXPECT_EQ(c.reads ? "no speech" : "", listener.message);
        EXPECT_EQ("", server.Snapshot().AllProblems());
    }
}

} // namespace
