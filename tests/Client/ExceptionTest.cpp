#include "Client/Exception.h"

#include <memory>
#include <string>

#include <boost/lexical_cast/bad_lexical_cast.hpp>
#include <gtest/gtest.h>

#include "Client/Error.h"
#include "Utility/Exception.h"
#include "support/XmlBuild.h"

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

using Orvane::Test::Leaf;
using Orvane::Test::Tree;

TEST(ClientExceptionTest, ReadFromTheServersElement)
{
    struct Case {
        const char* name;
        Orvane::Test::XmlNode element;
        const char* type;
        int number;
        const char* message;
    };
    const Case cases[] = {
        {"usual order", Tree("Exception", {Leaf("Type", "Server"), Leaf("Errno", "12"), Leaf("Errmsg", "混雑")}),
         "Server", 12, "混雑"},
        {"other order, extra child",
         Tree("Exception", {Leaf("Errmsg", "m"), Leaf("Note", "x"), Leaf("Type", "T"), Leaf("Errno", "-7")}), "T",
         -7, "m"},
        {"signed number, first of a name",
         Tree("Exception", {Leaf("Type", "A"), Leaf("Type", "B"), Leaf("Errno", "+2147483647"), Leaf("Errmsg", "")}),
         "A", 2147483647, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Owned error(new Exception(c.element));
        EXPECT_STREQ(c.type, error->GetType());
        EXPECT_EQ(c.number, error->GetErrorNo());
        EXPECT_STREQ(c.message, error->GetErrorMessage());
    }
}

// The callers treat a failed read as a malformed reply or notification.
TEST(ClientExceptionTest, UnreadableServerElementFails)
{
    const char* const numbers[] = {"12x", "", " 1", "2147483648", "0x10", "1.0"};
    for (const char* number : numbers) {
        SCOPED_TRACE(number);
        auto element = Tree("Exception", {Leaf("Type", "T"), Leaf("Errno", number), Leaf("Errmsg", "m")});
        EXPECT_THROW(Owned(new Exception(element)), boost::bad_lexical_cast);
    }
    const char* const children[] = {"Type", "Errno", "Errmsg"};
    for (const char* missing : children) {
        SCOPED_TRACE(missing);
        auto element = Tree("Exception", {Leaf("Type", "T"), Leaf("Errno", "1"), Leaf("Errmsg", "m")});
        for (auto it = element->children.begin(); it != element->children.end(); ++it) {
            if ((*it)->name == missing) {
                element->children.erase(it);
                break;
            }
        }
        EXPECT_THROW(Owned(new Exception(element)), Orvane::Utility::Exception);
    }
}

} // namespace
