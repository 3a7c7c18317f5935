// What the application sees of the server's last messages, through the flat interface on
// each route: the final result and the completion that the server sent before it closed, and
// behind a callback slower than the timers. Over WebSocket, the completion against a server
// that keeps the socket open after the client's close.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/FlatHelper.h"
#include "support/HeldAudio.h"
#include "support/HelperRig.h"
#include "support/WaitFor.h"

namespace Orvane {
namespace Test {
// Names the route in the test's parameter.
inline void PrintTo(HelperRoute route, std::ostream* out) { *out << ToString(route); }
} // namespace Test
} // namespace Orvane

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

class HelperConnectionEndTest : public ::testing::TestWithParam<HelperRoute> {};

// The server answers the end of the audio with the final result and the end of the
// recognition, and closes its side, all in one burst; the result's callback is slow, so
// the close is read before the end is delivered. The application gets the result, and the
// completion says what the server said, not that the connection ended.
TEST_P(HelperConnectionEndTest, TheServersLastBurstDecidesTheCompletion)
{
    struct Case {
        const char* name;
        Notice end;
        int number; // kind 6: 0 for no error
    };
    const Case cases[] = {
        {"completed", Notice::Completed(), 0},
        {"server error", Notice::Error("Orvane::Server", 9102, "fault"), 9102},
    };
    HelperRig rig(GetParam());
    HeldAudio audio(rig.directory, "input.fifo", Tone(0.5));
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters())) << helper.Error().message;
    ASSERT_EQ(0, helper.SetOption("recognition_target", audio.Path()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        helper.Clear();
        rig.server.SetReply("Recognizer::AsyncComplete",
                            Reply::Burst({Notice::EndPoint("", 1.25, TodayResult(), "r1"), c.end}).ThenClose());
        helper.OnNext(5, [](FlatHelper&) { std::this_thread::sleep_for(std::chrono::milliseconds(300)); });
        ASSERT_EQ(0, helper.Start()) << helper.Error().message;
        ASSERT_TRUE(audio.Feed(helper)) << helper.LastCompletion().number << " " << helper.LastCompletion().message;
        ASSERT_TRUE(helper.WaitForCompletions(1));
        const std::vector<FlatHelper::Event> events = helper.Events();
        ASSERT_EQ(1, std::count_if(events.begin(), events.end(), [](const FlatHelper::Event& e) { return e.kind == 5; }));
        const FlatHelper::Event completion = helper.LastCompletion();
        EXPECT_EQ(c.number != 0, completion.error) << completion.message;
        EXPECT_EQ(c.number, completion.number) << completion.message;
    }
}

// The final result's callback takes three response times, and the server sends its
// completion in the middle of that time (the audio, written once the connection is ready,
// is short, so that its stream ends well within one response time of the last reply
// before it): no timer blames the server while the application takes its time, and the
// recognition completes without error. The timers bound the set-up's calls too, so they
// are a second long: a loaded machine does not fail those.
TEST_P(HelperConnectionEndTest, ASlowResultCallbackMeetsNoTimer)
{
    HelperRig rig(GetParam());
    rig.server.SetReply("Recognizer::AsyncComplete", Reply::Ok().Then(Notice::EndPoint("", 1.25, TodayResult(), "r1")));
    FlatHelper& helper = FlatHelper::Create();
    const std::map<std::string, std::string> timers = {
        {"send_timer", "1000"}, {"receive_timer", "1000"}, {"response_timer", "1000"}};
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters(timers))) << helper.Error().message;
    HeldAudio audio(rig.directory, "input.fifo", Tone(0.1));
    ASSERT_EQ(0, helper.SetOption("recognition_target", audio.Path()));
    helper.OnNext(5, [&rig](FlatHelper&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        try {
            rig.server.Notify(Notice::Completed());
        } catch (const std::runtime_error&) {
            // The client has ended the connection: the completion shows it.
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    });
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    ASSERT_TRUE(audio.Feed(helper)) << helper.LastCompletion().number << " " << helper.LastCompletion().message;
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());
    const FlatHelper::Event completion = helper.LastCompletion();
    EXPECT_FALSE(completion.error) << completion.number << " " << completion.message;
}

// The server ends the recognition, then ignores the client's close frame and keeps TLS and
// TCP open: the completion and the release of the handle come after the client's grace,
// the client having dropped the socket.
TEST(HelperWebSocketEndTest, TheCompletionComesAgainstAServerThatKeepsTheSocketAfterTheClose)
{
    HelperRig rig(HelperRoute::WebSocket);
    rig.server.SetReply("Recognizer::AsyncComplete", ResultAndCompletion());
    rig.Bridge()->HoldCloses(WsPeer::CloseHold::Ignore);
    HeldAudio audio(rig.directory, "input.fifo", Tone(0.2));
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters({{"recognition_target", audio.Path()}}))) << helper.Error().message;
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    ASSERT_TRUE(audio.Feed(helper)) << helper.LastCompletion().number << " " << helper.LastCompletion().message;
    if (!helper.WaitForCompletions(1)) {
        // The server's drop lets the hung teardown go.
        rig.Bridge()->Abort();
        FAIL() << "no completion while the server keeps the socket";
    }
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    EXPECT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());
    EXPECT_TRUE(rig.Bridge()->Holding().closeHeld);
    EXPECT_TRUE(WaitFor([&] { return !rig.Bridge()->Holding().tcpOpen; }));
    EXPECT_EQ(0, helper.Release()) << helper.Error().message;
}

INSTANTIATE_TEST_SUITE_P(Routes, HelperConnectionEndTest,
                         ::testing::Values(HelperRoute::Tcp, HelperRoute::WebSocket),
                         [](const ::testing::TestParamInfo<HelperRoute>& info) { return std::string(ToString(info.param)); });

} // namespace
