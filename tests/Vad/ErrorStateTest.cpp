#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "Orvane/Vad/VadEngine.h"
#include "Vad/quillet_error_common.h"

namespace {

TEST(ErrorState, MessageLayout)
{
    struct Case {
        const char* name;
        int code;
        const char* file;
        const char* detail;
        std::string expected;
    };
    const Case cases[] = {
        {"empty detail", -102, "/a/b/env_list.cpp", "", "-102 引数不正（NULL） FILE:env_list.cpp LINE:7 "},
        {"detail", -5, "src/Vad/env_list.cpp", "VAD:X は \"正の実数\" を許容",
         "-5 指定された設定値が条件と合致しない FILE:env_list.cpp LINE:7 VAD:X は \"正の実数\" を許容"},
        {"backslash", -11, "C:\\src\\gmm_io.c", "", "-11 GMMモデルファイルのオープンに失敗 FILE:gmm_io.c LINE:7 "},
        {"no separator", -21, "vad.cpp", "", "-21 音声区間検出が開始していない FILE: LINE:7 "},
        {"no file", -201, "", "DVector", "-201 メモリ不足により処理の続行が不可能  LINE:7 DVector"},
        {"unknown code", -77, "x/y.cpp", "", "-77 不明なエラーコード FILE:y.cpp LINE:7 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        _SetErrorDetail(c.code, c.file, 7, "%s", c.detail);
        EXPECT_EQ(c.code, GetVADLastError());
        EXPECT_EQ(c.expected, GetVADLastErrorMessage());
    }
    _SetError(-104, "/x/detect_vad.cpp", 12);
    EXPECT_EQ(std::string("-104 引数不正（組合せ） FILE:detect_vad.cpp LINE:12 "), GetVADLastErrorMessage());
    _SetNoError();
    EXPECT_EQ(0, GetVADLastError());
    EXPECT_STREQ("", GetVADLastErrorMessage());
}

TEST(ErrorState, LongFormatAndLongMessage)
{
    const std::string format(413, 'f');
    _SetErrorDetail(-4, "a/memory.cpp", 3, format.c_str(), 0);
    EXPECT_EQ(std::string("-4 環境変数の設定値エラー FILE:memory.cpp LINE:3 フォーマットが長すぎる"),
              GetVADLastErrorMessage());

    // A detail that would overrun the record drops the head text and the detail.
    const std::string detail(480, 'd');
    _SetErrorDetail(-4, "a/memory.cpp", 3, "%s", detail.c_str());
    EXPECT_EQ(std::string("-4  エラーメッセージが長すぎる  FILE:memory.cpp LINE:3"), GetVADLastErrorMessage());

    // The longest detail that still fits leaves a message of 512 characters and its terminator.
    const std::string head = "-4 環境変数の設定値エラー FILE:memory.cpp LINE:3 ";
    const std::string fitting(512 - head.size(), 'd');
    _SetErrorDetail(-4, "a/memory.cpp", 3, "%s", fitting.c_str());
    EXPECT_EQ(head + fitting, GetVADLastErrorMessage());
    _SetErrorDetail(-4, "a/memory.cpp", 3, "%s", (fitting + "d").c_str());
    EXPECT_EQ(std::string("-4  エラーメッセージが長すぎる  FILE:memory.cpp LINE:3"), GetVADLastErrorMessage());
}

TEST(ErrorState, IsPerThread)
{
    _SetError(-22, "f.cpp", 1);
    int other = 1;
    std::thread([&other] { other = GetVADLastError(); }).join();
    EXPECT_EQ(0, other);
    EXPECT_EQ(-22, GetVADLastError());
}

} // namespace
