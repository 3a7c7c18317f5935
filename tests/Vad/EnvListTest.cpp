#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Orvane/Vad/VadEngine.h"
#include "Vad/EngineFixture.h"
#include "Vad/detect_vad.h"
#include "Vad/env_list.h"

namespace Orvane {
namespace Test {
namespace {

std::string Detail(const char* name, const char* rule)
{
    return std::string(name) + " は \"" + rule + "\" を許容";
}

bool MessageHas(const std::string& text)
{
    return std::string(GetVADLastErrorMessage()).find(text) != std::string::npos;
}

int PendingCount(_tagVADInfo* handle)
{
    int count = 0;
    for (VADEnv* node = handle->env->firstModified; node != nullptr; node = node->nextModified) {
        ++count;
    }
    return count;
}

TEST(EnvList, DefaultsAreTheTableInReverseOrder)
{
    VadHandle handle(BeginVAD());
    ASSERT_TRUE(handle);
    int rows = 0;
    while (DefVariable[rows].name != nullptr) {
        ++rows;
    }
    EXPECT_EQ(32, rows);
    const VADEnv* node = handle->env->first;
    for (int row = rows - 1; row >= 0; --row, node = node->next) {
        ASSERT_NE(nullptr, node);
        EXPECT_STREQ(DefVariable[row].name, node->name);
    }
    EXPECT_EQ(nullptr, node);
    EXPECT_EQ(nullptr, handle->env->firstModified);

    int i = 0;
    double r = 0.0;
    char text[64];
    EXPECT_EQ(0, GetVariableVADInt(handle.get(), "FE:FramePts", &i));
    EXPECT_EQ(320, i);
    EXPECT_EQ(0, GetVariableVADInt(handle.get(), "FE:NumFFT", &i));
    EXPECT_EQ(256, i); // stored without checks, below the frame
    EXPECT_EQ(0, GetVariableVADReal(handle.get(), "PKF:DrvVar", &r));
    EXPECT_EQ(0.0001, r);
    EXPECT_EQ(0, GetVariableVADStr(handle.get(), "VAD:Output", text, sizeof text - 1));
    EXPECT_STREQ("OBS_WAV", text);
    EXPECT_EQ(0, GetVariableVADInt(handle.get(), "MAP:NMix", &i));
    EXPECT_EQ(4, i);
    EXPECT_EQ(0, GetVariableVADStr(handle.get(), "PKF:GMMPath", text, sizeof text - 1));
    EXPECT_STREQ("", text);
}

TEST(EnvList, SettersApplyEachRuleWithItsMessage)
{
    enum Kind { Int, Real, Str };
    struct Case {
        const char* name;
        Kind kind;
        double number;
        const char* text;
        int expected;
        const char* rule; // rule text expected in the detail of a -5
    };
    const Case cases[] = {
        {"VAD:NumStream", Int, 3, nullptr, -5, "1 または 2"},
        {"VAD:NumStream", Int, 2, nullptr, 0, nullptr},
        {"VAD:ProbN2S", Real, 1.0, nullptr, -5, "1未満の 正の実数"},
        {"VAD:ProbS2N", Real, 0.0, nullptr, -5, "1未満の 正の実数"},
        {"VAD:Threshold", Real, -1.0, nullptr, -5, "正の実数"},
        {"VAD:FilLen", Int, 0, nullptr, -5, "正の整数"},
        {"VAD:MaxGap", Int, -1, nullptr, -5, "0以上の 整数"},
        {"VAD:MaxGap", Int, 0, nullptr, 0, nullptr},
        {"VAD:Output", Str, 0, "", -5, "OBS_WAV または OutVADLabel=F または OutVADLabel=T または MMSE_WAV"},
        {"VAD:Output", Str, 0, "FRAME_LAB", -5, "OBS_WAV または OutVADLabel=F または OutVADLabel=T または MMSE_WAV"},
        {"VAD:Output", Str, 0, "OutVADLabel=T", 0, nullptr},
        {"PARADE:LowF0", Real, 600.0, nullptr, -5, "PARADE:HighF0未満の 正の実数"},
        {"PARADE:HighF0", Real, 40.0, nullptr, -5, "PARADE:LowF0より大きい 正の実数"},
        {"PKF:DrvVar", Real, 0.0000001, nullptr, -5, "正の実数"}, // seen as 0.000000
        {"PKF:DrvVar", Real, 0.000001, nullptr, 0, nullptr},
        {"PKF:CumR", Real, 1.0, nullptr, 0, nullptr},
        {"PKF:CumR", Real, 1.5, nullptr, -5, "1以下の 正の実数"},
        {"GMMW:NScale", Real, 0.0, nullptr, 0, nullptr},
        {"GMMW:NScale", Real, 1.0000001, nullptr, 0, nullptr}, // seen as 1.000000
        {"GMMW:NScale", Real, 1.1, nullptr, -5, "0以上 1以下の 実数"},
        {"GMMW:Forget", Real, 0.0, nullptr, -5, "1以下の 正の実数"},
        {"FE:PreEmp", Real, 1.0, nullptr, -5, "0以上 1未満の 実数"},
        {"FE:NumChan", Int, 0, nullptr, -5, "1以上の 整数"},
        {"FE:NumFFT", Int, 512, nullptr, 0, nullptr},
        {"FE:NumFFT", Int, 384, nullptr, -5, "2の累乗 かつ FE:FramePtsより大きい 整数"},
        {"FE:NumFFT", Int, 256, nullptr, -5, "2の累乗 かつ FE:FramePtsより大きい 整数"},
        {"FE:NumFB", Int, 0, nullptr, -5, "1以上の 整数"},
        {"FE:LowPass", Real, -1.0, nullptr, -5, "0以上の 実数"},
        {"FE:LowPass", Real, 9000.0, nullptr, -5, "FE:HighPassより小さい実数"},
        {"FE:HighPass", Real, -1.0, nullptr, -5, "0以上の 実数"},
        {"FE:HighPass", Real, 0.0, nullptr, -5, "FE:LowPassより大きい値"},
        {"FE:SampFreq", Real, 1.0 / 0.0, nullptr, -5, "正の実数"}, // infinite reals are refused
        {"PKF:SpeechGMMPath", Str, 0, "any/path", 0, nullptr},
        {"VAD:Threshold", Int, 5, nullptr, -2, nullptr},
        {"VAD:FilLen", Real, 2.0, nullptr, -2, nullptr},
        {"VAD:Unknown", Int, 1, nullptr, -1, nullptr},
        {"MAP:NMix", Int, 4, nullptr, -1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.number) + " " + (c.text ? c.text : ""));
        VadHandle handle(BeginVAD());
        const int result = c.kind == Int    ? SetVariableVADInt(handle.get(), c.name, static_cast<int>(c.number))
                           : c.kind == Real ? SetVariableVADReal(handle.get(), c.name, c.number)
                                            : SetVariableVADStr(handle.get(), c.name, c.text);
        EXPECT_EQ(c.expected, result);
        EXPECT_EQ(c.expected, GetVADLastError());
        EXPECT_EQ(c.expected == 0 ? 1 : 0, PendingCount(handle.get()));
        if (c.rule != nullptr) {
            EXPECT_TRUE(MessageHas(Detail(c.name, c.rule))) << GetVADLastErrorMessage();
        }
        if (c.expected == -1 && std::strcmp(c.name, "VAD:Unknown") == 0) {
            EXPECT_TRUE(MessageHas("VAD:Unknown"));
        }
    }
}

TEST(EnvList, ComparisonRulesReadTheOtherVariablesCurrentValue)
{
    VadHandle handle(BeginVAD());
    EXPECT_EQ(-5, SetVariableVADReal(handle.get(), "PARADE:LowF0", 600.0));
    EXPECT_EQ(0, SetVariableVADReal(handle.get(), "PARADE:HighF0", 1000.0));
    EXPECT_EQ(0, SetVariableVADReal(handle.get(), "PARADE:LowF0", 600.0));
    EXPECT_EQ(0, SetVariableVADInt(handle.get(), "FE:FramePts", 600));
    EXPECT_EQ(-5, SetVariableVADInt(handle.get(), "FE:NumFFT", 512));
    EXPECT_EQ(0, SetVariableVADInt(handle.get(), "FE:NumFFT", 1024));
}

TEST(EnvList, RealsRoundTripWithSixDecimals)
{
    VadHandle handle(BeginVAD());
    const double values[] = {0.5, 0.123456, 0.1234564, 123456.789012, 1e-6, 0.9999994};
    for (double v : values) {
        SCOPED_TRACE(v);
        ASSERT_EQ(0, SetVariableVADReal(handle.get(), "VAD:Threshold", v));
        double back = 0.0;
        ASSERT_EQ(0, GetVariableVADReal(handle.get(), "VAD:Threshold", &back));
        EXPECT_EQ(v, back); // the stored value is the given one; only the check rounds
        char text[64];
        std::snprintf(text, sizeof text, "%lf", back);
        EXPECT_NEAR(v, std::strtod(text, nullptr), 5e-7);
    }
}

TEST(EnvList, PendingListHoldsEachVariableOnce)
{
    VadHandle handle(BeginVAD());
    EXPECT_EQ(0, SetVariableVADInt(handle.get(), "VAD:NumStream", 2));
    EXPECT_EQ(0, SetVariableVADInt(handle.get(), "VAD:NumStream", 1));
    EXPECT_EQ(0, SetVariableVADReal(handle.get(), "VAD:Threshold", 2.0));
    EXPECT_EQ(2, PendingCount(handle.get()));
    EXPECT_EQ(-5, SetVariableVADInt(handle.get(), "FE:NumFB", 0));
    EXPECT_EQ(2, PendingCount(handle.get()));
    int value = 0;
    EXPECT_EQ(0, GetVariableVADInt(handle.get(), "VAD:NumStream", &value));
    EXPECT_EQ(1, value);
}

TEST(EnvList, BlocksAndAliases)
{
    VadHandle handle(BeginVAD());
    const char block[] = {1, 2, 3};
    EXPECT_EQ(0, SetVariableVADPtr(handle.get(), "PKF:GMMBuff", block, sizeof block));
    const VADEnv* node = FindVADEnv(handle->env, "PKF:SpeechGMMBuff");
    ASSERT_NE(nullptr, node);
    ASSERT_EQ(3u, node->size);
    EXPECT_NE(static_cast<const void*>(block), node->value.p);
    EXPECT_EQ(0, std::memcmp(block, node->value.p, 3));
    EXPECT_EQ(-102, SetVariableVADPtr(handle.get(), "PKF:GMMBuff", block, 0));
    EXPECT_EQ(-102, SetVariableVADPtr(handle.get(), "PKF:GMMBuff", nullptr, 3));

    EXPECT_EQ(0, SetVariableVADStr(handle.get(), "PKF:GMMPath", "model.bin"));
    char text[32];
    EXPECT_EQ(0, GetVariableVADStr(handle.get(), "PKF:SpeechGMMPath", text, 31));
    EXPECT_STREQ("model.bin", text);
}

TEST(EnvList, GettersAndArgumentErrors)
{
    VadHandle handle(BeginVAD());
    char text[32];
    ASSERT_EQ(0, SetVariableVADStr(handle.get(), "VAD:Output", "OutVADLabel=F"));
    EXPECT_EQ(-3, GetVariableVADStr(handle.get(), "VAD:Output", text, 10));
    EXPECT_EQ(0, GetVariableVADStr(handle.get(), "VAD:Output", text, 13));
    EXPECT_STREQ("OutVADLabel=F", text);
    int i = 0;
    double r = 0.0;
    EXPECT_EQ(-2, GetVariableVADInt(handle.get(), "VAD:Output", &i));
    EXPECT_EQ(-2, GetVariableVADReal(handle.get(), "FE:NumFB", &r));
    EXPECT_EQ(-1, GetVariableVADInt(handle.get(), "FE:Nothing", &i));
    EXPECT_EQ(-102, GetVariableVADInt(nullptr, "FE:NumFB", &i));
    EXPECT_EQ(-102, GetVariableVADInt(handle.get(), nullptr, &i));
    EXPECT_EQ(-102, GetVariableVADInt(handle.get(), "FE:NumFB", nullptr));
    EXPECT_EQ(-102, SetVariableVADInt(nullptr, "FE:NumFB", 1));
    EXPECT_EQ(-102, SetVariableVADStr(handle.get(), "VAD:Output", nullptr));
    const std::string longText(257, 'a');
    EXPECT_EQ(-101, SetVariableVADStr(handle.get(), "PKF:SpeechGMMPath", longText.c_str()));
    EXPECT_EQ(-101, SetVariableVADStr(handle.get(), "PKF:SpeechGMMPath", longText.substr(1).c_str()));
    EXPECT_EQ(0, SetVariableVADStr(handle.get(), "PKF:SpeechGMMPath", longText.substr(2).c_str()));
    const std::string longName(32, 'N');
    EXPECT_EQ(-101, SetVariableVADInt(handle.get(), longName.c_str(), 1));
}

// Names and values never act as a printf format in the error message.
TEST(EnvList, NamesAreNotFormats)
{
    VadHandle handle(BeginVAD());
    EXPECT_EQ(-1, SetVariableVADInt(handle.get(), "%s%s%s%n%n", 1));
    EXPECT_TRUE(MessageHas("%s%s%s%n%n")) << GetVADLastErrorMessage();
    EXPECT_EQ(-5, SetVariableVADStr(handle.get(), "VAD:Output", "%s%n%s"));
}

TEST(EnvList, AddVADEnvRefusals)
{
    VADEnvList* list = AllocVADEnvList();
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(-101, AddVADEnv(nullptr, "A", "VAD_INT", "1"));
    EXPECT_EQ(-101, AddVADEnv(list, std::string(32, 'x').c_str(), "VAD_INT", "1"));
    EXPECT_EQ(-2, AddVADEnv(list, "A", "VAD_BOOL", "1"));
    EXPECT_EQ(-101, AddVADEnv(list, "A", "VAD_REAL", nullptr));
    EXPECT_EQ(-3, AddVADEnv(list, "A", "VAD_STR", std::string(256, 's').c_str()));
    EXPECT_EQ(0, AddVADEnv(list, "A", "VAD_INT", "7.9"));
    EXPECT_EQ(0, AddVADEnv(list, "B", "VAD_PTR", nullptr));
    EXPECT_EQ(7, FindVADEnv(list, "A")->value.i);
    FreeVADEnvList(list);
}

} // namespace
} // namespace Test
} // namespace Orvane
