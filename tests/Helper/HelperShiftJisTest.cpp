// A helper made for Shift_JIS, and the microphone route through an ALSA file device. The
// process reads ALSA's configuration from its own HOME, set before PortAudio starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Orvane/Utility/TextEncoding.h"
#include "support/AlsaFileDevices.h"
#include "support/FlatHelper.h"
#include "support/HeldAudio.h"
#include "support/HelperRig.h"
#include "support/SignalTools.h"
#include "support/TemporaryDirectory.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

std::string Sjis(const std::string& utf8) { return Orvane::Utility::Utf8ToSjis(utf8.c_str()); }

class MicrophoneDevice : public ::testing::Environment {
public:
    void SetUp() override
    {
        input = SignalTools::ToBytes(Tone(3.0));
        AlsaFileDevices::Write(home.Path(), {{"tessival_helper_mic", home.Write("mic.raw", input)}},
                               home.Write("default.raw", std::string(64000, '\0')));
        AlsaFileDevices::Use(home.Path());
    }

    TemporaryDirectory home;
    std::string input;
};

MicrophoneDevice* microphone = static_cast<MicrophoneDevice*>(::testing::AddGlobalTestEnvironment(new MicrophoneDevice));

class HelperShiftJisTest : public ::testing::Test {
protected:
    FlatHelper& Ready(const char* encoding, const std::map<std::string, std::string>& changes = {})
    {
        FlatHelper& helper = FlatHelper::Create(encoding);
        EXPECT_EQ(0, helper.Initialize(rig_.WriteParameters(changes))) << helper.Error().message;
        return helper;
    }

    HelperRig rig_;
};

TEST_F(HelperShiftJisTest, ResultsAndLibraryMessagesAreShiftJisAndServerTextsPassAsTheyCame)
{
    rig_.server.SetReply("Recognizer::AsyncComplete",
                         ResultAndCompletion());
    HeldAudio audio(rig_.directory, "tone.fifo", Tone(1.0));
    FlatHelper& helper = Ready("shift_jis", {{"recognition_target", audio.Path()}});
    ASSERT_EQ(0, helper.Start());
    ASSERT_TRUE(audio.Feed(helper)) << helper.LastCompletion().number;
    ASSERT_TRUE(helper.WaitForCompletions(1));
    ASSERT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());
    EXPECT_EQ(Sjis("今日は"), helper.Events()[1].text);

    // The library's own message, and an error raised by a filter for UTF-8, converted once.
    struct Case {
        const char* name;
        std::map<std::string, std::string> changes;
        int number;
    };
    const Case cases[] = {
        {"no server", {{"server_port", "1"}}, 5000},
        {"unreadable model", {{"detection_mode", "true"}, {"ostrel_model_file", "/dev/null"}}, 7000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> changes = c.changes;
        changes["recognition_target"] = rig_.WriteAudio("tone.raw", Tone(1.0));
        FlatHelper& utf8 = Ready("UTF-8", changes);
        FlatHelper& sjis = Ready("Shift_JIS", changes);
        ASSERT_EQ(0, utf8.Start());
        ASSERT_EQ(0, sjis.Start());
        ASSERT_TRUE(utf8.WaitForCompletions(1));
        ASSERT_TRUE(sjis.WaitForCompletions(1));
        EXPECT_EQ(c.number, sjis.LastCompletion().number);
        EXPECT_EQ(Sjis(utf8.LastCompletion().message), sjis.LastCompletion().message);
        EXPECT_NE(utf8.LastCompletion().message, sjis.LastCompletion().message);
        EXPECT_EQ("Orvane::Client", sjis.LastCompletion().type);
    }

    // A server's error text reaches the application as the session read it, in Shift_JIS.
    HelperRig other;
    FlatHelper& served = FlatHelper::Create("Shift_JIS");
    ASSERT_EQ(0, served.Initialize(other.WriteParameters({{"recognition_target", other.WriteAudio("long.raw", Tone(30.0))}})));
    ASSERT_EQ(0, served.Start());
    ASSERT_TRUE(other.server.WaitForAudioBytes(640));
    other.server.Notify(Notice::Error("Orvane::Server", 4004, "サーバで異常が発生しました。"));
    ASSERT_TRUE(served.WaitForCompletions(1));
    EXPECT_EQ(4004, served.LastCompletion().number);
    EXPECT_EQ(Sjis("サーバで異常が発生しました。"), served.LastCompletion().message);
    EXPECT_EQ("Orvane::Server", served.LastCompletion().type);
}

TEST_F(HelperShiftJisTest, MicrophoneRouteDeliversTheDeviceSamplesToKindTwoAndTheServer)
{
    rig_.server.SetReply("Recognizer::AsyncComplete",
                         ResultAndCompletion());
    // The file device delivers faster than real time; what it delivers before the connection
    // waits in the voice buffer's queue.
    FlatHelper& helper = Ready("UTF-8", {{"audio_input_device", "tessival_helper_mic"}, {"notify_record", "true"}});
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    ASSERT_TRUE(helper.WaitForKind(1));
    ASSERT_TRUE(WaitFor([&] { return helper.RecordedSamples().size() >= 3200; }));
    ASSERT_EQ(0, helper.Stop()) << helper.Error().message;
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    EXPECT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());
    const std::string recorded = SignalTools::ToBytes(helper.RecordedSamples());
    const std::string sent = rig_.server.Snapshot().Audio();
    ASSERT_GE(recorded.size(), 640u);
    const std::size_t compared = std::min(recorded.size(), microphone->input.size());
    EXPECT_TRUE(microphone->input.substr(0, compared) == recorded.substr(0, compared))
        << "the device's samples, in order";
    ASSERT_GE(sent.size(), recorded.size()) << "every block recorded before the stop was sent";
    EXPECT_TRUE(sent.substr(0, recorded.size()) == recorded);
}

} // namespace
