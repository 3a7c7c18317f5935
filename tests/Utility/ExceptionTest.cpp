#include "Utility/Exception.h"

#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/format.hpp>
#include <gtest/gtest.h>

namespace {

using Orvane::Utility::Exception;

std::string BoostFormatError(const char* format, int argument)
{
    try {
        (boost::format(format) % argument).str();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(ExceptionTest, DefaultIsEmpty)
{
    Exception e;
    EXPECT_STREQ("", e.GetType());
    EXPECT_EQ(0, e.GetErrorNo());
    EXPECT_STREQ("", e.what());
    EXPECT_STREQ("", e.GetErrorMessage());
}

TEST(ExceptionTest, PlainMessageIsNotFormatted)
{
    Exception e("Orvane::Utility::Http", 2, "解析が完了していません。%1%");
    EXPECT_STREQ("Orvane::Utility::Http", e.GetType());
    EXPECT_EQ(2, e.GetErrorNo());
    EXPECT_STREQ("解析が完了していません。%1%", e.what());
    EXPECT_EQ(e.what(), e.GetErrorMessage());
}

TEST(ExceptionTest, FormatsArgumentsInOrder)
{
    struct Case {
        const char* name;
        Exception error;
        const char* expected;
    };
    const boost::asio::ip::tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), 8080);
    const Case cases[] = {
        {"int", Exception("T", 2, "状態=%1%", -3), "状態=-3"},
        {"two ints", Exception("T", 3, "構文エラーです。エラー位置=%1%行目の%2%バイト目", 2, 17),
         "構文エラーです。エラー位置=2行目の17バイト目"},
        {"three unsigned", Exception("T", 4, "a=%1%, b=%2%, c=%3%", 1024u, 1020u, 10u), "a=1024, b=1020, c=10"},
        {"text", Exception("T", 1, "原因=[%1%]", "x"), "原因=[x]"},
        {"string", Exception("T", 1, "[%1%]", std::string("s")), "[s]"},
        {"double", Exception("T", 4, "f=%1%", 16000.5), "f=16000.5"},
        {"endpoint", Exception("T", 20, "リモートホスト=%1%", endpoint), "リモートホスト=127.0.0.1:8080"},
        {"null text argument", Exception("T", 1, "[%1%]", static_cast<const char*>(nullptr)), "[]"},
        {"mixed", Exception("T", 7, "%1% %2% %3%", "a", 2.5, "c"), "a 2.5 c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.expected, c.error.what());
    }
}

TEST(ExceptionTest, FormattingFailureKeepsFormatAndDescription)
{
    const char* format = "%1% と %2%";
    Exception e("T", 3, format, 1);
    EXPECT_EQ(std::string(format) + BoostFormatError(format, 1), e.what());
    EXPECT_GT(std::string(e.what()).size(), std::string(format).size());

    Exception tooMany("T", 3, "none", 1);
    EXPECT_EQ("none" + BoostFormatError("none", 1), std::string(tooMany.what()));
}

TEST(ExceptionTest, NullTextsAreEmpty)
{
    Exception plain(nullptr, 5, nullptr);
    EXPECT_STREQ("", plain.GetType());
    EXPECT_STREQ("", plain.what());
    Exception formatted(nullptr, 5, nullptr, 1);
    EXPECT_STREQ("", formatted.GetType());
    EXPECT_EQ(5, formatted.GetErrorNo());
}

TEST(ExceptionTest, CopyAndThrowKeepTriple)
{
    try {
        throw Exception("Orvane::Utility::Xml", 3, "タグのネストが多すぎます。ネストの数=%1%", 101);
    } catch (const std::exception& caught) {
        const Exception* e = dynamic_cast<const Exception*>(&caught);
        ASSERT_NE(nullptr, e);
        Exception copy(*e);
        EXPECT_STREQ("Orvane::Utility::Xml", copy.GetType());
        EXPECT_EQ(3, copy.GetErrorNo());
        EXPECT_STREQ("タグのネストが多すぎます。ネストの数=101", copy.what());
    }
}

} // namespace
