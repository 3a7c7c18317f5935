#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <boost/any.hpp>

#include "Vad/BoundaryFixture.h"
#include "Vad/EngineFixture.h"
#include "Vad/OSTRELError.h"
#include "Vad/Ostrel.h"
#include "Vad/sbm_error_code.h"

namespace {

using Orvane::Utility::Vad::OSTRELError;
using Orvane::Utility::Vad::Ostrel;

void Prepare(Ostrel& engine)
{
    const std::vector<char>& model = Orvane::Test::ModelImage();
    engine.setMode(0, model.data(), static_cast<unsigned>(model.size()));
}

TEST(Ostrel, SetVariableRoutesAndRefuses)
{
    enum Outcome { kSet, kConversion, kRefused };
    struct Case {
        const char* name;
        const char* value;
        Outcome outcome;
        std::string message; // start of the refusal's message
    };
    const Case cases[] = {
        {"SBM:MaxGap", "7", kSet, ""},
        {"VAD:Threshold", "0.5", kSet, ""},
        {"VAD:Output", "OutVADLabel=F", kSet, ""},
        {"SBM:Majority", "x", kConversion, ""},
        {"SBM:Majority", "1 ", kConversion, ""},
        {"FE:NumFFT", "abc", kConversion, ""},
        {"SBM:MaxGap", "-1", kRefused, "-4 引数不正（範囲） FILE:SBM.cpp LINE:"},
        {"SBM:Nothing", "1", kRefused, "-5 定義されていない環境変数 FILE:SBM.cpp LINE:"},
        {"OH:ThGain", "3", kRefused, "定義されていない環境変数が指定されました"},
        {"PKF:GMMPath", "x", kRefused, "定義されていない環境変数が指定されました"},
        {"PKF:SpeechGMMBuff", "x", kRefused, "サポート外の環境変数が指定されました"},
        {"VAD:NumStream", "3", kRefused, "-5 指定された設定値が条件と合致しない FILE:env_list.cpp LINE:"},
    };
    Ostrel engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        try {
            engine.setVariable(std::string(c.name), std::string(c.value));
            EXPECT_EQ(kSet, c.outcome);
        } catch (const OSTRELError& e) {
            EXPECT_EQ(kRefused, c.outcome);
            EXPECT_EQ(0u, std::string(e.what()).find(c.message)) << e.what();
        } catch (const std::exception& e) {
            EXPECT_EQ(kConversion, c.outcome) << e.what();
        }
    }
    EXPECT_EQ(7, boost::any_cast<int>(engine.getVariable(std::string("SBM:MaxGap"))));
    EXPECT_EQ("OutVADLabel=F", boost::any_cast<std::string>(engine.getVariable(std::string("VAD:Output"))));
}

TEST(Ostrel, GetVariableTakesTheFirstKindThatHasTheName)
{
    Ostrel engine;
    Prepare(engine);
    EXPECT_EQ(40, boost::any_cast<int>(engine.getVariable(std::string("SBM:MaxGap"))));
    EXPECT_EQ(1, boost::any_cast<int>(engine.getVariable(std::string("VAD:FilLen"))));
    EXPECT_DOUBLE_EQ(0.5, boost::any_cast<double>(engine.getVariable(std::wstring(L"GMMW:NScale"))));
    EXPECT_EQ("MMSE_WAV", boost::any_cast<std::string>(engine.getVariable(std::string("VAD:Output"))));
    EXPECT_TRUE(engine.getVariable(std::string("VAD:Nothing")).empty());
    // Wide text goes to UTF-8 code point by code point; surrogates are dropped.
    engine.setVariable(std::wstring(L"VAD:Output"), std::wstring(L"OBS\xD800_WAV"));
    EXPECT_EQ("OBS_WAV", boost::any_cast<std::string>(engine.getVariable(std::string("VAD:Output"))));
}

TEST(Ostrel, ManagerResultsAndErrors)
{
    Ostrel engine;
    // No error yet: the manager's null message is an empty text.
    _SetSBMNoError();
    EXPECT_EQ(0, engine.getLastError());
    EXPECT_EQ("", engine.getLastErrorMessage());
    EXPECT_EQ((std::vector<unsigned>{0xFFFFFFFFu, 0u}), engine.getSpeechFrameNum());

    const std::vector<char>& model = Orvane::Test::ModelImage();
    try {
        engine.setMode(4, model.data(), static_cast<unsigned>(model.size()));
        ADD_FAILURE() << "mode 4 accepted";
    } catch (const OSTRELError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("-4 引数不正（範囲） FILE:SBM.cpp LINE:"));
        EXPECT_STREQ(e.what(), e.__str__());
        EXPECT_EQ(nullptr, e.getFileName());
        EXPECT_EQ(0, e.getLineNumber());
    }
    Prepare(engine);
    EXPECT_THROW(engine.detect(nullptr, 160), OSTRELError);
    short out[160];
    EXPECT_THROW(engine.read(nullptr, 160), OSTRELError);
    // Nothing to read from before the first detection step has made the queues.
    EXPECT_THROW(engine.read(out, 160), OSTRELError);
    EXPECT_THROW(engine.getProbRatio(nullptr, 4), OSTRELError);

    // Detection through the wrapper: -1 ends the utterance and is no error.
    const Orvane::Test::Samples& audio = Orvane::Test::QuietSentence().audio;
    std::vector<short> block(160);
    int samples = 0;
    int ends = 0;
    for (std::size_t at = 0; at + 160 <= audio.size(); at += 160) {
        block.assign(audio.begin() + static_cast<std::ptrdiff_t>(at), audio.begin() + static_cast<std::ptrdiff_t>(at + 160));
        engine.detect(block.data(), 160);
        for (int n = engine.read(out, 160); n != 0; n = engine.read(out, 160)) {
            if (n == -1) {
                ++ends;
                break;
            }
            samples += n;
        }
    }
    EXPECT_EQ(1, ends);
    EXPECT_GT(samples, 16000 * 3);
    const std::vector<unsigned> frames = engine.getSpeechFrameNum();
    EXPECT_LT(frames[0], frames[1]);
    double ratios[1000];
    EXPECT_GT(engine.getProbRatio(ratios, 1000), 0);

    const OSTRELError located("m", "f.cpp", "Fn", 3);
    EXPECT_STREQ("f.cpp", located.getFileName());
    EXPECT_STREQ("Fn", located.getFunctionName());
    EXPECT_EQ(3, located.getLineNumber());
}

} // namespace
