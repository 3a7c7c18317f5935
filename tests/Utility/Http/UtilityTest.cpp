#include "Utility/Http/Utility.h"

#include <chrono>
#include <ctime>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "Utility/Http/RequestInformation.h"
#include "Utility/Http/ResponseInformation.h"
#include "support/HttpWire.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::Bytes;
using Orvane::Utility::Exception;
using Orvane::Utility::Http::BodyPartInformation;
using Orvane::Utility::Http::ContentType;
using Orvane::Utility::Http::RequestInformation;
using Orvane::Utility::Http::ResponseInformation;
using Orvane::Utility::Http::StatusCode;
using Orvane::Utility::Http::Utility;
using Orvane::Utility::Tcp::Buffer;

std::string Text(const Buffer& buffer)
{
    return std::string(buffer.storage.begin(), buffer.storage.begin() + buffer.dataLength);
}

// Runs `write` on a buffer that already holds "x" and returns what it appended, or the
// error it raised (checking that it then appended nothing).
template <typename Write>
std::string Appended(Write write, int* errorNo = nullptr, std::string* message = nullptr)
{
    Buffer buffer(1024, Bytes("x"), 1);
    try {
        write(buffer);
    } catch (const Exception& e) {
        EXPECT_EQ("x", Text(buffer)) << "a writer that raises appends nothing";
        EXPECT_STREQ("Orvane::Utility::Http", e.GetType());
        if (errorNo) {
            *errorNo = e.GetErrorNo();
        }
        if (message) {
            *message = e.what();
        }
        return "<error>";
    }
    return Text(buffer).substr(1);
}

TEST(HttpUtilityTest, HeaderWritersWriteExactLines)
{
    struct Case {
        const char* name;
        std::function<void(Buffer&)> write;
        std::string expected;
        int errorNo;
        std::string message;
    };
    const Case cases[] = {
        {"200", [](Buffer& b) { Utility::AppendStatusLine(b, StatusCode(200)); }, "HTTP/1.0 200 OK\r\n", 0, ""},
        {"400", [](Buffer& b) { Utility::AppendStatusLine(b, StatusCode(400)); }, "HTTP/1.0 400 Bad Request\r\n",
         0, ""},
        {"403", [](Buffer& b) { Utility::AppendStatusLine(b, StatusCode(403)); }, "HTTP/1.0 403 Forbidden\r\n", 0,
         ""},
        {"404 refused", [](Buffer& b) { Utility::AppendStatusLine(b, StatusCode(404)); }, "<error>", 5,
         "指定されたステータスコードは不正です。値=404"},
        {"text/plain", [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(0), nullptr); },
         "Content-Type: text/plain\r\n", 0, ""},
        {"multipart", [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(1), "abc"); },
         "Content-Type: multipart/form-data; boundary=abc\r\n", 0, ""},
        {"multipart, empty boundary", [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(1), ""); },
         "Content-Type: multipart/form-data; boundary=\r\n", 0, ""},
        {"multipart, null boundary",
         [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(1), nullptr); }, "<error>", 5,
         "バウンダリ文字列が不正です。"},
        {"audiodata", [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(2), nullptr); },
         "Content-Type: audiodata\r\n", 0, ""},
        {"content type 3", [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(3), "abc"); },
         "<error>", 5, "指定されたコンテントタイプは不正です。値=3"},
        {"content type -1", [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(-1), "abc"); },
         "<error>", 5, "指定されたコンテントタイプは不正です。値=-1"},
        {"length 0", [](Buffer& b) { Utility::AppendContentLengthHeader(b, 0); }, "Content-Length: 0\r\n", 0, ""},
        {"length max", [](Buffer& b) { Utility::AppendContentLengthHeader(b, 4294967295u); },
         "Content-Length: 4294967295\r\n", 0, ""},
        {"agent", [](Buffer& b) { Utility::AppendUserAgentHeader(b, "Tessival/1.0 (x86)"); },
         "User-Agent: Tessival/1.0 (x86)\r\n", 0, ""},
        {"empty agent", [](Buffer& b) { Utility::AppendUserAgentHeader(b, ""); }, "User-Agent: \r\n", 0, ""},
        // Header injection: a value with a line break or NUL never reaches the wire.
        {"agent with CRLF", [](Buffer& b) { Utility::AppendUserAgentHeader(b, "a\r\nX-Evil: 1"); }, "<error>", 5,
         "User-Agentに使用できない文字(CR, LF, NUL)が含まれています。"},
        {"agent with LF", [](Buffer& b) { Utility::AppendUserAgentHeader(b, "a\nb"); }, "<error>", 5,
         "User-Agentに使用できない文字(CR, LF, NUL)が含まれています。"},
        {"agent with NUL", [](Buffer& b) { Utility::AppendUserAgentHeader(b, std::string("a\0b", 3)); },
         "<error>", 5, "User-Agentに使用できない文字(CR, LF, NUL)が含まれています。"},
        {"boundary with CR", [](Buffer& b) { Utility::AppendContentTypeHeader(b, ContentType(1), "a\rb"); },
         "<error>", 5, "boundaryに使用できない文字(CR, LF, NUL)が含まれています。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int errorNo = 0;
        std::string message;
        EXPECT_EQ(c.expected, Appended(c.write, &errorNo, &message));
        EXPECT_EQ(c.errorNo, errorNo);
        EXPECT_EQ(c.message, message);
    }
}

TEST(HttpUtilityTest, AppendBodyWritesDelimitedParts)
{
    const std::string boundary(31, 'b');
    const std::string ten = "0123456789";
    const std::string withNul("a\0b", 3);
    struct Case {
        const char* name;
        std::vector<BodyPartInformation> parts;
        std::string expected;
    };
    const Case cases[] = {
        {"no parts", {}, "--" + boundary + "--\r\n"},
        {"10 and 0 bytes",
         {BodyPartInformation(Bytes(ten), 10), BodyPartInformation(nullptr, 0)},
         "--" + boundary + "\r\n" + ten + "\r\n--" + boundary + "\r\n\r\n--" + boundary + "--\r\n"},
        {"bytes as they stand", {BodyPartInformation(Bytes(withNul), 3)},
         "--" + boundary + "\r\n" + withNul + "\r\n--" + boundary + "--\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, Appended([&](Buffer& b) { Utility::AppendBody(b, boundary, c.parts); }));
        EXPECT_EQ(c.expected.size(), Utility::BodyLength(boundary, c.parts));
    }
    EXPECT_EQ(121u, Utility::BodyLength(boundary, cases[1].parts));

    int errorNo = 0;
    EXPECT_EQ("<error>",
              Appended([&](Buffer& b) { Utility::AppendBody(b, boundary, {BodyPartInformation(nullptr, 4)}); },
                       &errorNo));
    EXPECT_EQ(5, errorNo);

    // A body past 4 GiB cannot be announced in a 32-bit Content-Length: refused before any
    // part byte is read.
    const std::vector<BodyPartInformation> huge = {BodyPartInformation(Bytes(ten), 0x80000000u),
                                                   BodyPartInformation(Bytes(ten), 0x80000000u)};
    EXPECT_THROW(Utility::BodyLength(boundary, huge), Exception);
    EXPECT_EQ("<error>", Appended([&](Buffer& b) { Utility::AppendBody(b, boundary, huge); }, &errorNo));
    EXPECT_EQ(5, errorNo);
}

// The date line is the current time in UTC, whatever the local zone (the test runs in
// a zone nine hours from UTC).
TEST(HttpUtilityTest, DateHeaderIsCurrentUtcTime)
{
    const std::regex pattern(
        "Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), ([0-9]{2}) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "([0-9]{4}) ([0-9]{2}):([0-9]{2}):([0-9]{2}) GMT\r\n");
    const std::time_t before = std::time(nullptr);
    Buffer buffer(1024, nullptr, 0);
    Utility::AppendDateHeader(buffer);
    const std::time_t after = std::time(nullptr);
    std::smatch match;
    const std::string text = Text(buffer);
    ASSERT_TRUE(std::regex_match(text, match, pattern)) << text;

    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    bool matched = false;
    for (std::time_t t = before; t <= after && !matched; ++t) {
        std::tm utc{};
        gmtime_r(&t, &utc);
        matched = match[1] == kDays[utc.tm_wday] && std::stoi(match[2]) == utc.tm_mday &&
                  match[3] == kMonths[utc.tm_mon] && std::stoi(match[4]) == utc.tm_year + 1900 &&
                  std::stoi(match[5]) == utc.tm_hour && std::stoi(match[6]) == utc.tm_min &&
                  std::stoi(match[7]) == utc.tm_sec;
    }
    EXPECT_TRUE(matched) << text;
}

// The boundary reads the local clock once: its date and time fields are local time and
// its ten-digit tail is the microseconds since local midnight times 125.
TEST(HttpUtilityTest, BoundaryIsLocalTimeWithMicrosecondTail)
{
    const std::regex pattern("---([0-9]{4})([0-9]{2})([0-9]{2})([0-9]{2})([0-9]{2})([0-9]{2})([0-9]{3})\\+([0-9]{10})");
    // The boundary reads the precise clock; time() reads a coarse one that lags it by up
    // to a tick, which just after a second begins would still show the second before.
    const auto now = [] { return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()); };
    const std::time_t before = now();
    std::string boundary = "old content";
    Utility::CreateBoundaryString(boundary);
    const std::time_t after = now();
    ASSERT_EQ(31u, boundary.size());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(boundary, m, pattern)) << boundary;

    bool matched = false;
    for (std::time_t t = before; t <= after && !matched; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        matched = std::stoi(m[1]) == local.tm_year + 1900 && std::stoi(m[2]) == local.tm_mon + 1 &&
                  std::stoi(m[3]) == local.tm_mday && std::stoi(m[4]) == local.tm_hour &&
                  std::stoi(m[5]) == local.tm_min && std::stoi(m[6]) == local.tm_sec;
    }
    EXPECT_TRUE(matched) << boundary;

    const long long millisecondsSinceMidnight =
        ((std::stoll(m[4]) * 60 + std::stoll(m[5])) * 60 + std::stoll(m[6])) * 1000 + std::stoll(m[7]);
    const long long modulus = 10000000000LL;
    const long long offset = (std::stoll(m[8]) - millisecondsSinceMidnight * 1000 * 125 % modulus + modulus) % modulus;
    EXPECT_EQ(0, offset % 125) << boundary;
    EXPECT_LT(offset / 125, 1000) << "the tail lies within the same millisecond: " << boundary;
}

TEST(HttpUtilityTest, BoundariesOfDifferentMillisecondsDiffer)
{
    std::string first;
    Utility::CreateBoundaryString(first);
    std::string next;
    EXPECT_TRUE(Orvane::Test::WaitFor([&] {
        Utility::CreateBoundaryString(next);
        return next.substr(18, 3) != first.substr(18, 3);
    }));
    EXPECT_NE(first, next);
    EXPECT_EQ(31u, next.size());
}

TEST(HttpUtilityTest, GetValueFindsExactName)
{
    const std::map<std::string, std::string> values = {{"content-length", "12"}, {"boundary", ""}};
    EXPECT_EQ("12", Utility::GetValue(values, "content-length"));
    EXPECT_EQ("", Utility::GetValue(values, "boundary"));
    try {
        Utility::GetValue(values, "Content-Length");
        FAIL() << "a name is matched exactly";
    } catch (const Exception& e) {
        EXPECT_EQ(6, e.GetErrorNo());
        EXPECT_STREQ("Content-Lengthが存在しません。", e.what());
    }
}

TEST(HttpUtilityTest, HeaderValueParameters)
{
    typedef std::map<std::string, std::string> Map;
    struct Case {
        const char* name;
        std::string value;
        Map expected;
        std::string error;  // message of error 3, empty when none
    };
    const Case cases[] = {
        {"one parameter", "multipart/form-data; boundary=abc", {{"boundary", "abc"}}, ""},
        {"capitals and quotes", "multipart/form-data; BOUNDARY=\"abc\"", {{"boundary", "abc"}}, ""},
        {"several, first of a repeated name stays", "a/b;x=1; y = 2 ;X=3", {{"x", "1"}, {"y ", " 2"}}, ""},
        {"no semicolon", "multipart/form-data", {}, ""},
        {"nothing after the semicolon", "multipart/form-data;", {}, ""},
        {"trailing semicolon", "a/b; x=1;", {{"x", "1"}}, ""},
        {"lone quote stays", "a/b; x=\"", {{"x", "\""}}, ""},
        {"empty quoted value", "a/b; x=\"\"", {{"x", ""}}, ""},
        {"nothing after =", "a/b; boundary=", {}, "パラメータ値が空文字列です。"},
        {"only spaces after =", "a/b; boundary=  ;x=1", {}, "パラメータ値が空文字列です。"},
        {"nothing before =", "a/b; =abc", {}, "パラメータ名が空文字列です。"},
        {"spaces before =", "a/b;   =abc", {}, "パラメータ名が空文字列です。"},
        {"no =", "a/b; boundary", {}, "パラメータの名前と値の区切り文字が存在しません。ヘッダ値=a/b; boundary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Map parameters;
        try {
            Utility::GetHeaderValueParameter(c.value, parameters);
            EXPECT_EQ("", c.error);
            EXPECT_EQ(c.expected, parameters);
        } catch (const Exception& e) {
            EXPECT_EQ(3, e.GetErrorNo());
            EXPECT_EQ(c.error, e.what());
        }
    }
}

TEST(HttpUtilityTest, AddHeaderTrimsSpacesAndKeepsFirstValue)
{
    struct Line {
        std::string name;
        std::string value;
    };
    const std::vector<Line> lines = {
        {"Content-Type", "  text/plain  "},
        {"content-type", "text/xml"},
        {"X-Tab", "\tvalue\t"},
        {"X-Blank", "    "},
        {" Spaced ", "v"},
    };
    const std::map<std::string, std::string> expected = {
        {"content-type", "text/plain"}, {"x-tab", "\tvalue\t"}, {"x-blank", ""}, {" spaced ", "v"}};
    RequestInformation request;
    ResponseInformation response;
    for (const Line& line : lines) {
        request.AddHeader(Bytes(line.name), line.name.size(), Bytes(line.value), line.value.size());
        response.AddHeader(Bytes(line.name), line.name.size(), Bytes(line.value), line.value.size());
    }
    EXPECT_EQ(expected, request.headers);
    EXPECT_EQ(expected, response.headers);
}

} // namespace
