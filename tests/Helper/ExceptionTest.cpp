#include "Helper/Exception.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Helper/Error.h"
#include "Utility/Xml/Node.h"
#include "support/Iconv.h"

namespace {

using Orvane::Helper::Error;

struct Releaser {
    void operator()(Orvane::Exception* e) const { e->Release(); }
};
using Owned = std::unique_ptr<Orvane::Exception, Releaser>;

boost::shared_ptr<Orvane::Client::Exception> ClientError(const char* type, int number, const char* message)
{
    return Orvane::Helper::Exception::Hold(new Orvane::Client::Exception(type, number, message));
}

TEST(HelperExceptionTest, CopiesOrHoldsTheClientError)
{
    auto error = ClientError("Orvane::Client", 2000, "状態が不正です。詳細=state is not ready");

    Owned copied(new Orvane::Helper::Exception(2, error));
    EXPECT_STREQ("Orvane::Client", copied->GetType());
    EXPECT_EQ(2000, copied->GetErrorNo());
    EXPECT_STREQ(error->GetErrorMessage(), copied->GetErrorMessage());
    EXPECT_NE(error->GetErrorMessage(), copied->GetErrorMessage()) << "encoding 2 holds a separate copy";
    EXPECT_EQ(1, error.use_count());

    Owned held(new Orvane::Helper::Exception(0, error));
    EXPECT_EQ(error->GetErrorMessage(), held->GetErrorMessage()) << "other codes hold the error itself";
    EXPECT_EQ(2, error.use_count());
    held.reset();
    EXPECT_EQ(1, error.use_count()) << "Release drops the helper's reference";
}

std::string ShiftJis(const std::string& utf8)
{
    std::string sjis;
    EXPECT_TRUE(Orvane::Test::Iconv("SHIFT_JIS", "UTF-8").Convert(utf8, sjis));
    return sjis;
}

// The library's own messages come out in the helper's encoding. What cannot be converted
// (a file name byte that is not UTF-8 lost its neighbours) is replaced visibly.
TEST(HelperExceptionTest, LibraryMessagesComeInTheHelpersEncoding)
{
    struct Case {
        const char* name;
        const char* message;
        std::string shiftJis;
        std::string utf8;
    };
    const Case cases[] = {
        {"helper message", "状態が不正です。詳細=state is not ready", ShiftJis("状態が不正です。詳細=state is not ready"),
         "状態が不正です。詳細=state is not ready"},
        {"character without a Shift_JIS row", "詳細=x\xF0\x9F\x98\x80y", ShiftJis("詳細=x?y"),
         "詳細=x\xF0\x9F\x98\x80y"},
        {"file name that is not UTF-8", "詳細=file open failed. caf\xE9.ini",
         ShiftJis("詳細=file open failed. caf?.ini"), "詳細=file open failed. caf\xEF\xBF\xBD.ini"},
        {"cut character", "詳細=x\xC3(", ShiftJis("詳細=x?("), "詳細=x\xEF\xBF\xBD("},
        {"cut at the end", "詳細=x\xC3", ShiftJis("詳細=x?"), "詳細=x\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int encoding : {1, 2}) {
            Owned error(new Orvane::Helper::Exception(encoding, ClientError("Orvane::Client", 2000, c.message)));
            EXPECT_STREQ("Orvane::Client", error->GetType());
            EXPECT_EQ(2000, error->GetErrorNo());
            EXPECT_EQ(encoding == 1 ? c.shiftJis : c.utf8, error->GetErrorMessage());
        }
    }
    Owned made(Error::InvalidState(1, "state is not running"));
    EXPECT_EQ(ShiftJis("状態が不正です。詳細=state is not running"), made->GetErrorMessage());
}

// A server's error text, already converted by the session, was converted a second time
// as if it were UTF-8 and came out garbled or empty; whatever type the server names.
TEST(HelperExceptionTest, ShiftJisKeepsTheServersTextAsItCame)
{
    const std::string serverText = ShiftJis("認識エンジンでエラーが発生しました。");
    for (const char* type : {"Orvane::Server", "Orvane::Client"}) {
        SCOPED_TRACE(type);
        auto element = Orvane::Utility::Xml::Node::CreateInstance(
            "Exception", std::vector<boost::shared_ptr<Orvane::Utility::Xml::Node>>{
                             Orvane::Utility::Xml::Node::CreateInstance("Type", type),
                             Orvane::Utility::Xml::Node::CreateInstance("Errno", "4100"),
                             Orvane::Utility::Xml::Node::CreateInstance("Errmsg", serverText.c_str())});
        auto error = Orvane::Helper::Exception::Hold(new Orvane::Client::Exception(element));
        Owned wrapped(new Orvane::Helper::Exception(1, error));
        EXPECT_STREQ(type, wrapped->GetType());
        EXPECT_EQ(4100, wrapped->GetErrorNo());
        EXPECT_EQ(serverText, wrapped->GetErrorMessage());
        EXPECT_NE(error->GetErrorMessage(), wrapped->GetErrorMessage()) << "still a separate copy";
    }
}

TEST(HelperExceptionTest, ErrorTable)
{
    struct Case {
        Owned error;
        int number;
        const char* message;
    };
    Case cases[] = {
        {Owned(Error::NoServerAddress(2)), 1000, "サーバアドレスが指定されていません。"},
        {Owned(Error::InvalidServerPort(2)), 1001, "サーバポート番号が指定されていないか不正な値です。"},
        {Owned(Error::InvalidCompleteTimeout(2)), 1002, "認識結果取得タイムアウト時間が不正な値です。"},
        {Owned(Error::InvalidRecognitionTimeout(2)), 1003, "音声入力タイムアウト時間が不正な値です。"},
        {Owned(Error::InvalidSentenceTimeout(2)), 1004, "音声区間検出タイムアウト時間が不正な値です。"},
        {Owned(Error::InvalidOstrelEnvMode(2)), 1005, "音声区間検出モード値が不正な値です。"},
        {Owned(Error::NoUserAgent(2)), 1009, "UserAgentが指定されていません。"},
        {Owned(Error::InvalidOption(2, "d")), 1011, "その他の認識オプションが不正です。詳細=d"},
        {Owned(Error::InvalidState(2, "d")), 2000, "状態が不正です。詳細=d"},
        {Owned(Error::SpeechStartNotDetected(2)), 3000, "音声区間の始端が検出できません。"},
        {Owned(Error::SpeechEndNotDetected(2)), 3001, "音声区間の終端が検出できません。"},
        {Owned(Error::CannotConnect(2, "d")), 5000, "音声認識サーバに接続できません。詳細=d"},
        {Owned(Error::CaptureDeviceFailed(2, "d")), 6000, "音声キャプチャデバイスが開始できません。詳細=d"},
        {Owned(Error::Internal(2, "d")), 7000, "内部エラーが発生しました。詳細=d"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_STREQ("Orvane::Client", c.error->GetType());
        EXPECT_EQ(c.number, c.error->GetErrorNo());
        EXPECT_STREQ(c.message, c.error->GetErrorMessage());
    }
}

TEST(HelperExceptionTest, CaughtThroughThePublicInterface)
{
    try {
        throw Error::InvalidState(2, "state is not running");
    } catch (Orvane::Exception* e) {
        Owned owned(e);
        EXPECT_EQ(2000, e->GetErrorNo());
        EXPECT_STREQ("状態が不正です。詳細=state is not running", e->GetErrorMessage());
    }
}

} // namespace
