#include "Utility/Http/Parser.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "support/HttpWire.h"

namespace {

using Orvane::Test::Bytes;
using Orvane::Test::DescribeMessage;
using Orvane::Test::MakeWirePart;
using Orvane::Test::MultipartBody;
using Orvane::Test::MultipartMessage;
using Orvane::Test::WireMessage;
using Orvane::Test::WirePart;
using Orvane::Utility::Exception;
using Orvane::Utility::Http::Parser;

// What a receive step makes of `wire` when its bytes arrive in reads ending at `splits`
// (then the rest): the descriptions of the delivered messages, then "error: <what>" if
// the parse failed. Consumed bytes are dropped once per read, as the controller does.
std::vector<std::string> Receive(const std::string& wire, const std::vector<size_t>& splits = {})
{
    std::vector<std::string> results;
    Parser parser;
    std::string buffer;
    size_t fed = 0;
    std::vector<size_t> ends = splits;
    ends.push_back(wire.size());
    try {
        for (const size_t end : ends) {
            buffer += wire.substr(fed, end - fed);
            fed = end;
            const unsigned char* data = Bytes(buffer);
            const unsigned int consumed = parser.ParseMessages(data, buffer.size(), [&](unsigned int messageEnd) {
                EXPECT_LE(messageEnd, buffer.size());
                results.push_back(DescribeMessage(parser));
            });
            buffer.erase(0, consumed);
        }
    } catch (const Exception& e) {
        EXPECT_EQ(47, e.GetErrorNo());
        results.push_back(std::string("error: ") + e.what());
    }
    return results;
}

std::string ParseError(const std::string& inner)
{
    return "error: HTTP電文がパースできませんでした。原因=[" + inner + "]";
}

struct ValidCase {
    const char* name;
    std::string wire;
    std::string expected;  // DescribeMessage of the one message
};

std::vector<ValidCase> ValidCases()
{
    const std::string xml = "<Response><Result>ok</Result></Response>";
    return {
        {"reply without body", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n",
         "response 200 [OK] [1.0]\nheader [content-length]=[0]\n"},
        {"reply without Content-Length", "HTTP/1.0 404 Not Found\r\nServer: x\r\n\r\n",
         "response 404 [Not Found] [1.0]\nheader [server]=[x]\n"},
        {"reply, empty reason", "HTTP/1.1 500 \r\n\r\n", "response 500 [] [1.1]\n"},
        {"text body", WireMessage("HTTP/1.0 200 OK", "Content-Type: text/plain\r\n", "hello"),
         "response 200 [OK] [1.0]\nheader [content-length]=[5]\nheader [content-type]=[text/plain]\n"
         "part [hello]\n"},
        {"audio request", WireMessage("POST / HTTP/1.0", "Content-Type: audiodata\r\n", std::string("\0\1\2", 3)),
         "request [POST] [/] [1.0]\nheader [content-length]=[3]\nheader [content-type]=[audiodata]\n"
         "part [\\x00\\x01\\x02]\n"},
        {"xml body, parameters after the type",
         WireMessage("HTTP/1.0 200 OK", "Content-Type: TEXT/XML ; charset=UTF-8\r\n", xml),
         "response 200 [OK] [1.0]\nheader [content-length]=[40]\nheader [content-type]=[TEXT/XML ; charset=UTF-8]\n"
         "part [" + xml + "]\n"},
        {"other type: body not kept", WireMessage("HTTP/1.0 200 OK", "Content-Type: image/png\r\n", "PNG"),
         "response 200 [OK] [1.0]\nheader [content-length]=[3]\nheader [content-type]=[image/png]\n"},
        {"no type: body not kept", WireMessage("HTTP/1.0 200 OK", "", "abc"),
         "response 200 [OK] [1.0]\nheader [content-length]=[3]\n"},
        {"GET request, version after HTTP/", "GET /status?x=1 HTTP/1.0 extra\r\n\r\n",
         "request [GET] [/status?x=1] [1.0 extra]\n"},
        {"multipart reply, capitals, spaces and quotes in the type",
         WireMessage("HTTP/1.0 200 OK", "Content-Type: Multipart/Form-Data  ; boundary=\"xyz\"\r\n",
                     MultipartBody("xyz", {MakeWirePart("return", xml), MakeWirePart("empty", "")})),
         "response 200 [OK] [1.0]\nheader [content-length]=[203]\n"
         "header [content-type]=[Multipart/Form-Data  ; boundary=\"xyz\"]\n"
         "part [Content-Disposition: form-data; name=\"return\"\\x0d\\x0aContent-Length: 40\\x0d\\x0a\\x0d\\x0a" + xml +
             "] data [" + xml +
             "] [content-disposition]=[form-data; name=\"return\"] [content-length]=[40]\n"
             "part [Content-Disposition: form-data; name=\"empty\"\\x0d\\x0aContent-Length: 0\\x0d\\x0a\\x0d\\x0a] "
             "data [] [content-disposition]=[form-data; name=\"empty\"] [content-length]=[0]\n"},
        {"multipart request, part headers lower-cased, trimmed, first kept",
         MultipartMessage("POST /notify HTTP/1.0", "b",
                          {{"X-Kind:  call \r\nx-kind: other\r\nContent-Length:2\r\n", "\r\n"}}),
         "request [POST] [/notify] [1.0]\nheader [content-length]=[67]\n"
         "header [content-type]=[multipart/form-data; boundary=b]\n"
         "part [X-Kind:  call \\x0d\\x0ax-kind: other\\x0d\\x0aContent-Length:2\\x0d\\x0a\\x0d\\x0a\\x0d\\x0a] "
         "data [\\x0d\\x0a] [content-length]=[2] [x-kind]=[call]\n"},
        {"multipart without parts", MultipartMessage("HTTP/1.0 200 OK", "b", {}),
         "response 200 [OK] [1.0]\nheader [content-length]=[7]\nheader [content-type]=[multipart/form-data; "
         "boundary=b]\n"},
        {"bytes after the closing delimiter are ignored",
         WireMessage("HTTP/1.0 200 OK", "Content-Type: multipart/form-data; boundary=b\r\n", "--b--\r\nepilogue"),
         "response 200 [OK] [1.0]\nheader [content-length]=[15]\nheader [content-type]=[multipart/form-data; "
         "boundary=b]\n"},
        {"closing delimiter ends the message exactly",
         WireMessage("HTTP/1.0 200 OK", "Content-Type: multipart/form-data; boundary=b\r\n", "--b--"),
         "response 200 [OK] [1.0]\nheader [content-length]=[5]\nheader [content-type]=[multipart/form-data; "
         "boundary=b]\n"},
        {"repeated header keeps the first, Content-Length repeated with leading zeros",
         "HTTP/1.0 200 OK\r\nContent-Length:  002 \r\ncontent-length: 2\r\nContent-Type: text/plain\r\n\r\nok",
         "response 200 [OK] [1.0]\nheader [content-length]=[002]\nheader [content-type]=[text/plain]\npart [ok]\n"},
    };
}

TEST(HttpParserTest, MessagesParseTheSameWholeAndSplitAtEveryByte)
{
    for (const ValidCase& c : ValidCases()) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> whole = Receive(c.wire);
        ASSERT_EQ(std::vector<std::string>{c.expected}, whole);
        for (size_t split = 1; split < c.wire.size(); ++split) {
            SCOPED_TRACE(split);
            // The first read leaves the parser waiting; the second completes the message.
            Parser parser;
            EXPECT_FALSE(parser.Parse(Bytes(c.wire), split));
            ASSERT_TRUE(parser.Parse(Bytes(c.wire), c.wire.size()));
            EXPECT_EQ(c.expected, DescribeMessage(parser));
        }
        std::vector<size_t> everyByte;
        for (size_t end = 1; end < c.wire.size(); ++end) {
            everyByte.push_back(end);
        }
        EXPECT_EQ(whole, Receive(c.wire, everyByte)) << "one byte per read";
    }
}

TEST(HttpParserTest, PipelinedMessagesAreDeliveredInOrderInOneStep)
{
    const std::vector<ValidCase> cases = ValidCases();
    std::string wire;
    std::vector<std::string> expected;
    for (const ValidCase& c : cases) {
        wire += c.wire;
        expected.push_back(c.expected);
    }
    const std::string partial = "HTTP/1.0 200 OK\r\nContent-Len";

    Parser parser;
    const std::string all = wire + partial;
    std::vector<std::string> delivered;
    std::vector<unsigned int> ends;
    const unsigned int consumed = parser.ParseMessages(Bytes(all), all.size(), [&](unsigned int end) {
        delivered.push_back(DescribeMessage(parser));
        ends.push_back(end);
    });
    EXPECT_EQ(expected, delivered);
    EXPECT_EQ(wire.size(), consumed);
    ASSERT_EQ(cases.size(), ends.size());
    EXPECT_EQ(cases[0].wire.size(), ends[0]);
    EXPECT_EQ(Parser::StateHeaderLines, parser.GetState()) << "the partial message waits";

    for (size_t split = 1; split < all.size(); split += 7) {
        SCOPED_TRACE(split);
        EXPECT_EQ(expected, Receive(all, {split}));
    }
}

struct MalformedCase {
    const char* name;
    std::string wire;
    std::string error;  // the cause inside error 47
};

std::string Multipart(const std::string& body, const std::string& boundary = "b")
{
    return WireMessage("HTTP/1.0 200 OK", "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n", body);
}

// A message whose declared Content-Length is `length` while `body` follows.
std::string WithLength(const std::string& length, const std::string& extraHeaders = "", const std::string& body = "")
{
    return "HTTP/1.0 200 OK\r\n" + extraHeaders + "Content-Length: " + length + "\r\n\r\n" + body;
}

TEST(HttpParserTest, MalformedMessagesRaiseTheSameErrorHoweverSplit)
{
    const std::string part = "Content-Length: 2\r\n\r\nab\r\n";
    const std::string bigHeader = "HTTP/1.0 200 OK\r\nX: " + std::string(Parser::kMaxHeaderBlock, 'a') + "\r\n\r\n";
    const MalformedCase cases[] = {
        // start line
        {"bare LF after the start line", "HTTP/1.0 200 OK\n\r\n",
         "リクエストラインまはたステータスラインの改行がCRLFではありません。"},
        {"LF as first byte", "\nHTTP/1.0 200 OK\r\n\r\n",
         "リクエストラインまはたステータスラインの改行がCRLFではありません。"},
        {"no space", "GARBAGE\r\n\r\n", "メソッド名またはHTTPバージョンのフィールドを特定できません。"},
        {"reply without reason", "HTTP/1.0 200\r\n\r\n", "ステータスコードまたはURIのフィールドを特定できません。"},
        {"request version without HTTP/", "POST / HTTX/1.0\r\n\r\n", "HTTPバージョンの形式が不正です。"},
        {"status not a number", "HTTP/1.0 2x0 OK\r\n\r\n",
         "ステータスコードの形式が不正です。原因=[bad lexical cast: source type value could not be interpreted "
         "as target]"},
        // header lines
        {"header line with bare LF, more behind it", "HTTP/1.0 200 OK\r\nA: b\nC: d\r\n\r\n",
         "ヘッダラインの改行がCRLFではありません。"},
        {"header line without colon", "HTTP/1.0 200 OK\r\nNoColon\r\n\r\n", "ヘッダ名と値の区切り文字が存在しません。"},
        {"header block over 64 KiB", bigHeader, "ヘッダ部のサイズが上限を超えています。上限=65536バイト"},
        // Content-Length: digits only, bounded
        {"negative length", WithLength("-1"), "Content-Lengthの形式が不正です。原因=[not an unsigned decimal number]"},
        {"signed length", WithLength("+5", "", "12345"),
         "Content-Lengthの形式が不正です。原因=[not an unsigned decimal number]"},
        {"blank inside", WithLength("1 2"), "Content-Lengthの形式が不正です。原因=[not an unsigned decimal number]"},
        {"tab before", WithLength("\t5"), "Content-Lengthの形式が不正です。原因=[not an unsigned decimal number]"},
        {"hexadecimal", WithLength("0x10"), "Content-Lengthの形式が不正です。原因=[not an unsigned decimal number]"},
        {"empty length", WithLength(""), "Content-Lengthの形式が不正です。原因=[empty value]"},
        {"length past 4 GiB", WithLength("4294967296"), "HTTP電文のサイズが上限を超えています。上限=67108864バイト"},
        {"length that wraps 32 bits", WithLength("4294967295"),
         "HTTP電文のサイズが上限を超えています。上限=67108864バイト"},
        {"length past 64 bits", WithLength("99999999999999999999999"),
         "HTTP電文のサイズが上限を超えています。上限=67108864バイト"},
        {"message over 64 MiB", WithLength("67108864"), "HTTP電文のサイズが上限を超えています。上限=67108864バイト"},
        // Two lengths that differ leave the message's end in doubt: whichever is taken, a
        // peer could smuggle a message in.
        {"two lengths that differ", WithLength("2", "Content-Length: 9\r\n", "ok"),
         "Content-Lengthが複数あり、値が一致しません。値=9, 2"},
        {"a second length that is not a number", WithLength("x", "Content-Length: 2\r\n", "ok"),
         "Content-Lengthの形式が不正です。原因=[not an unsigned decimal number]"},
        // multipart framing
        {"no boundary parameter", WithLength("0", "Content-Type: multipart/form-data\r\n"), "boundaryが存在しません。"},
        {"parameter without =", WithLength("0", "Content-Type: multipart/form-data; boundary\r\n"),
         "パラメータの名前と値の区切り文字が存在しません。ヘッダ値=multipart/form-data; boundary"},
        {"empty multipart body", Multipart(""), "バウンダリ文字列が不一致です。"},
        {"other delimiter", Multipart("--c\r\n" + part + "--b--\r\n"), "バウンダリ文字列が不一致です。"},
        {"delimiter followed by junk", Multipart("--bX\r\n"), "バウンダリ文字列が不一致です。"},
        {"delimiter at the message end", Multipart("--b\r\n"), "マルチパート電文の形式が不正です。"},
        {"part header with bare LF", Multipart("--b\r\nContent-Length: 2\n\r\nab\r\n--b--\r\n"),
         "マルチパート電文のボディ部のヘッダラインの改行がCRLFではありません。"},
        {"part header line without any LF", Multipart("--b\r\nContent-Length: 2"),
         "マルチパート電文のボディ部のヘッダラインの改行がCRLFではありません。"},
        {"part header without colon", Multipart("--b\r\nNoColon\r\n\r\nab\r\n--b--\r\n"),
         "マルチパート電文のボディ部のヘッダ名と値の区切り文字が存在しません。"},
        {"part header ends the message", Multipart("--b\r\nContent-Length: 2\r\n"),
         "マルチパート電文のボディ部のデータ区切りが存在しません。"},
        {"part without length", Multipart("--b\r\nX: y\r\n\r\nab\r\n--b--\r\n"), "content-lengthが存在しません。"},
        {"part length signed", Multipart("--b\r\nContent-Length: -2\r\n\r\nab\r\n--b--\r\n"),
         "マルチパート電文のボディ部のContent-Lengthの形式が不正です。原因=[not an unsigned decimal number]"},
        {"part length empty", Multipart("--b\r\nContent-Length:\r\n\r\nab\r\n--b--\r\n"),
         "マルチパート電文のボディ部のContent-Lengthの形式が不正です。原因=[empty value]"},
        {"part with two lengths that differ",
         Multipart("--b\r\nContent-Length: 2\r\nCONTENT-LENGTH: 3\r\n\r\nab\r\n--b--\r\n"),
         "Content-Lengthが複数あり、値が一致しません。値=2, 3"},
        {"part length past 32 bits", Multipart("--b\r\nContent-Length: 4294967298\r\n\r\nab\r\n--b--\r\n"),
         "マルチパート電文のコンテントレングスの値が不正です。"},
        {"truncated part", Multipart("--b\r\nContent-Length: 20\r\n\r\nab\r\n--b--\r\n"),
         "マルチパート電文のコンテントレングスの値が不正です。"},
        {"part data not followed by CRLF", Multipart("--b\r\nContent-Length: 1\r\n\r\nab\r\n--b--\r\n"),
         "マルチパート電文のボディ部のデータの終端がCRLFではありません。"},
        {"part data up to the message end", Multipart("--b\r\nContent-Length: 2\r\n\r\nab"),
         "マルチパート電文のボディ部のデータの終端がCRLFではありません。"},
        {"no closing delimiter", Multipart("--b\r\n" + part), "マルチパート電文の形式が不正です。"},
        // The closing delimiter must lie inside its own message: bytes of the next message
        // in the same read must not complete it (the result would depend on the split).
        {"closing delimiter across the message end",
         Multipart("--b\r\n" + part + "--b-") + "-\r\nHTTP/1.0 200 OK\r\n\r\n", "バウンダリ文字列が不一致です。"},
        {"part data across the message end",
         Multipart("--b\r\nContent-Length: 2\r\n\r\na") + "b\r\n--b--\r\n", "マルチパート電文のコンテントレングスの値が不正です。"},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> expected = {ParseError(c.error)};
        ASSERT_EQ(expected, Receive(c.wire));
        const size_t step = c.wire.size() > 1000 ? 4099 : 1;
        for (size_t split = 1; split < c.wire.size(); split += step) {
            SCOPED_TRACE(split);
            EXPECT_EQ(expected, Receive(c.wire, {split}));
        }
    }
}

TEST(HttpParserTest, SizeLimitsAreInclusive)
{
    // A header block of exactly 64 KiB is accepted; one byte more is not, and the parser
    // refuses as soon as 64 KiB have arrived without the end of the block.
    const std::string head = "HTTP/1.0 200 OK\r\nX: ";
    const std::string tail = "\r\n\r\n";
    const std::string exact = head + std::string(Parser::kMaxHeaderBlock - head.size() - tail.size(), 'a') + tail;
    ASSERT_EQ(Parser::kMaxHeaderBlock, exact.size());
    Parser accepted;
    EXPECT_TRUE(accepted.Parse(Bytes(exact), exact.size()));

    const std::string noLineEnd(Parser::kMaxHeaderBlock, 'a');
    Parser refused;
    EXPECT_FALSE(refused.Parse(Bytes(noLineEnd), Parser::kMaxHeaderBlock - 1));
    EXPECT_THROW(refused.Parse(Bytes(noLineEnd), Parser::kMaxHeaderBlock), Exception);

    // A message of exactly 64 MiB waits for its body; one byte more is refused.
    const std::string start = "HTTP/1.0 200 OK\r\nContent-Length: ";
    const unsigned int bodyStart = start.size() + 8 + 4;
    const std::string largest = start + std::to_string(Parser::kMaxMessage - bodyStart) + "\r\n\r\n";
    ASSERT_EQ(bodyStart, largest.size());
    Parser waiting;
    EXPECT_FALSE(waiting.Parse(Bytes(largest), largest.size()));
    EXPECT_EQ(Parser::kMaxMessage, waiting.GetMessageEnd());
    const std::string tooLarge = start + std::to_string(Parser::kMaxMessage - bodyStart + 1) + "\r\n\r\n";
    Parser overflow;
    EXPECT_THROW(overflow.Parse(Bytes(tooLarge), tooLarge.size()), Exception);
}

TEST(HttpParserTest, IncompleteBodyWaitsUntilItArrives)
{
    const std::string wire = WireMessage("HTTP/1.0 200 OK", "Content-Type: text/plain\r\n", "0123456789");
    Parser parser;
    EXPECT_FALSE(parser.Parse(Bytes(wire), wire.size() - 1));
    EXPECT_EQ(Parser::StateBodyWait, parser.GetState());
    EXPECT_TRUE(parser.Parse(Bytes(wire), wire.size()));
    EXPECT_EQ(wire.size(), parser.GetMessageEnd());
}

TEST(HttpParserTest, DeliveryChecksAndReset)
{
    const std::string reply = "HTTP/1.0 200 OK\r\n\r\n";
    const std::string request = "POST /n HTTP/1.0\r\n\r\n";
    struct Case {
        const char* name;
        std::string wire;
        bool complete;
        std::string requestError;
        std::string responseError;
    };
    const Case cases[] = {
        {"incomplete", "HTTP/1.0 200 OK\r\n", false, "解析が完了していません。", "解析が完了していません。"},
        {"reply", reply, true, "", ""},
        {"request", request, true, "", "解析対象がレスポンス電文ではありません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Parser parser;
        EXPECT_EQ(c.complete, parser.Parse(Bytes(c.wire), c.wire.size()));
        for (const auto& check : {std::make_pair(0, c.requestError), std::make_pair(1, c.responseError)}) {
            try {
                if (check.first == 0) {
                    EXPECT_EQ(parser.GetRequest(), parser.CompletedRequest());
                } else {
                    EXPECT_EQ(parser.GetResponse(), parser.CompletedResponse());
                }
                EXPECT_EQ("", check.second);
            } catch (const Exception& e) {
                EXPECT_EQ(2, e.GetErrorNo());
                EXPECT_EQ(check.second, e.what());
            }
        }
    }

    // A listener keeps the old message whole after the reset.
    Parser parser;
    ASSERT_TRUE(parser.Parse(Bytes(request), request.size()));
    const auto kept = parser.CompletedRequest();
    parser.Reset();
    EXPECT_NE(kept, parser.GetRequest());
    EXPECT_EQ("POST", kept->method);
    EXPECT_EQ("/n", kept->uri);
    EXPECT_EQ(Parser::StateStartLine, parser.GetState());
    EXPECT_EQ(Parser::KindUndetermined, parser.GetKind());
    EXPECT_TRUE(parser.Parse(Bytes(reply), reply.size()));
}

// A delivery that fails leaves the parser complete: the next step refuses with error 2
// (not wrapped), so a broken connection is never read on silently.
TEST(HttpParserTest, FailedDeliveryLeavesParserComplete)
{
    const std::string two = "HTTP/1.0 200 OK\r\n\r\nHTTP/1.0 200 OK\r\n\r\n";
    Parser parser;
    int calls = 0;
    EXPECT_THROW(parser.ParseMessages(Bytes(two), two.size(),
                                      [&](unsigned int) {
                                          ++calls;
                                          throw std::runtime_error("listener failed");
                                      }),
                 std::runtime_error);
    EXPECT_EQ(1, calls);
    EXPECT_EQ(Parser::StateComplete, parser.GetState());
    try {
        parser.Parse(Bytes(two), two.size());
        FAIL() << "a complete parser refuses to read on";
    } catch (const Exception& e) {
        EXPECT_EQ(2, e.GetErrorNo());
        EXPECT_STREQ("解析が既に完了しています。", e.what());
    }
}

} // namespace
