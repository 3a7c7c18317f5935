// Whole recognitions through the flat interface against the in-process loopback server:
// file in, optional detection and noise reduction, PCM or Opus, every route to the server,
// callbacks and completion out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "support/AudioFixture.h"
#include "support/FlatHelper.h"
#include "support/HeldAudio.h"
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
    // Held until the connection (TLS included) is ready: a file that ended first would,
    // rightly, be a failure to connect.
    const std::vector<short> tone = Tone(2.0);
    HeldAudio audio(rig.directory, "tone.fifo", tone);
    rig.server.SetReply("Recognizer::AsyncComplete", ResultsAfterComplete());
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters({{"codec", codec}}))) << helper.Error().message;
    ASSERT_EQ(0, helper.SetOption("recognition_target", audio.Path()));
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    ASSERT_TRUE(audio.Feed(helper)) << helper.LastCompletion().number << " " << helper.LastCompletion().message;
    ASSERT_TRUE(helper.WaitForCompletions(1));

    const std::vector<FlatHelper::Event> events = helper.Events();
    ASSERT_EQ((std::vector<int>{1, 4, 5, 3, 6}), helper.KindsWithoutRecord())
        << helper.LastCompletion().number << " " << helper.LastCompletion().message;
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

namespace {

// One second of silence, a spoken sentence, two seconds of silence.
struct Utterance {
    std::vector<short> samples;
    std::size_t speechStart; // first sample of the sentence
    std::size_t speechEnd;   // one past its last sample
};

const Utterance& SpeechInSilence()
{
    static const Utterance utterance = [] {
        const std::vector<short> speech = Speak("Please bring the red book to the kitchen table.", TestVoices()[0]);
        Utterance made;
        made.samples = Join({Silence(1.0), speech, Silence(2.0)});
        made.speechStart = 16000;
        made.speechEnd = 16000 + speech.size();
        return made;
    }();
    return utterance;
}

class HelperDetectionTest : public ::testing::Test {
protected:
    void SetUp() override { rig_.server.SetReply("Recognizer::AsyncComplete", ResultsAfterComplete()); }

    // Runs one recognition of `samples` with `changes`; returns the completion.
    FlatHelper::Event Recognize(const std::vector<short>& samples, const std::map<std::string, std::string>& changes)
    {
        FlatHelper& helper = FlatHelper::Create();
        EXPECT_EQ(0, helper.Initialize(rig_.WriteParameters(changes))) << helper.Error().message;
        EXPECT_EQ(0, helper.SetOption("recognition_target", rig_.WriteAudio("input.raw", samples)));
        EXPECT_EQ(0, helper.Start()) << helper.Error().message;
        EXPECT_TRUE(helper.WaitForCompletions(1));
        EXPECT_EQ(1u, helper.Completions());
        kinds_ = helper.KindsWithoutRecord();
        return helper.LastCompletion();
    }

    HelperRig rig_;
    std::vector<int> kinds_;
};

TEST_F(HelperDetectionTest, WithoutNoiseReductionOneContiguousSliceAroundTheSpeechIsSent)
{
    const Utterance& input = SpeechInSilence();
    const FlatHelper::Event completion =
        Recognize(input.samples, {{"detection_mode", "true"}, {"noise_reduction_mode", "false"}});
    EXPECT_FALSE(completion.error) << completion.message;
    EXPECT_EQ((std::vector<int>{1, 4, 5, 3, 6}), kinds_) << "the recording stopped by itself at the speech end";

    const std::string sent = rig_.server.Snapshot().Audio();
    const std::string file = SignalTools::ToBytes(input.samples);
    ASSERT_FALSE(sent.empty());
    const std::size_t at = file.find(sent);
    ASSERT_NE(std::string::npos, at) << "the bytes sent are one slice of the file";
    const std::size_t first = at / 2;
    const std::size_t last = first + sent.size() / 2;
    EXPECT_LE(first, input.speechStart) << "the slice starts before the speech";
    EXPECT_GE(first + 16000, input.speechStart) << "within a second before it";
    EXPECT_GE(last + 1600, input.speechEnd) << "and reaches its end";
    EXPECT_LT(last, input.samples.size()) << "the trailing silence is not all sent";
}

TEST_F(HelperDetectionTest, WithNoiseReductionAndOpusTheRecordsCoverTheSameSpan)
{
    const Utterance& input = SpeechInSilence();
    Recognize(input.samples, {{"detection_mode", "true"}, {"noise_reduction_mode", "false"}});
    const std::size_t plainSamples = rig_.server.Snapshot().Audio().size() / 2;

    HelperRig opusRig;
    opusRig.server.SetReply("Recognizer::AsyncComplete", ResultsAfterComplete());
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(opusRig.WriteParameters(
                     {{"detection_mode", "true"}, {"noise_reduction_mode", "true"}, {"codec", "Opus"}})));
    ASSERT_EQ(0, helper.SetOption("recognition_target", opusRig.WriteAudio("input.raw", input.samples)));
    ASSERT_EQ(0, helper.Start());
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    std::size_t records = 0;
    DecodeOpusRecords(opusRig.server.Snapshot().Audio(), &records);
    EXPECT_NEAR(static_cast<double>(plainSamples), records * 320.0, 3 * 320.0);
}

TEST_F(HelperDetectionTest, TimeOuts)
{
    struct Case {
        const char* name;
        std::vector<short> samples;
        std::map<std::string, std::string> changes;
        int number; // 0: a normal end
    };
    const Utterance& input = SpeechInSilence();
    const Case cases[] = {
        {"silence alone", Silence(3.0), {{"detection_mode", "true"}, {"recognition_timeout", "1000"}}, 3000},
        {"speech longer than the sentence time-out",
         input.samples,
         {{"detection_mode", "true"}, {"sentence_timeout", "300"}},
         3001},
        {"recognition time-out without detection ends normally",
         Silence(3.0),
         {{"recognition_timeout", "500"}},
         0},
        {"every time-out at its largest ends at the speech end",
         input.samples,
         {{"detection_mode", "true"},
          {"recognition_timeout", "2147483647"},
          {"sentence_timeout", "2147483647"},
          {"connection_timeout", "2147483647"},
          {"send_timer", "2147483647"},
          {"receive_timer", "2147483647"},
          {"response_timer", "2147483647"}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FlatHelper::Event completion = Recognize(c.samples, c.changes);
        EXPECT_EQ(c.number != 0, completion.error);
        EXPECT_EQ(c.number, completion.number) << completion.message;
    }
}

TEST_F(HelperDetectionTest, ServerSideDetectionSendsItsOptionsAndCountsNoTime)
{
    FlatHelper& helper = FlatHelper::Create();
    const std::vector<short> tone = Tone(1.0);
    ASSERT_EQ(0, helper.Initialize(rig_.WriteParameters({{"detection_mode", "true"},
                                                         {"serverside_vad_mode", "TRUE"},
                                                         {"recognition_timeout", "100"},
                                                         {"sentence_timeout", "100"}})));
    HeldAudio audio(rig_.directory, "tone.fifo", tone);
    ASSERT_EQ(0, helper.SetOption("recognition_target", audio.Path()));
    ASSERT_EQ(0, helper.Start());
    ASSERT_TRUE(audio.Feed(helper)) << helper.LastCompletion().number << " " << helper.LastCompletion().message;
    ASSERT_TRUE(rig_.server.WaitForAudioBytes(tone.size() * 2));
    rig_.server.Notify(Notice::EndPoint("", 1.0, Final, "r1"));
    rig_.server.Notify(Notice::Completed());
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
    EXPECT_EQ((std::vector<int>{1, 5, 6}), helper.KindsWithoutRecord());
    ASSERT_TRUE(rig_.server.WaitForCall("Recognizer::Release"));
    const Recording seen = rig_.server.Snapshot();
    EXPECT_EQ((std::vector<std::string>{"RODI:ContinuousSpeech=false", "RODI:NoiseReductionON=false",
                                        "RODI:OstrelEnvMode=0", "RODI:SpeechFormat=PCM", "RODI:UserDefine=tester",
                                        "RODI:VoiceDetectionON=TRUE"}),
              RecognitionOptions(seen));
    EXPECT_EQ(0u, seen.CallCount("Recognizer::AsyncComplete"));
    EXPECT_EQ(SignalTools::ToBytes(tone), seen.Audio());
}

} // namespace

namespace {

// Validation and the connection chose the route by different rules: a WebSocket URI with a
// server address and port -1 was accepted, then failed with 5000 on the TCP route.
TEST(HelperRouteTest, OneRuleChoosesTheRouteForValidationAndConnection)
{
    HelperRig rig(HelperRoute::WebSocket);
    rig.server.SetReply("Recognizer::AsyncComplete", ResultAndCompletion());
    const std::string port = std::to_string(rig.server.Port());
    const std::string uri = rig.Bridge()->Uri();
    enum Route { Refused, Tcp, WebSocket };
    struct Case {
        const char* name;
        std::map<std::string, std::string> changes; // on top of the WebSocket route's options
        Route route;
        int number; // when refused
    };
    const Case cases[] = {
        {"TCP only", {{"ws_proxy_uri", ""}, {"server_address", "127.0.0.1"}, {"server_port", port}}, Tcp, 0},
        {"WebSocket only", {}, WebSocket, 0},
        {"both: the address wins", {{"server_address", "127.0.0.1"}, {"server_port", port}}, Tcp, 0},
        {"WebSocket with an address and port -1", {{"server_address", "127.0.0.1"}, {"server_port", "-1"}}, Refused,
         1001},
        {"neither", {{"ws_proxy_uri", ""}}, Refused, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlatHelper& helper = FlatHelper::Create();
        const int initialized = helper.Initialize(rig.WriteParameters(c.changes));
        if (c.route == Refused) {
            EXPECT_EQ(-1, initialized);
            EXPECT_EQ(c.number, helper.Error().number) << helper.Error().message;
            continue;
        }
        ASSERT_EQ(0, initialized) << helper.Error().message;
        const int bridged = rig.Bridge()->ConnectionCount();
        // A long file: the recognition ends by a stop once it is connected.
        ASSERT_EQ(0, helper.SetOption("recognition_target", rig.WriteAudio("long.raw", Tone(30.0))));
        ASSERT_EQ(0, helper.Start()) << helper.Error().message;
        ASSERT_TRUE(helper.WaitForKind(1));
        ASSERT_EQ(0, helper.Stop()) << helper.Error().message;
        ASSERT_TRUE(helper.WaitForCompletions(1));
        EXPECT_FALSE(helper.LastCompletion().error) << helper.LastCompletion().message;
        EXPECT_EQ(c.route == WebSocket ? bridged + 1 : bridged, rig.Bridge()->ConnectionCount());
    }
}

} // namespace

namespace {

struct Failure {
    const char* name;
    std::function<void(LoopbackServer&)> script;         // before the start
    std::map<std::string, std::string> changes;          // parameter changes
    double seconds;                                       // length of the recorded tone; 0: an empty file;
                                                          // < 0: the microphone
    std::function<void(LoopbackServer&)> whileStreaming; // once audio has arrived
    int number;                                           // expected error; 0: a normal end
    const char* cause = nullptr;                          // the user's mistake that the message names
};

std::ostream& operator<<(std::ostream& out, const Failure& failure) { return out << failure.name; }

void On(const char* key, Reply reply, LoopbackServer& server) { server.SetReply(key, reply); }

class HelperFailureTest : public ::testing::TestWithParam<Failure> {};

// Every failure ends the recognition with exactly one completion carrying its number, and
// leaves no connection open.
TEST_P(HelperFailureTest, EndsInOneCompletion)
{
    const Failure& failure = GetParam();
    HelperRig rig;
    rig.server.SetReply("Recognizer::AsyncComplete", ResultsAfterComplete());
    if (failure.script) {
        failure.script(rig.server);
    }
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(rig.WriteParameters(failure.changes))) << helper.Error().message;
    if (failure.seconds >= 0) {
        const std::vector<short> samples = failure.seconds > 0 ? Tone(failure.seconds) : std::vector<short>();
        ASSERT_EQ(0, helper.SetOption("recognition_target", rig.WriteAudio("input.raw", samples)));
    }
    ASSERT_EQ(0, helper.Start()) << helper.Error().message;
    if (failure.whileStreaming) {
        ASSERT_TRUE(rig.server.WaitForAudioBytes(640));
        failure.whileStreaming(rig.server);
    }
    ASSERT_TRUE(helper.WaitForCompletions(1));
    const FlatHelper::Event completion = helper.LastCompletion();
    EXPECT_EQ(failure.number != 0, completion.error);
    EXPECT_EQ(failure.number, completion.number) << completion.message;
    if (completion.error) {
        EXPECT_STRNE("", completion.type.c_str());
        EXPECT_STRNE("", completion.message.c_str());
    }
    if (failure.cause != nullptr) {
        EXPECT_NE(std::string::npos, completion.message.find(failure.cause)) << completion.message;
    }
    // Torn down before the completion: every connection the client made is closed.
    EXPECT_TRUE(rig.server.WaitUntil([](const Recording& seen) {
        for (const ConnectionRecord& connection : seen.connections) {
            if (connection.open && !connection.peerClosed && !connection.peerReset) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_EQ(1u, helper.Completions());
    EXPECT_EQ(0, helper.Start()) << "the helper is ready again: " << helper.Error().message;
    ASSERT_TRUE(helper.WaitForCompletions(2));
}

const std::map<std::string, std::string> ShortResponse = {{"response_timer", "500"}};

INSTANTIATE_TEST_SUITE_P(
    Failures, HelperFailureTest,
    ::testing::Values(
        Failure{"ErrorReplyToRecognize",
                [](LoopbackServer& s) { On("Recognizer::Recognize", Reply::Failure("Orvane::Server", 4002, "busy"), s); },
                {}, 1.5, nullptr, 4002},
        Failure{"ErrorNotificationMidStream", nullptr, {}, 3.0,
                [](LoopbackServer& s) { s.Notify(Notice::Error("Orvane::Server", 4004, "fault")); }, 4004},
        Failure{"FinOnAudio", [](LoopbackServer& s) { On(Script::kAudio, Reply::Close(), s); }, {}, 1.5, nullptr, 5006},
        Failure{"RstOnAudio", [](LoopbackServer& s) { On(Script::kAudio, Reply::Reset(), s); }, {}, 1.5, nullptr, 5006},
        Failure{"FinOnRecognize", [](LoopbackServer& s) { On("Recognizer::Recognize", Reply::Close(), s); }, {}, 1.5,
                nullptr, 5006},
        Failure{"RstOnRecognize", [](LoopbackServer& s) { On("Recognizer::Recognize", Reply::Reset(), s); }, {}, 1.5,
                nullptr, 5006},
        Failure{"SilenceOnRecognize", [](LoopbackServer& s) { On("Recognizer::Recognize", Reply::Silent(), s); },
                ShortResponse, 3.0, nullptr, 5002},
        Failure{"FinOnSetParameter", [](LoopbackServer& s) { On("Recognizer::SetParameter", Reply::Close(), s); }, {},
                1.5, nullptr, 5006},
        Failure{"RstOnSetParameter", [](LoopbackServer& s) { On("Recognizer::SetParameter", Reply::Reset(), s); }, {},
                1.5, nullptr, 5006},
        Failure{"SilenceOnSetParameter", [](LoopbackServer& s) { On("Recognizer::SetParameter", Reply::Silent(), s); },
                ShortResponse, 3.0, nullptr, 5002},
        Failure{"CloseOnAsyncComplete", [](LoopbackServer& s) { On("Recognizer::AsyncComplete", Reply::Close(), s); }, {},
                1.5, nullptr, 5006},
        Failure{"CompletedMidStream", nullptr, {}, 3.0, [](LoopbackServer& s) { s.Notify(Notice::Completed()); }, 0},
        Failure{"NoServer", nullptr, {{"server_port", "1"}}, 1.5, nullptr, 5000,
                "接続先=127.0.0.1:1, 原因=[system:111]"},
        Failure{"UserAgentRefused", [](LoopbackServer& s) { On("CreateRecognizer", Reply::Status(403), s); }, {}, 1.5,
                nullptr, 1010},
        Failure{"EmptyUserId", nullptr, {{"user_id", ""}}, 1.5, nullptr, 7000, "(user_id)"},
        Failure{"MissingPcmFile", nullptr, {{"recognition_target", "/nonexistent/input.raw"}}, -1.0, nullptr, 7000,
                "[/nonexistent/input.raw] 原因=[No such file or directory]"},
        Failure{"DirectoryAsModel", nullptr, {{"detection_mode", "true"}, {"ostrel_model_file", "/"}}, 1.5, nullptr,
                7000, "Is a directory: \"/\""},
        Failure{"UnreadableModelFile", nullptr, {{"detection_mode", "true"}, {"ostrel_model_file", "/dev/null"}}, 1.5,
                nullptr, 7000},
        Failure{"EmptyFile", [](LoopbackServer& s) { On("CreateRecognizer", Reply::Default().Held(), s); }, {}, 0.0,
                nullptr, 5000},
        Failure{"UnknownDevice", nullptr, {{"audio_input_device", "no such device"}}, -1.0, nullptr, 6000}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

} // namespace

namespace {

// A recorder that fails at once (an empty file, a device that does not exist) races the
// start-up: no recognizer helper may be left behind to connect after the completion.
TEST(HelperImmediateFailureTest, RepeatedFailuresLeaveNoThreadOrConnection)
{
    struct Case {
        const char* name;
        bool microphone;
        int number;
    };
    const Case cases[] = {{"empty file", false, 5000}, {"unknown device", true, 6000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HelperRig rig;
        // The connection is never ready, so the end of the recording always comes first.
        rig.server.SetReply("CreateRecognizer", Reply::Default().Held());
        FlatHelper& helper = FlatHelper::Create();
        ASSERT_EQ(0, helper.Initialize(rig.WriteParameters({{"audio_input_device", "no such device"}})));
        if (!c.microphone) {
            ASSERT_EQ(0, helper.SetOption("recognition_target", rig.WriteAudio("empty.raw", {})));
        }
        const std::size_t threads = ThreadCount();
        const int rounds = 100;
        for (int round = 1; round <= rounds; ++round) {
            ASSERT_EQ(0, helper.Start()) << helper.Error().message;
            ASSERT_TRUE(helper.WaitForCompletions(static_cast<std::size_t>(round)));
            ASSERT_EQ(c.number, helper.LastCompletion().number) << "round " << round << ": " << helper.LastCompletion().message;
        }
        EXPECT_EQ(static_cast<std::size_t>(rounds), helper.Completions());
        EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads; })) << ThreadCount() << " threads, " << threads
                                                                       << " before";
        EXPECT_TRUE(rig.server.WaitUntil([](const Recording& seen) {
            for (const ConnectionRecord& connection : seen.connections) {
                if (connection.open && !connection.peerClosed && !connection.peerReset) {
                    return false;
                }
            }
            return true;
        }));
    }
}

} // namespace
