// The exported conversion functions, as an application reaches them in libTessival.
#include "Orvane/Utility/TextEncoding.h"

#include <string>

#include <gtest/gtest.h>

namespace {

namespace U = Orvane::Utility;

TEST(TextEncodingTest, BothFormsOfEachConversion)
{
    struct Case {
        const char* name;
        int (*counting)(const char*, std::string&);
        std::string (*returning)(const char*);
        const char* in;
        const char* out;
        int unmapped;
    };
    const Case cases[] = {
        {"Utf8ToSjis", U::Utf8ToSjis, U::Utf8ToSjis, "A\xE3\x81\x82\xC3\xA9", "A\x82\xA0", 1},
        {"Utf8ToEuc", U::Utf8ToEuc, U::Utf8ToEuc, "A\xE3\x81\x82\xC3\xA9", "A\xA4\xA2", 1},
        {"SjisToUtf8", U::SjisToUtf8, U::SjisToUtf8, "A\x82\xA0\x87\x90", "A\xE3\x81\x82", 1},
        {"SjisToEuc", U::SjisToEuc, U::SjisToEuc, "A\x82\xA0\xFA\x40", "A\xA4\xA2\x8F\xF3\xF3", 0},
        {"EucToUtf8", U::EucToUtf8, U::EucToUtf8, "A\xA4\xA2\r", "A\xE3\x81\x82", 1},
        {"EucToSjis", U::EucToSjis, U::EucToSjis, "A\xA4\xA2\x8F\xF3\xF3", "A\x82\xA0\xFA\x40", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "previous";
        EXPECT_EQ(c.unmapped, c.counting(c.in, out));
        EXPECT_EQ(c.out, out);
        EXPECT_EQ(c.out, c.returning(c.in));
        EXPECT_EQ(0, c.counting(nullptr, out));
        EXPECT_EQ("", out);
        EXPECT_EQ("", c.returning(nullptr));
    }
}

// Overlong forms and surrogates would carry characters such as '/' and '<' past a text
// check; they are malformed like a stray continuation byte. A lead byte without its
// following bytes, at the end of the text or before other text, is malformed too.
TEST(TextEncodingTest, MalformedUtf8Throws)
{
    const char* inputs[] = {"\x80",         "a\xFF",           "a\xC0\xAF" "b", "a\xC0\xBC" "b",
                            "\xE0\x80\xAF", "a\xED\xA0\x80", "a\xED\xBF\xBF", "a\xC3",
                            "a\xE9.ini"};
    for (const char* in : inputs) {
        SCOPED_TRACE(in);
        std::string out;
        EXPECT_THROW(U::Utf8ToSjis(in), std::exception);
        EXPECT_THROW(U::Utf8ToEuc(in, out), std::exception);
        EXPECT_EQ(in[0] == 'a' ? "a" : "", out);
    }
}

} // namespace
