// Stop and cancel while the server detects speech, on each target: the microphone (an ALSA
// file device, from the process's own HOME), a continuous file and a file read once. The
// files are FIFOs written once the helper is connected, so none ends before the connection.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/AlsaFileDevices.h"
#include "support/FifoTarget.h"
#include "support/FlatHelper.h"
#include "support/HelperRig.h"
#include "support/SignalTools.h"
#include "support/TemporaryDirectory.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

const char* const MicrophoneName = "tessival_server_detection_mic";

class MicrophoneDevice : public ::testing::Environment {
public:
    void SetUp() override
    {
        AlsaFileDevices::Write(home.Path(), {{MicrophoneName, home.Write("mic.raw", SignalTools::ToBytes(Tone(60.0)))}},
                               home.Write("default.raw", std::string(64000, '\0')));
        AlsaFileDevices::Use(home.Path());
    }

    TemporaryDirectory home;
};

::testing::Environment* const microphone = ::testing::AddGlobalTestEnvironment(new MicrophoneDevice);

enum class Target { Microphone, File, ContinuousFile };

// Half a second of tone: what a file target holds.
const std::string& FileAudio()
{
    static const std::string audio = SignalTools::ToBytes(Tone(0.5));
    return audio;
}

// A helper with detection left to the server, started on `target` (the FIFO for a file) and
// connected. The response timer is long: a recognition left waiting for the server never
// completes within the test's waits.
FlatHelper& StartConnected(HelperRig& rig, Target target, const FifoTarget& fifo)
{
    std::map<std::string, std::string> changes = {
        {"detection_mode", "true"},
        {"serverside_vad_mode", "true"},
        {"continuous_mode", target == Target::ContinuousFile ? "true" : "false"},
        {"notify_record", "true"},
        {"response_timer", "600000"},
    };
    if (target == Target::Microphone) {
        changes["audio_input_device"] = MicrophoneName;
    } else {
        changes["recognition_target"] = fifo.Path();
    }
    FlatHelper& helper = FlatHelper::Create();
    EXPECT_EQ(0, helper.Initialize(rig.WriteParameters(changes))) << helper.Error().message;
    EXPECT_EQ(0, helper.Start()) << helper.Error().message;
    EXPECT_TRUE(helper.WaitForKind(1));
    return helper;
}

// A result written just before the answer to the Abort: it reached the client first.
Reply AbortAfterAResult() { return Reply::Ok().Before(Notice::EndPoint("", 1.0, TodayResult(), "r1")); }

// Recorded audio was sent before the Abort, none after it.
void ExpectNoAudioAfterTheAbort(const Recording& seen)
{
    bool abortSeen = false;
    for (const Received& message : seen.messages) {
        abortSeen = abortSeen || message.call.method == "Recognizer::Abort";
        EXPECT_FALSE(abortSeen && message.kind == MessageKind::Audio) << "audio after the Abort";
    }
}

// With detection left to the server, a stop asked for a final result with AsyncComplete,
// which such a server treats as out of sequence; with a file read once, a stop or a cancel
// after the file's end sent nothing and ended with 5002 after the response timer.
TEST(HelperServerDetectionStopTest, StopAndCancelSendWhatWasRecordedThenAbortOnEveryTarget)
{
    struct Case {
        const char* name;
        Target target;
        bool cancel;
        bool afterTheEnd; // the file ends before the stop
    };
    const Case cases[] = {
        {"microphone, stop", Target::Microphone, false, false},
        {"microphone, cancel", Target::Microphone, true, false},
        {"continuous file, stop", Target::ContinuousFile, false, false},
        {"continuous file, cancel", Target::ContinuousFile, true, false},
        {"file, stop", Target::File, false, false},
        {"file, cancel", Target::File, true, false},
        {"file, stop after its end", Target::File, false, true},
        {"file, cancel after its end", Target::File, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HelperRig rig;
        rig.server.SetReply("Recognizer::Abort", AbortAfterAResult());
        FifoTarget fifo(rig.directory);
        FlatHelper& helper = StartConnected(rig, c.target, fifo);
        if (c.target == Target::Microphone) {
            ASSERT_TRUE(WaitFor([&] { return helper.RecordedSamples().size() >= 3200; }));
        } else {
            ASSERT_TRUE(fifo.Write(FileAudio()));
            // Recorded whole: the recorder now waits for more, or for the end.
            ASSERT_TRUE(WaitFor([&] { return helper.RecordedSamples().size() * 2 == FileAudio().size(); }));
            if (c.afterTheEnd) {
                fifo.Close();
                ASSERT_TRUE(rig.server.WaitForAudioBytes(FileAudio().size()));
            }
        }

        ASSERT_EQ(0, c.cancel ? helper.Cancel() : helper.Stop()) << helper.Error().message;
        const std::string recorded = SignalTools::ToBytes(helper.RecordedSamples());
        if (!helper.WaitForCompletions(1)) {
            ADD_FAILURE() << "no completion long before the response timer";
            continue;
        }
        EXPECT_FALSE(helper.LastCompletion().error)
            << helper.LastCompletion().number << " " << helper.LastCompletion().message;
        EXPECT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());

        ASSERT_TRUE(rig.server.WaitForCall("Recognizer::Release"));
        const Recording seen = rig.server.Snapshot();
        EXPECT_EQ(1u, seen.CallCount("Recognizer::Abort"));
        EXPECT_EQ(0u, seen.CallCount("Recognizer::AsyncComplete"));
        const std::string audio = seen.Audio();
        ASSERT_GE(audio.size(), recorded.size()) << "every block recorded before the stop was sent";
        EXPECT_TRUE(audio.compare(0, recorded.size(), recorded) == 0);
        if (c.target != Target::Microphone) {
            EXPECT_EQ(FileAudio().size(), audio.size());
        }
        ExpectNoAudioAfterTheAbort(seen);
    }
}

// The file's own end, with no stop: a file read once leaves the completion to the server; a
// continuous file's end aborts at once, and a stop after that is refused and sends nothing.
TEST(HelperServerDetectionStopTest, TheFilesOwnEnd)
{
    struct Case {
        const char* name;
        Target target;
        std::size_t aborts;
    };
    const Case cases[] = {
        {"file: the server completes", Target::File, 0},
        {"continuous file: aborted at once", Target::ContinuousFile, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HelperRig rig;
        rig.server.SetReply("Recognizer::Abort", AbortAfterAResult());
        FifoTarget fifo(rig.directory);
        FlatHelper& helper = StartConnected(rig, c.target, fifo);
        ASSERT_TRUE(fifo.Write(FileAudio()));
        fifo.Close();
        if (c.target == Target::File) {
            ASSERT_TRUE(rig.server.WaitForAudioBytes(FileAudio().size()));
            rig.server.Notify(Notice::EndPoint("", 1.0, TodayResult(), "r1"));
            rig.server.Notify(Notice::Completed());
        }
        ASSERT_TRUE(helper.WaitForCompletions(1));
        EXPECT_FALSE(helper.LastCompletion().error)
            << helper.LastCompletion().number << " " << helper.LastCompletion().message;
        EXPECT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());
        EXPECT_EQ(-1, helper.Stop());
        EXPECT_EQ(2000, helper.Error().number);

        ASSERT_TRUE(rig.server.WaitForCall("Recognizer::Release"));
        const Recording seen = rig.server.Snapshot();
        EXPECT_EQ(c.aborts, seen.CallCount("Recognizer::Abort"));
        EXPECT_EQ(0u, seen.CallCount("Recognizer::AsyncComplete"));
        EXPECT_EQ(FileAudio(), seen.Audio());
    }
}

} // namespace
