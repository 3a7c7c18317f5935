#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "Orvane/Vad/SpeechBoundaryManager.h"
#include "Vad/quillet_error_common.h"
#include "Vad/sbm_error_code.h"

namespace {

TEST(SbmErrorState, MessageLayoutPerCode)
{
    struct Case {
        int code;
        std::string expected;
    };
    const Case cases[] = {
        {-1, "-1 メモリ不足により処理の続行が不可能 FILE:SBM.cpp LINE:7 "},
        {-2, "-2 INTERNAL エラー FILE:SBM.cpp LINE:7 "},
        {-3, "-3 引数不正（NULL） FILE:SBM.cpp LINE:7 "},
        {-4, "-4 引数不正（範囲） FILE:SBM.cpp LINE:7 "},
        {-5, "-5 定義されていない環境変数 FILE:SBM.cpp LINE:7 "},
        {-6, "-6 内部バッファサイズを超えるデータが入力されたFILE:SBM.cpp LINE:7 "},
        {-7, "-7 引数不正（値）FILE:SBM.cpp LINE:7 "},
        {-8, "-8 ありえないVAD状態遷移FILE:SBM.cpp LINE:7 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        _SetSBMError(c.code, "/src/Vad/SBM.cpp", 7);
        EXPECT_EQ(c.code, GetSBMLastError());
        EXPECT_EQ(c.expected, GetSBMLastErrorMessage());
    }
    _SetSBMErrorDetail(-4, "C:\\Vad\\ring_buffer.cpp", 9, "%s=%d", "n", 3);
    EXPECT_EQ(std::string("-4 引数不正（範囲） FILE:ring_buffer.cpp LINE:9 n=3"), GetSBMLastErrorMessage());

    // Codes of the detection layer carry its message.
    _SetErrorDetail(-22, "/x/detect_vad.cpp", 5, "%s", "");
    _SetSBMError(-22, "/x/SBM.cpp", 3);
    EXPECT_EQ(std::string("-22 -22 音声時間長が長すぎる FILE:detect_vad.cpp LINE:5 FILE:SBM.cpp LINE:3 "),
              GetSBMLastErrorMessage());

    _SetSBMNoError();
    EXPECT_EQ(0, GetSBMLastError());
    EXPECT_EQ(nullptr, GetSBMLastErrorMessage());
}

// A message that would not fit the 512-byte record with its terminator takes the short form.
TEST(SbmErrorState, LongMessagesStayInsideTheRecord)
{
    const std::string tail = "FILE:t.cpp LINE:7 ";
    // The detection layer's message grows the manager's for a code it does not know.
    const std::string vadHead = "-22 音声時間長が長すぎる FILE:v.cpp LINE:1 ";
    const std::size_t fixed = std::strlen("-22 ") + vadHead.size() + tail.size();
    for (std::size_t wanted : {510u, 511u, 512u, 520u}) {
        SCOPED_TRACE(wanted);
        const std::string detail(wanted - fixed, 'x');
        _SetErrorDetail(-22, "/x/v.cpp", 1, "%s", detail.c_str());
        ASSERT_EQ(vadHead + detail, GetVADLastErrorMessage());
        _SetSBMError(-22, "/x/t.cpp", 7);
        const std::string message = GetSBMLastErrorMessage();
        if (wanted <= 511) {
            EXPECT_EQ("-22 " + vadHead + detail + tail, message);
        } else {
            EXPECT_EQ("-22  エラーメッセージが長すぎる  FILE:t.cpp LINE:7", message);
        }
    }
    const std::string longDetail(413, 'z');
    _SetSBMErrorDetail(-3, "/x/t.cpp", 7, "%s", longDetail.c_str());
    EXPECT_EQ(std::string("-3 引数不正（NULL） FILE:t.cpp LINE:7 フォーマットが長すぎる"), GetSBMLastErrorMessage());
    _SetSBMNoError();
}

TEST(SbmErrorState, RecordIsPerThread)
{
    _SetSBMError(-3, "a.cpp", 1);
    int otherCode = 1;
    const char* otherMessage = "unset";
    std::thread([&] {
        otherCode = GetSBMLastError();
        otherMessage = GetSBMLastErrorMessage();
        _SetSBMError(-4, "b.cpp", 2);
    }).join();
    EXPECT_EQ(0, otherCode);
    EXPECT_EQ(nullptr, otherMessage);
    EXPECT_EQ(-3, GetSBMLastError());
    _SetSBMNoError();
}

} // namespace
