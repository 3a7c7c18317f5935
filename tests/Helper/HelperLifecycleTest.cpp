// Stop, cancel and reuse of a helper through the flat interface, against the in-process
// loopback server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Orvane/Utility/TextEncoding.h"
#include "support/FlatHelper.h"
#include "support/HeldAudio.h"
#include "support/HelperRig.h"
#include "support/SignalTools.h"
#include "support/UniqueFd.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

class HelperStopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rig_.server.SetReply("Recognizer::AsyncComplete",
                             ResultAndCompletion());
    }

    FlatHelper& StartOn(const std::vector<short>& samples, const std::map<std::string, std::string>& changes = {})
    {
        FlatHelper& helper = FlatHelper::Create();
        EXPECT_EQ(0, helper.Initialize(rig_.WriteParameters(changes))) << helper.Error().message;
        EXPECT_EQ(0, helper.SetOption("recognition_target", rig_.WriteAudio("input.raw", samples)));
        EXPECT_EQ(0, helper.Start()) << helper.Error().message;
        return helper;
    }

    HelperRig rig_;
};

// The preparing thread waits on a reply that never comes: the stop ends the recognition
// at once (the wait is interrupted), not after the response timer. The release then sent
// no call behind the one still owed its reply (a second call in flight, whose wait a
// server that answers in order would have let run to the response timer): the connection
// is closed.
TEST_F(HelperStopTest, StopWhileRecognizeIsHeldEndsWith5000AtOnce)
{
    rig_.server.SetReply("Recognizer::Recognize", Reply::Ok().Held());
    FlatHelper& helper = StartOn(Tone(30.0), {{"response_timer", "600000"}});
    ASSERT_TRUE(rig_.server.WaitForHeld(1));
    ASSERT_EQ(0, helper.Stop()) << helper.Error().message;
    ASSERT_TRUE(helper.WaitForCompletions(1, std::chrono::seconds(20)));
    EXPECT_EQ(5000, helper.LastCompletion().number) << helper.LastCompletion().message;
    EXPECT_NE(std::string::npos, helper.LastCompletion().message.find("終端検出までに接続が確立出来ませんでした。"));
    EXPECT_TRUE(rig_.server.WaitForPeerClosed(0));
    EXPECT_EQ(0u, rig_.server.Snapshot().CallCount("Recognizer::Release"));
}

TEST_F(HelperStopTest, CancelWhileStreamingAbortsWithoutAResult)
{
    FlatHelper& helper = StartOn(Tone(30.0));
    ASSERT_TRUE(rig_.server.WaitForAudioBytes(640 * 5));
    ASSERT_EQ(0, helper.Cancel()) << helper.Error().message;
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    EXPECT_EQ((std::vector<int>{1, 6}), helper.KindsWithoutRecord());
    ASSERT_TRUE(rig_.server.WaitForCall("Recognizer::Release"));
    const Recording seen = rig_.server.Snapshot();
    EXPECT_EQ(1u, seen.CallCount("Recognizer::Abort"));
    EXPECT_EQ(0u, seen.CallCount("Recognizer::AsyncComplete"));
}

// With detection left to the server and a file to read, a cancel sent no Abort: the
// recognition waited for the server and ended with 5002 after the response timer.
TEST_F(HelperStopTest, CancelWithServerSideDetectionAbortsWithoutAnError)
{
    FlatHelper& helper = StartOn(Tone(30.0), {{"detection_mode", "true"}, {"serverside_vad_mode", "true"}});
    ASSERT_TRUE(rig_.server.WaitForAudioBytes(640 * 5));
    ASSERT_EQ(0, helper.Cancel()) << helper.Error().message;
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().number << " "
                                                << helper.LastCompletion().message;
    EXPECT_EQ((std::vector<int>{1, 6}), helper.KindsWithoutRecord());
    ASSERT_TRUE(rig_.server.WaitForCall("Recognizer::Release"));
    const Recording seen = rig_.server.Snapshot();
    EXPECT_EQ(1u, seen.CallCount("Recognizer::Abort"));
    EXPECT_EQ(0u, seen.CallCount("Recognizer::AsyncComplete"));
}

TEST_F(HelperStopTest, StopWhileStreamingSendsEveryRecordedBlockFirst)
{
    const std::vector<short> tone = Tone(30.0);
    FlatHelper& helper = StartOn(tone, {{"notify_record", "true"}});
    ASSERT_TRUE(rig_.server.WaitForAudioBytes(640 * 20));
    ASSERT_EQ(0, helper.Stop()) << helper.Error().message;
    const std::size_t recorded = helper.RecordedSamples().size();
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    EXPECT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());

    const Recording seen = rig_.server.Snapshot();
    const std::string audio = seen.Audio();
    EXPECT_GE(audio.size(), recorded * 2) << "every block recorded before the stop was sent";
    EXPECT_EQ(SignalTools::ToBytes(tone).substr(0, audio.size()), audio);
    EXPECT_EQ(0u, audio.size() % 640);
    bool completeSeen = false;
    for (const Received& message : seen.messages) {
        completeSeen = completeSeen || message.call.method == "Recognizer::AsyncComplete";
        EXPECT_FALSE(completeSeen && message.kind == MessageKind::Audio) << "audio after AsyncComplete";
    }
}

TEST_F(HelperStopTest, RefusalsByState)
{
    rig_.server.SetReply("Recognizer::Recognize", Reply::Ok().Held());
    FlatHelper& helper = StartOn(Tone(30.0), {{"response_timer", "600000"}});
    ASSERT_TRUE(rig_.server.WaitForHeld(1));
    struct Case {
        const char* name;
        std::function<int(FlatHelper&)> call;
        const char* detail;
    };
    const Case whileRunning[] = {
        {"start", [](FlatHelper& h) { return h.Start(); }, "state is not ready"},
        {"release", [](FlatHelper& h) { return h.Release(); }, "state is not stopped"},
        {"initialize", [&](FlatHelper& h) { return h.Initialize(rig_.WriteParameters()); }, "state is not ready"},
        {"set_option", [](FlatHelper& h) { return h.SetOption("codec", "Opus"); }, "state is not ready"},
    };
    for (const Case& c : whileRunning) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(-1, c.call(helper));
        EXPECT_EQ(2000, helper.Error().number);
        EXPECT_NE(std::string::npos, std::string(helper.Error().message).find(c.detail)) << helper.Error().message;
    }
    // A cancel before the connection is up ends without an error; a stop or cancel after
    // it is refused.
    ASSERT_EQ(0, helper.Cancel()) << helper.Error().message;
    EXPECT_EQ(-1, helper.Stop());
    EXPECT_EQ(2000, helper.Error().number);
    EXPECT_NE(std::string::npos, std::string(helper.Error().message).find("state is not running"));
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    EXPECT_EQ(-1, helper.Cancel());
    EXPECT_EQ(2000, helper.Error().number);
}

// The teardown joined a recording thread blocked in its read of a FIFO whose writer never
// wrote: the completion never came, and stop, cancel and release were refused.
TEST(HelperStalledSourceTest, FifoWhoseWriterNeverWritesEndsWithinTheTimers)
{
    HelperRig rig;
    const std::string fifo = rig.directory.File("stalled.pcm");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters({{"response_timer", "1000"}, {"recognition_target", fifo}})))
        << helper.Error().message;
    const std::size_t threads = ThreadCount();
    const std::size_t descriptors = DescriptorCount();
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    // A writer that opens the FIFO once the recorder reads it, and never writes.
    UniqueFd writer;
    ASSERT_TRUE(WaitFor([&] {
        writer.Reset(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        return writer.IsOpen();
    }));
    ASSERT_TRUE(helper.WaitForKind(1)) << "connected while the read blocks";
    ASSERT_TRUE(helper.WaitForCompletions(1)) << "the response timer ends the recognition";
    EXPECT_EQ(5002, helper.LastCompletion().number) << helper.LastCompletion().message;
    EXPECT_EQ(0, helper.Release()) << helper.Error().message;
    // Nothing waits for the writer: the reader's thread and descriptor are gone while the
    // writer's end is still open.
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads && DescriptorCount() <= descriptors + 1; }))
        << ThreadCount() << " threads, " << threads << " before; " << DescriptorCount() << " descriptors, "
        << descriptors << " before and the writer's";
    writer.Reset();
    EXPECT_TRUE(WaitFor([&] { return DescriptorCount() <= descriptors; }));

    // The handle works again.
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters())) << helper.Error().message;
    rig.server.SetReply("Recognizer::AsyncComplete", ResultAndCompletion());
    HeldAudio audio(rig.directory, "tone.fifo", Tone(1.0));
    ASSERT_EQ(0, helper.SetOption("recognition_target", audio.Path()));
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    ASSERT_TRUE(audio.Feed(helper, 2, 1)) << helper.LastCompletion().message;
    ASSERT_TRUE(helper.WaitForCompletions(2));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
}

TEST(HelperReuseTest, ThreeRecognitionsOnOneHandleLeaveNoThreadBehind)
{
    HelperRig rig;
    rig.server.SetReply("Recognizer::AsyncComplete",
                        ResultAndCompletion());
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters()));
    HeldAudio audio(rig.directory, "tone.fifo", Tone(1.0));
    ASSERT_EQ(0, helper.SetOption("recognition_target", audio.Path()));
    const std::size_t threads = ThreadCount();
    for (std::size_t round = 1; round <= 3; ++round) {
        ASSERT_EQ(0, helper.Start()) << helper.Error().message;
        ASSERT_TRUE(audio.Feed(helper, round, round - 1)) << helper.LastCompletion().message;
        ASSERT_TRUE(helper.WaitForCompletions(round));
        EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    }
    EXPECT_EQ((std::vector<int>{1, 5, 6, 1, 5, 6, 1, 5, 6}), helper.KindsWithoutRecord());
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads; })) << ThreadCount() << " threads, " << threads;
    EXPECT_EQ(3u, rig.server.Snapshot().CallCount("Recognizer::Release"));
    EXPECT_EQ(0, helper.Release());
}

// Random starts, stops and cancels (and starts again from inside the completion), each
// recognition ending in exactly one completion.
TEST(HelperReuseTest, RandomCyclesEndInOneCompletionEach)
{
    HelperRig rig;
    rig.server.SetReply("Recognizer::AsyncComplete",
                        ResultAndCompletion());
    const int handles = 4;
    const int cyclesPerHandle = 50;
    const std::string tone = rig.WriteAudio("tone.raw", Tone(0.3));
    const std::string parameters = rig.WriteParameters({{"recognition_target", tone}});
    const std::size_t threads = ThreadCount();
    std::vector<FlatHelper*> helpers;
    for (int h = 0; h < handles; ++h) {
        helpers.push_back(&FlatHelper::Create());
        ASSERT_EQ(0, helpers.back()->Initialize(parameters)) << helpers.back()->Error().message;
    }
    std::vector<std::thread> drivers;
    std::vector<std::string> failures(handles);
    for (int h = 0; h < handles; ++h) {
        drivers.emplace_back([&, h] {
            std::mt19937 random(static_cast<unsigned int>(1234 + h));
            FlatHelper& helper = *helpers[h];
            std::atomic<int> startedInside{1};
            for (std::size_t cycle = 1; cycle <= cyclesPerHandle; ++cycle) {
                const int inside = startedInside.exchange(1);
                if (inside == 1 && helper.Start() != 0) {
                    failures[h] = "start: " + std::string(helper.Error().message);
                    return;
                }
                if (inside == -1) {
                    failures[h] = "the start inside the completion was refused";
                    return;
                }
                const unsigned int action = random() % 4;
                if (action == 1 || action == 2) {
                    helper.WaitForKind(1, std::chrono::milliseconds(random() % 60), cycle);
                    // Refused when the recognition has ended in the meantime.
                    if (action == 1) {
                        helper.Stop();
                    } else {
                        helper.Cancel();
                    }
                } else if (action == 3 && cycle < cyclesPerHandle) {
                    startedInside = 2;
                    helper.OnNextCompletion([&startedInside](FlatHelper& h) { startedInside = h.Start() == 0 ? 0 : -1; });
                }
                if (!helper.WaitForCompletions(cycle)) {
                    failures[h] = "no completion in cycle " + std::to_string(cycle);
                    return;
                }
                // The start inside the completion has returned before the next cycle goes on.
                if (!WaitFor([&] { return startedInside != 2; })) {
                    failures[h] = "the start inside the completion did not return";
                    return;
                }
            }
        });
    }
    for (std::thread& driver : drivers) {
        driver.join();
    }
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads; })) << ThreadCount() << " threads, " << threads;
    for (int h = 0; h < handles; ++h) {
        EXPECT_EQ("", failures[h]) << "handle " << h;
        EXPECT_EQ(static_cast<std::size_t>(cyclesPerHandle), helpers[h]->Completions()) << "handle " << h;
    }
}

} // namespace
