#include "Utility/Kcode.h"

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Utility/TextEncoding.h"
#include "Utility/Exception.h"
#include "Utility/KcodeTables.h"

namespace {

using Orvane::Utility::_UTF8_REFERENCE_TABLE;
using Orvane::Utility::Kcode;

enum class Conversion { Utf8ToSjis, Utf8ToEuc, SjisToUtf8, SjisToEuc, EucToUtf8, EucToSjis };

int Convert(Conversion conversion, const char* in, std::string& out)
{
    const Kcode& kcode = Kcode::Instance();
    switch (conversion) {
    case Conversion::Utf8ToSjis: return kcode.Utf8ToXxx(in, out, 1);
    case Conversion::Utf8ToEuc: return kcode.Utf8ToXxx(in, out, 2);
    case Conversion::SjisToUtf8: return kcode.SjisToUtf8(in, out);
    case Conversion::SjisToEuc: return kcode.SjisToEuc(in, out);
    case Conversion::EucToUtf8: return kcode.EucToUtf8(in, out);
    case Conversion::EucToSjis: return kcode.EucToSjis(in, out);
    }
    return -1;
}

// Input in a heap block that ends right after its terminating NUL, followed by nothing,
// so that a read past the terminator is caught by AddressSanitizer.
std::unique_ptr<char[]> Exact(const std::string& text)
{
    std::unique_ptr<char[]> block(new char[text.size() + 1]);
    std::memcpy(block.get(), text.c_str(), text.size() + 1);
    return block;
}

struct Case {
    const char* name;
    Conversion conversion;
    std::string in;
    std::string out;
    int unmapped;
};

void Check(const Case& c)
{
    SCOPED_TRACE(c.name);
    const auto in = Exact(c.in);
    std::string out = "previous";
    EXPECT_EQ(c.unmapped, Convert(c.conversion, in.get(), out));
    EXPECT_EQ(c.out, out);
}

int Rows(const _UTF8_REFERENCE_TABLE* table, std::uint32_t _UTF8_REFERENCE_TABLE::*end)
{
    int rows = 0;
    while (table[rows].*end != 0) {
        ++rows;
    }
    return rows;
}

TEST(KcodeTest, TablesHaveTheirRowCounts)
{
    using Row = _UTF8_REFERENCE_TABLE;
    EXPECT_EQ(7145, Rows(Orvane::Utility::utf8_reference_table, &Row::unicode));
    EXPECT_EQ(374, Rows(Orvane::Utility::utf8_reference_table_ex89, &Row::unicode));
    EXPECT_EQ(386, Rows(Orvane::Utility::extended_code_table, &Row::sjis));
    for (int i = 0; i < 386; ++i) {
        EXPECT_EQ(0u, Orvane::Utility::extended_code_table[i].unicode);
    }
    for (int i = 1; i < 7145; ++i) {
        ASSERT_LT(Orvane::Utility::utf8_reference_table[i - 1].unicode, Orvane::Utility::utf8_reference_table[i].unicode);
    }
}

TEST(KcodeTest, ConvertsCharacters)
{
    using C = Conversion;
    const Case cases[] = {
        {"empty", C::Utf8ToSjis, "", "", 0},
        {"empty EUC-JP", C::EucToUtf8, "", "", 0},
        {"A and hiragana a to Shift_JIS", C::Utf8ToSjis, "A\xE3\x81\x82", "A\x82\xA0", 0},
        {"A and hiragana a to EUC-JP", C::Utf8ToEuc, "A\xE3\x81\x82", "A\xA4\xA2", 0},
        {"reverse solidus is the full-width one", C::Utf8ToSjis, "\\", "\x81\x5F", 0},
        {"reverse solidus in EUC-JP", C::Utf8ToEuc, "\\", "\xA1\xC0", 0},
        {"Shift_JIS 0x5C is the yen sign", C::SjisToUtf8, "\x5C", "\xC2\xA5", 0},
        {"EUC-JP 0x5C is the yen sign", C::EucToUtf8, "\x5C", "\xC2\xA5", 0},
        {"overline is 0x7E", C::Utf8ToSjis, "\xE2\x80\xBE", "\x7E", 0},
        {"0x7E reads as tilde", C::SjisToUtf8, "\x7E", "\x7E", 0},
        {"two-byte form", C::Utf8ToSjis, "\xD0\x90", "\x84\x40", 0},
        {"no row is skipped and counted", C::Utf8ToSjis, "a\xC3\xA9" "b", "ab", 1},
        {"half-width katakana to Shift_JIS", C::Utf8ToSjis, "\xEF\xBD\xB1", "\xB1", 0},
        {"half-width katakana to EUC-JP", C::Utf8ToEuc, "\xEF\xBD\xB1", "\x8E\xB1", 0},
        {"half-width katakana from Shift_JIS", C::SjisToUtf8, "\xB1", "\xEF\xBD\xB1", 0},
        {"half-width katakana from EUC-JP", C::EucToUtf8, "\x8E\xB1", "\xEF\xBD\xB1", 0},
        {"half-width katakana between", C::SjisToEuc, "\xB1", "\x8E\xB1", 0},
        {"IBM extension to EUC-JP", C::SjisToEuc, "\xFA\x40", "\x8F\xF3\xF3", 0},
        {"IBM extension from EUC-JP", C::EucToSjis, "\x8F\xF3\xF3", "\xFA\x40", 0},
        {"IBM extension has no Unicode value", C::SjisToUtf8, "a\xFA\x40" "b", "ab", 1},
        {"IBM extension in EUC-JP has no Unicode value", C::EucToUtf8, "\x8F\xF3\xF3", "", 1},
        {"row 13 repeat has no row", C::SjisToUtf8, "\x87\x90", "", 1},
        {"row 13 circled one", C::SjisToUtf8, "\x87\x40", "\xE2\x91\xA0", 0},
        {"row 13 in EUC-JP", C::SjisToEuc, "\x87\x40", "\xAD\xA1", 0},
        {"carriage return from UTF-8", C::Utf8ToEuc, "\r", "\n", 0},
        {"carriage return from Shift_JIS", C::SjisToEuc, "\r", "\n", 0},
        {"carriage return to Shift_JIS", C::Utf8ToSjis, "\r", "\r", 0},
        {"EUC-JP carriage return has no row", C::EucToUtf8, "a\rb", "ab", 1},
        {"EUC-JP line feed", C::EucToUtf8, "\n", "\n", 0},
        {"wave dash row comes first", C::SjisToUtf8, "\x81\x60", "\xE3\x80\x9C", 0},
        {"full-width tilde has the wave dash code", C::Utf8ToSjis, "\xEF\xBD\x9E", "\x81\x60", 0},
        {"minus sign row comes first", C::SjisToUtf8, "\x81\x7C", "\xE2\x88\x92", 0},
        {"full-width hyphen-minus has the minus code", C::Utf8ToSjis, "\xEF\xBC\x8D", "\x81\x7C", 0},
        {"full-width reverse solidus has no row", C::Utf8ToSjis, "\xEF\xBC\xBC", "", 1},
        {"parallel to has no row", C::Utf8ToSjis, "\xE2\x88\xA5", "", 1},
        {"small roman one is the NEC-selected code", C::Utf8ToSjis, "\xE2\x85\xB0", "\xEE\xEF", 0},
        {"U+6DEC is the JIS X 0208 code", C::Utf8ToSjis, "\xE6\xB7\xAC", "\x9F\xC1", 0},
        {"0xEDE6 reads as U+6DEC", C::SjisToUtf8, "\xED\xE6", "\xE6\xB7\xAC", 0},
        {"0xFAE8 reads as U+6DEC", C::EucToUtf8, "\xFA\xE8", "\xE6\xB7\xAC", 0},
        {"U+6DFC has no row", C::Utf8ToSjis, "\xE6\xB7\xBC", "", 1},
        {"0xFBBF is the row of 0x8FDFC3", C::SjisToEuc, "\xFB\xBF", "\x8F\xDF\xC3", 0},
        {"0x8FDFC3 reads as 0xFBBF", C::EucToSjis, "\x8F\xDF\xC3", "\xFB\xBF", 0},
        {"0x8FE3AA reads as 0xFBBF", C::EucToSjis, "\x8F\xE3\xAA", "\xFB\xBF", 0},
        {"0xFBAF has no row", C::SjisToEuc, "\xFB\xAF", "", 1},
        {"kanji both ways", C::SjisToEuc, "\x93\xFA\x96\x7B", "\xC6\xFC\xCB\xDC", 0},
        {"EUC-JP 0x8E alone is one unknown byte", C::EucToSjis, "\x8E" "A", "A", 1},
        {"EUC-JP 0x8F alone is one unknown byte", C::EucToSjis, "\x8F\x41", "A", 1},
        {"EUC-JP three-byte code without a row", C::EucToSjis, "\x8F\xA1\xA1" "A", "A", 1},
        {"Shift_JIS 0x80 is unknown", C::SjisToEuc, "\x80" "A", "A", 1},
        {"smallest two-byte code point", C::Utf8ToSjis, "\xC2\x80", "", 1},
        {"smallest three-byte code point", C::Utf8ToSjis, "\xE0\xA0\x80", "", 1},
        {"largest three-byte code point below the surrogates", C::Utf8ToSjis, "\xED\x9F\xBF", "", 1},
        {"smallest three-byte code point above the surrogates", C::Utf8ToSjis, "\xEE\x80\x80", "", 1},
    };
    for (const Case& c : cases) {
        Check(c);
    }
}

// A Shift_JIS or EUC-JP character whose bytes include the terminating NUL ends the
// conversion: the output so far is kept, the cut character counts as unmapped, and nothing
// after the NUL is read. A cut UTF-8 character is malformed (below).
TEST(KcodeTest, CharacterCutByTheTerminatorEndsTheConversion)
{
    using C = Conversion;
    const Case cases[] = {
        {"Shift_JIS lead", C::SjisToUtf8, "A\x82", "A", 1},
        {"Shift_JIS lead to EUC-JP", C::SjisToEuc, "A\xE0", "A", 1},
        {"EUC-JP lead", C::EucToUtf8, "A\xA1", "A", 1},
        {"EUC-JP 0x8E", C::EucToSjis, "A\x8E", "A", 1},
        {"EUC-JP 0x8F and one", C::EucToSjis, "A\x8F\xA1", "A", 2},
    };
    for (const Case& c : cases) {
        Check(c);
    }

    // The bytes behind the terminator would convert if they were read.
    struct Beyond {
        Conversion conversion;
        const char bytes[6];
    };
    const Beyond beyond[] = {{C::SjisToUtf8, "A\x82\0\xB1"}, {C::EucToUtf8, "A\xA1\0A"}};
    for (const Beyond& b : beyond) {
        std::string out;
        EXPECT_EQ(1, Convert(b.conversion, b.bytes, out));
        EXPECT_EQ("A", out);
    }
    std::string out;
    EXPECT_THROW(Convert(C::Utf8ToSjis, "A\xC3\0\x80", out), Orvane::Utility::Exception);
    EXPECT_EQ("A", out);
}

TEST(KcodeTest, MalformedUtf8ThrowsTheDefaultExceptionAndKeepsTheOutput)
{
    const char* inputs[] = {"AB\x80", "AB\xBF" "C", "AB\xF5\x80\x80\x80", "AB\xFF", "AB\xF0\x41\x42\x43",
                            "AB\xF4\x90\x80\x80" /* above U+10FFFF */, "AB\xF0\x8F\xBF\xBF" /* overlong */,
                            // Overlong two- and three-byte forms of '/', '<' and the largest
                            // one- and two-byte code points.
                            "AB\xC0\xAF", "AB\xC0\xBC", "AB\xC1\xBF", "AB\xE0\x80\xAF", "AB\xE0\x9F\xBF",
                            // UTF-16 surrogates: first and last high, first and last low.
                            "AB\xED\xA0\x80", "AB\xED\xAF\xBF", "AB\xED\xB0\x80", "AB\xED\xBF\xBF",
                            // A lead byte whose following bytes are not 10xxxxxx took its
                            // neighbours with it.
                            "AB\xE9.ini", "AB\xC3(", "AB\xE3\x81" "a", "AB\xF0\x9F" "ab",
                            // Cut by the end of the text.
                            "AB\xC3", "AB\xE3", "AB\xE3\x81", "AB\xF0\x9F\x98"};
    for (const char* in : inputs) {
        SCOPED_TRACE(in);
        for (int column : {1, 2}) {
            std::string out;
            const auto exact = Exact(in);
            try {
                Kcode::Instance().Utf8ToXxx(exact.get(), out, column);
                ADD_FAILURE() << "no exception";
            } catch (const Orvane::Utility::Exception& e) {
                EXPECT_STREQ("", e.GetType());
                EXPECT_EQ(0, e.GetErrorNo());
                EXPECT_STREQ("", e.what());
            }
            EXPECT_EQ("AB", out);
        }
    }
}

// A valid four-byte character has no row: it is dropped like any unmapped character
// instead of aborting the conversion.
TEST(KcodeTest, FourByteCharacterIsUnmapped)
{
    using C = Conversion;
    const Case cases[] = {
        {"to Shift_JIS", C::Utf8ToSjis, "A\xF0\x9F\x98\x80" "B", "AB", 1},
        {"to EUC-JP", C::Utf8ToEuc, "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xE3\x81\x82", "\xA4\xA2", 2},
    };
    for (const Case& c : cases) {
        Check(c);
    }
    EXPECT_EQ("AB", Orvane::Utility::Utf8ToSjis("A\xF0\x9F\x98\x80" "B"));
}

// Texts for a reader: a malformed byte or a character without a mapping becomes one
// replacement and the conversion goes on with its neighbours.
TEST(KcodeTest, ReplacingConversionsKeepTheNeighbours)
{
    struct Replaced {
        const char* name;
        std::string in;
        std::string sjis;
        std::string utf8;
        int count; // replacements in the Shift_JIS text
    };
    const Replaced cases[] = {
        {"well-formed", "a\xE3\x81\x82", "a\x82\xA0", "a\xE3\x81\x82", 0},
        {"Latin-1 byte in a file name", "caf\xE9.ini", "caf?.ini", "caf\xEF\xBF\xBD.ini", 1},
        {"cut at the end", "x\xC3", "x?", "x\xEF\xBF\xBD", 1},
        {"cut three-byte form before text", "\xE3\x81" "a", "??a", "\xEF\xBF\xBD\xEF\xBF\xBD" "a", 2},
        {"stray continuation", "\x80" "b", "?b", "\xEF\xBF\xBD" "b", 1},
        {"overlong slash", "\xC0\xAF", "??", "\xEF\xBF\xBD\xEF\xBF\xBD", 2},
        {"surrogate", "\xED\xA0\x80", "???", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 3},
        {"no Shift_JIS row", "a\xC3\xA9" "b", "a?b", "a\xC3\xA9" "b", 1},
        {"four-byte character", "\xF0\x9F\x98\x80", "?", "\xF0\x9F\x98\x80", 1},
    };
    for (const Replaced& c : cases) {
        SCOPED_TRACE(c.name);
        const auto in = Exact(c.in);
        std::string out = "previous";
        EXPECT_EQ(c.count, Kcode::Instance().Utf8ToSjisReplacing(in.get(), out));
        EXPECT_EQ(c.sjis, out);
        Kcode::Instance().RepairUtf8(in.get(), out);
        EXPECT_EQ(c.utf8, out);
    }
    std::string out = "previous";
    EXPECT_EQ(0, Kcode::Instance().Utf8ToSjisReplacing(nullptr, out));
    EXPECT_EQ("", out);
    EXPECT_EQ(0, Kcode::Instance().RepairUtf8(nullptr, out));
    EXPECT_EQ("", out);
}

TEST(KcodeTest, NullInputIsEmpty)
{
    for (Conversion conversion : {Conversion::Utf8ToSjis, Conversion::Utf8ToEuc, Conversion::SjisToUtf8,
                                  Conversion::SjisToEuc, Conversion::EucToUtf8, Conversion::EucToSjis}) {
        std::string out = "previous";
        EXPECT_EQ(0, Convert(conversion, nullptr, out));
        EXPECT_EQ("", out);
    }
}

TEST(KcodeTest, GlobalConverterIsTheSharedInstance)
{
    EXPECT_EQ(&Kcode::Instance(), &Orvane::Utility::g_kcode);
}

TEST(KcodeTest, ThreadsConvertAtOnce)
{
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "\xE9\x9F\xB3\xE5\xA3\xB0\xE8\xAA\x8D\xE8\xAD\x98 ABC \xEF\xBD\xB1\xE2\x85\xB0";
    }
    std::string expected;
    Kcode::Instance().Utf8ToXxx(text.c_str(), expected, 1);
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (std::string& result : results) {
        threads.emplace_back([&text, &result] {
            for (int i = 0; i < 50; ++i) {
                result = Orvane::Utility::SjisToUtf8(Orvane::Utility::Utf8ToSjis(text.c_str()).c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& result : results) {
        EXPECT_EQ(text, result);
    }
}

} // namespace
