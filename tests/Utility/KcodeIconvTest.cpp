// The converter measured against glibc's iconv(3): code page 932 for Shift_JIS and
// EUC-JP-MS for EUC-JP. Every difference must be one of the deliberate ones.
#include "Utility/Kcode.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Iconv.h"

namespace {

using Orvane::Test::Iconv;
using Orvane::Utility::Kcode;
using Codes = std::set<std::uint32_t>;

std::string Bytes(std::uint32_t code)
{
    std::string bytes;
    if (code > 0xFFFF) {
        bytes += static_cast<char>(code >> 16);
    }
    if (code > 0xFF) {
        bytes += static_cast<char>((code >> 8) & 0xFF);
    }
    bytes += static_cast<char>(code & 0xFF);
    return bytes;
}

std::uint32_t Number(const std::string& bytes)
{
    std::uint32_t value = 0;
    for (unsigned char byte : bytes) {
        value = (value << 8) | byte;
    }
    return value;
}

std::string Utf8(std::uint32_t u)
{
    std::string out;
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
    return out;
}

std::uint32_t CodePoint(const std::string& utf8)
{
    Iconv toUtf32("UTF-32BE", "UTF-8");
    std::string out;
    return toUtf32.Convert(utf8, out) && out.size() == 4 ? Number(out) : 0xFFFFFFFF;
}

Codes Range(std::uint32_t first, std::uint32_t last)
{
    Codes codes;
    for (std::uint32_t code = first; code <= last; ++code) {
        codes.insert(code);
    }
    return codes;
}

Codes Union(std::initializer_list<Codes> parts)
{
    Codes all;
    for (const Codes& part : parts) {
        all.insert(part.begin(), part.end());
    }
    return all;
}

Codes Where(const Codes& codes, const std::function<bool(std::uint32_t)>& predicate)
{
    Codes chosen;
    for (std::uint32_t code : codes) {
        if (predicate(code)) {
            chosen.insert(code);
        }
    }
    return chosen;
}

// Every Shift_JIS code: single bytes other than lead bytes, and lead byte x trail byte.
Codes SjisCodes()
{
    Codes codes;
    for (std::uint32_t lead = 0x01; lead <= 0xFF; ++lead) {
        if ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) {
            for (std::uint32_t trail = 0x40; trail <= 0xFC; ++trail) {
                codes.insert((lead << 8) | trail);
            }
        } else {
            codes.insert(lead);
        }
    }
    return codes;
}

// Every EUC-JP code: single bytes other than lead bytes, two-byte and three-byte codes.
Codes EucCodes()
{
    Codes codes = Union({Range(0x01, 0x8D), Range(0x90, 0xA0), {0xFF}, Range(0x8EA1, 0x8EDF)});
    for (std::uint32_t first = 0xA1; first <= 0xFE; ++first) {
        for (std::uint32_t second = 0xA1; second <= 0xFE; ++second) {
            codes.insert((first << 8) | second);
            codes.insert(0x8F0000 | (first << 8) | second);
        }
    }
    return codes;
}

// U+0001-U+FFFF without surrogates.
Codes CodePoints()
{
    Codes codes = Range(0x0001, 0xFFFF);
    for (std::uint32_t u = 0xD800; u <= 0xDFFF; ++u) {
        codes.erase(u);
    }
    return codes;
}

// The result of one conversion: the output, or nothing for an unmapped input.
struct Result {
    bool mapped;
    std::string text;
    bool operator==(const Result& other) const { return mapped == other.mapped && text == other.text; }
};

using Converter = std::function<Result(const std::string&)>;

Converter Ours(int (Kcode::*convert)(const char*, std::string&) const)
{
    return [convert](const std::string& in) {
        std::string out;
        const int unmapped = (Kcode::Instance().*convert)(in.c_str(), out);
        EXPECT_TRUE(unmapped == 0 || out.empty()) << "partial output for " << std::hex << Number(in);
        return Result{unmapped == 0, out};
    };
}

Converter OursFromUtf8(int column)
{
    return [column](const std::string& in) {
        std::string out;
        const int unmapped = Kcode::Instance().Utf8ToXxx(in.c_str(), out, column);
        return Result{unmapped == 0, out};
    };
}

Converter Theirs(const char* to, const char* from)
{
    auto iconv = std::make_shared<Iconv>(to, from);
    return [iconv](const std::string& in) {
        std::string out;
        const bool mapped = iconv->Convert(in, out);
        return Result{mapped, mapped ? out : std::string()};
    };
}

// The codes (as numbers) whose conversions differ; `input` turns a code into its bytes.
Codes Differences(const Codes& codes, const std::function<std::string(std::uint32_t)>& input, const Converter& ours,
                  const Converter& theirs, std::map<std::uint32_t, std::pair<Result, Result>>* detail = nullptr)
{
    Codes differing;
    for (std::uint32_t code : codes) {
        const Result a = ours(input(code));
        const Result b = theirs(input(code));
        if (!(a == b)) {
            differing.insert(code);
            if (detail != nullptr) {
                (*detail)[code] = {a, b};
            }
        }
    }
    return differing;
}

void ExpectSame(const Codes& expected, const Codes& actual)
{
    Codes missing;
    Codes extra;
    for (std::uint32_t code : expected) {
        if (actual.count(code) == 0) {
            missing.insert(code);
        }
    }
    for (std::uint32_t code : actual) {
        if (expected.count(code) == 0) {
            extra.insert(code);
        }
    }
    auto list = [](const Codes& codes) {
        std::string text;
        int shown = 0;
        for (std::uint32_t code : codes) {
            char hex[16];
            snprintf(hex, sizeof hex, " %X", static_cast<unsigned>(code));
            text += hex;
            if (++shown == 40) {
                text += " ...";
                break;
            }
        }
        return text;
    };
    EXPECT_TRUE(missing.empty()) << missing.size() << " expected differences missing:" << list(missing);
    EXPECT_TRUE(extra.empty()) << extra.size() << " unexpected differences:" << list(extra);
}

bool Cp932Maps(std::uint32_t sjis)
{
    static Iconv* const cp932 = new Iconv("UTF-8", "CP932");
    std::string out;
    return cp932->Convert(Bytes(sjis), out);
}

bool EucJpMsMaps(std::uint32_t euc)
{
    static Iconv* const ms = new Iconv("UTF-8", "EUC-JP-MS");
    std::string out;
    return ms->Convert(Bytes(euc), out);
}

const Codes kJisMapped = {0x815F, 0x8160, 0x8161, 0x817C, 0x8191, 0x8192, 0x81CA};
// iconv writes U+2014 (em dash) as 0x815C one way, which reads back as U+2015; code
// page 932 pairs only U+2015 with it, and so do the tables.
const Codes kOneWay = {0x2014};
const Codes kRow13Repeats = {0x8790, 0x8791, 0x8792, 0x8795, 0x8796, 0x8797, 0x879A, 0x879B, 0x879C};

TEST(KcodeIconvTest, SjisToUtf8DiffersFromCp932OnlyWhereIntended)
{
    std::map<std::uint32_t, std::pair<Result, Result>> detail;
    const Codes actual = Differences(SjisCodes(), Bytes, Ours(&Kcode::SjisToUtf8), Theirs("UTF-8", "CP932"), &detail);
    const Codes expected = Union({
        {0x5C, 0x7F, 0xEDE6},
        kJisMapped,
        kRow13Repeats,
        Where(Range(0xFA40, 0xFC4B), Cp932Maps), // IBM extensions: no Unicode value
        Where(Range(0xF040, 0xF9FC), Cp932Maps), // user-defined area: not in the tables
    });
    ExpectSame(expected, actual);

    const std::map<std::uint32_t, std::uint32_t> values = {
        {0x5C, 0x00A5},   {0xEDE6, 0x6DEC}, {0x815F, 0x005C}, {0x8160, 0x301C}, {0x8161, 0x2016},
        {0x817C, 0x2212}, {0x8191, 0x00A2}, {0x8192, 0x00A3}, {0x81CA, 0x00AC}};
    for (const auto& [sjis, unicode] : values) {
        SCOPED_TRACE(sjis);
        ASSERT_TRUE(detail.count(sjis));
        EXPECT_EQ(unicode, CodePoint(detail[sjis].first.text));
    }
}

TEST(KcodeIconvTest, Utf8ToSjisDiffersFromCp932OnlyWhereIntended)
{
    std::map<std::uint32_t, std::pair<Result, Result>> detail;
    const Codes actual = Differences(CodePoints(), Utf8, OursFromUtf8(1), Theirs("CP932", "UTF-8"), &detail);

    // Characters of rows 89-92 that code page 932 writes as IBM extensions instead.
    const Codes necSelected = Where(actual, [&](std::uint32_t u) {
        const Result& ours = detail[u].first;
        const Result& theirs = detail[u].second;
        const std::uint32_t code = Number(ours.text);
        std::string back;
        return ours.mapped && theirs.mapped && code >= 0xED40 && code <= 0xEEFC &&
               Iconv("UTF-8", "CP932").Convert(theirs.text, back) && CodePoint(back) == u;
    });
    EXPECT_EQ(373u, necSelected.size()); // all of rows 89-92 but U+6DEC, which is 0x9FC1
    EXPECT_EQ(1u, necSelected.count(0x2170));
    EXPECT_EQ(0xEEEFu, Number(detail[0x2170].first.text));
    EXPECT_EQ(1u, necSelected.count(0xFFE2)); // 0x81CA is U+00AC, so U+FFE2 is 0xEEF9

    const Codes expected = Union({
        {0x005C, 0x007F, 0xFF3C, 0xFFE0, 0xFFE1, 0x2225, 0x6DFC},
        kOneWay,
        necSelected,
        Range(0xE000, 0xE757), // user-defined area
    });
    ExpectSame(expected, actual);
    EXPECT_EQ(0x815Fu, Number(detail[0x005C].first.text));
}

TEST(KcodeIconvTest, EucToUtf8DiffersFromEucJpMsOnlyWhereIntended)
{
    std::map<std::uint32_t, std::pair<Result, Result>> detail;
    const Codes actual = Differences(EucCodes(), Bytes, Ours(&Kcode::EucToUtf8), Theirs("UTF-8", "EUC-JP-MS"), &detail);
    const Codes expected = Union({
        {0x0D, 0x5C, 0x7F},
        Where(Range(0x80, 0xA0), EucJpMsMaps), // C1 controls
        // EUC-JP-MS reads these as code page 932 does
        {0xA1C0, 0xA1C1, 0xA1C2, 0xA1DD, 0xA1F1, 0xA1F2, 0xA2CC},
        {0xADF0, 0xADF1, 0xADF2, 0xADF5, 0xADF6, 0xADF7, 0xADFA, 0xADFB, 0xADFC}, // row 13 repeats
        Where(Range(0xF5A1, 0xFEFE), EucJpMsMaps), // rows 85-94: private use there, rows 89-92 here
        Where(Range(0x8FA1A1, 0x8FFEFE), EucJpMsMaps), // three-byte codes: no Unicode value
    });
    ExpectSame(expected, actual);
    EXPECT_EQ(0x00A5u, CodePoint(detail[0x5C].first.text));
    EXPECT_EQ(0x6DECu, CodePoint(detail[0xFAE8].first.text));
    EXPECT_FALSE(detail[0x0D].first.mapped);
}

TEST(KcodeIconvTest, Utf8ToEucDiffersFromEucJpMsOnlyWhereIntended)
{
    std::map<std::uint32_t, std::pair<Result, Result>> detail;
    const Codes actual = Differences(CodePoints(), Utf8, OursFromUtf8(2), Theirs("EUC-JP-MS", "UTF-8"), &detail);
    // Characters that EUC-JP-MS writes with three bytes (JIS X 0212, IBM extensions) and
    // that the tables reach only through rows 89-92, or not at all.
    const Codes threeByte = Where(actual, [&](std::uint32_t u) {
        const Result& ours = detail[u].first;
        const std::uint32_t code = Number(ours.text);
        return detail[u].second.text.size() == 3 && (!ours.mapped || (code >= 0xF9A1 && code <= 0xFCFE));
    });
    // The rest of rows 89-92, which EUC-JP-MS writes as JIS X 0208 or row 13.
    const Codes twoByte = Where(actual, [&](std::uint32_t u) {
        const std::uint32_t code = Number(detail[u].first.text);
        return threeByte.count(u) == 0 && code >= 0xF9A1 && code <= 0xFCFE && detail[u].second.text.size() == 2;
    });
    EXPECT_EQ(1u, twoByte.count(0xFFE2));
    const Codes expected = Union({
        {0x000D, 0x005C, 0x007F, 0xFF3C, 0xFFE0, 0xFFE1, 0x2225},
        kOneWay,
        Where(Range(0x80, 0x9F), [&](std::uint32_t u) { return detail.count(u) && detail[u].second.mapped; }),
        threeByte,
        twoByte,
        Range(0xE000, 0xE3AB), // user-defined area
    });
    ExpectSame(expected, actual);
    EXPECT_EQ(0x0Au, Number(detail[0x000D].first.text));
    EXPECT_EQ(0xA1C0u, Number(detail[0x005C].first.text));
}

TEST(KcodeIconvTest, SjisToEucMatchesCp932ThroughEucJpMsOnlyWhereIntended)
{
    std::map<std::uint32_t, std::pair<Result, Result>> detail;
    // Code page 932 and EUC-JP-MS composed: Shift_JIS to Unicode to EUC-JP.
    auto cp932 = Theirs("UTF-8", "CP932");
    auto ms = Theirs("EUC-JP-MS", "UTF-8");
    const Converter theirs = [&](const std::string& in) {
        const Result unicode = cp932(in);
        return unicode.mapped ? ms(unicode.text) : unicode;
    };
    const Codes actual = Differences(SjisCodes(), Bytes, Ours(&Kcode::SjisToEuc), theirs, &detail);
    const Codes expected = Union({
        {0x0D, 0x7F},
        kRow13Repeats,
        Where(Range(0xED40, 0xEEFC), Cp932Maps), // EUC-JP-MS has no rows 89-92
        // IBM extensions that EUC-JP-MS writes as row 13 or JIS X 0208, and the 0xFBAF row
        {0xFA4A, 0xFA4B, 0xFA4C, 0xFA4D, 0xFA4E, 0xFA4F, 0xFA50, 0xFA51, 0xFA52, 0xFA53, 0xFA54, 0xFA58, 0xFA59,
         0xFA5A, 0xFA5B, 0xFBAF, 0xFBBF},
        Where(Range(0xF040, 0xF9FC), Cp932Maps), // user-defined area
    });
    ExpectSame(expected, actual);
    EXPECT_EQ(0x8FF3FDu, Number(detail[0xFA4A].first.text));
    EXPECT_EQ(0x8FDFC3u, Number(detail[0xFBBF].first.text));
    EXPECT_FALSE(detail[0xFBAF].first.mapped);
    EXPECT_FALSE(detail[0xFA54].first.mapped);
}

// Every key of every map converts out and back to itself, except where two keys share a
// row or a row lacks the value on the way.
TEST(KcodeIconvTest, RoundTripsOverEveryTableKey)
{
    using Forward = int (Kcode::*)(const char*, std::string&) const;
    const Kcode& kcode = Kcode::Instance();
    struct Case {
        const char* name;
        const Orvane::Utility::KcodeMap& map;
        std::function<std::string(std::uint32_t)> input;
        std::function<int(const char*, std::string&)> out;
        std::function<int(const char*, std::string&)> back;
        Codes exceptions;
    };
    auto bind = [&](Forward f) { return [&kcode, f](const char* in, std::string& o) { return (kcode.*f)(in, o); }; };
    auto fromUtf8 = [&](int column) {
        return [&kcode, column](const char* in, std::string& o) { return kcode.Utf8ToXxx(in, o, column); };
    };
    const Codes noUnicodeSjis = Where(Range(0xFA40, 0xFC4B), [&](std::uint32_t c) { return kcode.BySjis().Find(c); });
    const Codes noUnicodeEuc = Where(Range(0x8FA1A1, 0x8FFEFE), [&](std::uint32_t c) { return kcode.ByEuc().Find(c); });
    const Case cases[] = {
        {"Unicode via Shift_JIS", kcode.ByUnicode(), Utf8, fromUtf8(1), bind(&Kcode::SjisToUtf8),
         {0x203E, 0xFF5E, 0xFF0D}},
        {"Unicode via EUC-JP", kcode.ByUnicode(), Utf8, fromUtf8(2), bind(&Kcode::EucToUtf8),
         {0x000D, 0x203E, 0xFF5E, 0xFF0D}},
        {"Shift_JIS via Unicode", kcode.BySjis(), Bytes, bind(&Kcode::SjisToUtf8), fromUtf8(1),
         Union({{0xEDE6}, noUnicodeSjis})},
        {"EUC-JP via Unicode", kcode.ByEuc(), Bytes, bind(&Kcode::EucToUtf8), fromUtf8(2),
         Union({{0xFAE8}, noUnicodeEuc})},
        {"Shift_JIS via EUC-JP", kcode.BySjis(), Bytes, bind(&Kcode::SjisToEuc), bind(&Kcode::EucToSjis), {0x0D}},
        {"EUC-JP via Shift_JIS", kcode.ByEuc(), Bytes, bind(&Kcode::EucToSjis), bind(&Kcode::SjisToEuc), {0x8FE3AA}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Codes failed;
        for (const auto& entry : c.map.Entries()) {
            const std::string in = c.input(entry.first);
            std::string middle;
            std::string back;
            if (c.out(in.c_str(), middle) != 0 || c.back(middle.c_str(), back) != 0 || back != in) {
                failed.insert(entry.first);
            }
        }
        ExpectSame(c.exceptions, failed);
    }
}

} // namespace
