#include "Client/Exception.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Client/Error.h"

namespace {

using Orvane::Client::Error;
using Orvane::Client::Exception;

struct Releaser {
    void operator()(Orvane::Exception* e) const { e->Release(); }
};
using Owned = std::unique_ptr<Orvane::Exception, Releaser>;

TEST(ClientExceptionTest, Construction)
{
    struct Case {
        const char* name;
        Owned error;
        int number;
        const char* message;
    };
    Case cases[] = {
        {"plain", Owned(new Exception("Orvane::Client", 5006, "コネクションが切断されました。")), 5006,
         "コネクションが切断されました。"},
        {"detail", Owned(new Exception("Orvane::Client", 5002, "通信で異常が発生しました。詳細=%s", "abc")), 5002,
         "通信で異常が発生しました。詳細=abc"},
        {"string detail",
         Owned(new Exception("Orvane::Client", 7000, "内部エラーが発生しました。詳細=%s", std::string("x"))), 7000,
         "内部エラーが発生しました。詳細=x"},
        {"format without directive", Owned(new Exception("Orvane::Client", 1, "詳細なし", "abc")), 1, "詳細なし"},
        {"null detail", Owned(new Exception("Orvane::Client", 2, "詳細=%s", static_cast<const char*>(nullptr))), 2,
         "詳細="},
        {"null texts", Owned(new Exception(nullptr, 3, nullptr)), 3, ""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.number, c.error->GetErrorNo());
        EXPECT_STREQ(c.message, c.error->GetErrorMessage());
        EXPECT_EQ(c.error->GetErrorMessage(), dynamic_cast<std::exception&>(*c.error).what());
    }
}

TEST(ClientExceptionTest, ErrorTable)
{
    struct Case {
        Owned error;
        int number;
        const char* message;
    };
    Case cases[] = {
        {Owned(Error::UserAgentRefused()), 1010, "許可されていないUserAgentが指定されています。"},
        {Owned(Error::InvalidState("d")), 2000, "状態が不正です。詳細=d"},
        {Owned(Error::RecognitionTimeout()), 3002, "音声認識処理がタイムアウトしました。"},
        {Owned(Error::InvalidResponse("d")), 4000, "受信したレスポンスが不正です。詳細=d"},
        {Owned(Error::MissingNode()), 4001, "受信したレスポンスに期待されたノードが存在しません。"},
        {Owned(Error::InvalidRequest("d")), 4002, "受信したリクエストが不正です。詳細=d"},
        {Owned(Error::ServerFault("response code (500)")), 4004,
         "音声認識サーバが異常な状態です。詳細=response code (500)"},
        {Owned(Error::CannotConnect("d")), 5000, "音声認識サーバに接続できません。詳細=d"},
        {Owned(Error::CommunicationFailed("d")), 5002, "通信で異常が発生しました。詳細=d"},
        {Owned(Error::Disconnected()), 5006, "コネクションが切断されました。"},
        {Owned(Error::Internal("d")), 7000, "内部エラーが発生しました。詳細=d"},
        {Owned(Error::Unsupported()), 7001, "指定された処理は未サポートです。"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_STREQ("Orvane::Client", c.error->GetType());
        EXPECT_EQ(c.number, c.error->GetErrorNo());
        EXPECT_STREQ(c.message, c.error->GetErrorMessage());
    }
}

TEST(ClientExceptionTest, CaughtThroughInterface)
{
    try {
        throw Error::Disconnected();
    } catch (Orvane::Exception* e) {
        Owned owned(e);
        EXPECT_EQ(5006, e->GetErrorNo());
    }
}

} // namespace
