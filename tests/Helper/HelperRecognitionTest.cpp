// Whole recognitions through the flat interface against the in-process loopback server:
// file in, optional detection and noise reduction, PCM or Opus, every route to the server,
// callbacks and completion out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/AudioFixture.h"
#include "support/FlatHelper.h"
#include "support/HelperRig.h"
#include "support/SignalTools.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

const std::vector<ResultSentence> Partial = {{0.6, {{"今日;きょう", "ky o u", 0, 10, 0.5}}}};
const std::vector<ResultSentence> Final = {
    {0.9, {{"今日;きょう", "ky o u", 0, 10, 0.8}, {"は", "w a", 10, 15, 0.7}}},
    {0.4, {{"京;きょう", "ky o u", 0, 10, 0.3}}}};

// The server's answer to the end of the audio: interim and final result, sentence end,
// completion.
Reply ResultsAfterComplete()
{
    return Reply::Ok()
        .Then(Notice::TempPoint("", 0.5, Partial, "r1"))
        .Then(Notice::EndPoint("", 1.25, Final, "r1"))
        .Then(Notice::SentenceEnd())
        .Then(Notice::Completed());
}

std::vector<std::string> Methods(const Recording& seen)
{
    std::vector<std::string> methods;
    for (const Received& call : seen.Calls()) {
        methods.push_back(call.call.method);
    }
    return methods;
}

// "name=value" of each SetParameter call, in order.
std::vector<std::string> RecognitionOptions(const Recording& seen)
{
    std::vector<std::string> options;
    for (const Received& call : seen.Calls("Recognizer::SetParameter")) {
        const std::vector<std::string> texts = call.call.Arguments("String");
        options.push_back(texts.size() == 2 ? texts[0] + "=" + texts[1] : "?");
    }
    return options;
}

// The best SNR of `decoded` against `reference` over the codec's possible delays.
double BestSnrDb(const std::vector<short>& reference, const std::vector<short>& decoded)
{
    double best = -1000.0;
    for (std::size_t delay = 0; delay <= 480; ++delay) {
        best = std::max(best, SignalTools::SnrDb(reference, decoded, delay));
    }
    return best;
}

// One second of a 440 Hz tone: 50 blocks of 20 ms.
std::vector<short> Tone(double seconds = 1.0)
{
    return SignalTools::Sine(440.0, 8000.0, static_cast<std::size_t>(seconds * 16000));
}

struct RouteCodec {
    HelperRoute route;
    const char* codec;
};

std::ostream& operator<<(std::ostream& out, const RouteCodec& c) { return out << ToString(c.route) << "_" << c.codec; }

class HelperRouteCodecTest : public ::testing::TestWithParam<RouteCodec> {};

TEST_P(HelperRouteCodecTest, OneRecognitionEndToEnd)
{
    HelperRig rig(GetParam().route);
    const std::string codec = GetParam().codec;
    const std::vector<short> tone = Tone();
    rig.server.SetReply("Recognizer::AsyncComplete", ResultsAfterComplete());
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters({{"codec", codec}}))) << helper.Error().message;
    ASSERT_EQ(0, helper.SetOption("recognition_target", rig.WriteAudio("tone.raw", tone)));
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    ASSERT_TRUE(helper.WaitForCompletions(1));

    const std::vector<FlatHelper::Event> events = helper.Events();
    ASSERT_EQ((std::vector<int>{1, 4, 5, 3, 6}), helper.KindsWithoutRecord());
    EXPECT_EQ("今日", events[1].text);
    EXPECT_DOUBLE_EQ(0.5, events[1].time);
    EXPECT_EQ("今日は", events[2].text);
    EXPECT_DOUBLE_EQ(0.0, events[2].time);
    EXPECT_NE(std::string::npos, events[2].xml.find("今日;きょう"));
    EXPECT_FALSE(events[4].error);

    ASSERT_TRUE(rig.server.WaitForCall("Recognizer::Release"));
    const Recording seen = rig.server.Snapshot();
    EXPECT_EQ("", seen.AllProblems());
    // NONE_SPECIFY names no format (and is encoded as Opus).
    std::vector<std::string> options = {"RODI:UserDefine=tester"};
    if (codec != "NONE_SPECIFY") {
        options.insert(options.begin(), "RODI:SpeechFormat=" + codec);
    }
    EXPECT_EQ(options, RecognitionOptions(seen));
    std::vector<std::string> methods = {"CreateRecognizer"};
    methods.insert(methods.end(), options.size(), "Recognizer::SetParameter");
    methods.insert(methods.end(), {"Recognizer::Recognize", "Recognizer::AsyncComplete", "Recognizer::Release"});
    EXPECT_EQ(methods, Methods(seen));
    // The audio posts come in one run between Recognize and AsyncComplete.
    std::size_t recognize = 0, firstAudio = 0, lastAudio = 0, complete = 0;
    for (std::size_t i = 0; i < seen.messages.size(); ++i) {
        const Received& message = seen.messages[i];
        if (message.kind == MessageKind::Audio) {
            firstAudio = firstAudio == 0 ? i : firstAudio;
            lastAudio = i;
        } else if (message.call.method == "Recognizer::Recognize") {
            recognize = i;
        } else if (message.call.method == "Recognizer::AsyncComplete") {
            complete = i;
        }
    }
    EXPECT_LT(recognize, firstAudio);
    EXPECT_EQ(lastAudio - firstAudio + 1, seen.Count(MessageKind::Audio));
    EXPECT_LT(lastAudio, complete);

    if (codec == "PCM") {
        EXPECT_EQ(SignalTools::ToBytes(tone), seen.Audio());
    } else {
        std::size_t records = 0;
        const std::vector<short> decoded = DecodeOpusRecords(seen.Audio(), &records);
        EXPECT_EQ(tone.size() / 320, records) << "one record per recorded block";
        EXPECT_GE(BestSnrDb(tone, decoded), 30.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, HelperRouteCodecTest,
                         ::testing::Values(RouteCodec{HelperRoute::Tcp, "PCM"}, RouteCodec{HelperRoute::Tcp, "Opus"},
                                           RouteCodec{HelperRoute::Tcp, "NONE_SPECIFY"},
                                           RouteCodec{HelperRoute::TcpProxy, "Opus"},
                                           RouteCodec{HelperRoute::WebSocket, "PCM"},
                                           RouteCodec{HelperRoute::WebSocket, "Opus"},
                                           RouteCodec{HelperRoute::WebSocketProxy, "Opus"}),
                         [](const ::testing::TestParamInfo<RouteCodec>& info) {
                             return std::string(ToString(info.param.route)) + "_" + info.param.codec;
                         });

} // namespace
