// Writes the code tables of Orvane::Utility::Kcode (src/Utility/KcodeTables.cpp) to the
// standard output, from glibc's iconv modules on this machine:
//   SJIS       JIS X 0208 (Shift_JIS 0x8140-0xEAA4) and half-width katakana
//   CP932      NEC special characters of row 13 and NEC-selected IBM extensions (rows 89-92)
//   EUC-JP-MS  three-byte EUC-JP codes of the IBM extensions (Shift_JIS 0xFA40-0xFC4B)
// with the deliberate deviations from code page 932 applied. Every deviation and row count
// is checked; the program fails with a message instead of writing a doubtful table.
//
// Run by hand:  build/tools/KcodeTableGenerator > src/Utility/KcodeTables.cpp

#include <gnu/libc-version.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Row {
    std::uint32_t unicode;
    std::uint32_t sjis;
    std::uint32_t euc;
};

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "KcodeTableGenerator: %s\n", what.c_str());
    std::exit(1);
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

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

// Converts the whole input; false when iconv rejects any of it.
bool Convert(const char* to, const char* from, const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        Fail(std::string("iconv_open ") + from + " -> " + to);
    }
    char buffer[32];
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result != 0 || inLeft != 0) {
        return false;
    }
    out.assign(buffer, outPtr);
    return true;
}

// The single code point that `encoding` gives the code's bytes.
bool Decode(const char* encoding, std::uint32_t code, std::uint32_t& unicode)
{
    std::string out;
    if (!Convert("UTF-32BE", encoding, Bytes(code), out) || out.size() != 4) {
        return false;
    }
    unicode = 0;
    for (unsigned char byte : out) {
        unicode = (unicode << 8) | byte;
    }
    return true;
}

// The code (bytes read big-endian) that `encoding` gives the code point.
bool Encode(const char* encoding, std::uint32_t unicode, std::uint32_t& code)
{
    std::string in;
    for (int shift = 24; shift >= 0; shift -= 8) {
        in += static_cast<char>((unicode >> shift) & 0xFF);
    }
    std::string out;
    if (!Convert(encoding, "UTF-32BE", in, out) || out.empty() || out.size() > 3) {
        return false;
    }
    code = 0;
    for (unsigned char byte : out) {
        code = (code << 8) | byte;
    }
    return true;
}

// Every two-byte Shift_JIS code from `first` to `last` with a valid trail byte.
std::vector<std::uint32_t> SjisCodes(std::uint32_t first, std::uint32_t last)
{
    std::vector<std::uint32_t> codes;
    for (std::uint32_t code = first; code <= last; ++code) {
        const std::uint32_t trail = code & 0xFF;
        if (trail >= 0x40 && trail <= 0xFC && trail != 0x7F) {
            codes.push_back(code);
        }
    }
    return codes;
}

// The standard relation: Shift_JIS row and cell to JIS, then both bytes with the high bit set.
std::uint32_t SjisToEuc(std::uint32_t code)
{
    const std::uint32_t lead = code >> 8;
    const std::uint32_t trail = code & 0xFF;
    std::uint32_t row = (lead <= 0x9F ? lead - 0x70 : lead - 0xB0) * 2;
    std::uint32_t cell;
    if (trail < 0x9F) {
        row -= 1;
        cell = trail - 0x1F - (trail >= 0x80 ? 1 : 0);
    } else {
        cell = trail - 0x7E;
    }
    return ((row | 0x80) << 8) | (cell | 0x80);
}

void Require(bool condition, const std::string& what)
{
    if (!condition) {
        Fail(what);
    }
}

std::vector<Row> MainTable()
{
    std::vector<Row> rows;
    // ASCII maps each byte to itself, except the reverse solidus (the JIS X 0208 row at
    // 0x815F) and the carriage return, whose EUC-JP code is a line feed.
    for (std::uint32_t byte = 0x01; byte <= 0x7E; ++byte) {
        std::uint32_t unicode = 0;
        Require(Decode("CP932", byte, unicode) && unicode == byte, "ASCII " + Hex(byte));
        if (byte == 0x5C) {
            rows.push_back({byte, 0x815F, SjisToEuc(0x815F)});
        } else if (byte == 0x0D) {
            rows.push_back({byte, 0x0D, 0x0A});
        } else {
            rows.push_back({byte, byte, byte});
        }
    }
    for (std::uint32_t byte : {0x5Cu, 0x7Eu}) {
        std::uint32_t unicode = 0;
        Require(Decode("SJIS", byte, unicode), "SJIS " + Hex(byte));
        rows.push_back({unicode, byte, byte});
    }
    Require(rows[126].unicode == 0x00A5 && rows[127].unicode == 0x203E, "yen sign and overline");

    for (std::uint32_t byte = 0xA1; byte <= 0xDF; ++byte) {
        std::uint32_t unicode = 0;
        Require(Decode("SJIS", byte, unicode) && unicode == 0xFF61 + byte - 0xA1,
                "half-width katakana " + Hex(byte));
        rows.push_back({unicode, byte, 0x8E00 | byte});
    }

    // JIS X 0208 as glibc's SJIS maps it; it agrees with code page 932 except on these.
    const std::map<std::uint32_t, std::uint32_t> jisMapped = {
        {0x815F, 0x005C}, {0x8160, 0x301C}, {0x8161, 0x2016}, {0x817C, 0x2212},
        {0x8191, 0x00A2}, {0x8192, 0x00A3}, {0x81CA, 0x00AC}};
    std::size_t jisCount = 0;
    std::set<std::uint32_t> jisUnicode;
    for (std::uint32_t code : SjisCodes(0x8140, 0xEAA4)) {
        std::uint32_t unicode = 0;
        if (!Decode("SJIS", code, unicode)) {
            continue;
        }
        ++jisCount;
        std::uint32_t cp932 = 0;
        Require(Decode("CP932", code, cp932), "CP932 lacks " + Hex(code));
        const auto deviation = jisMapped.find(code);
        if (code == 0x815F) {
            // glibc's SJIS reads the full-width form here; the ASCII row above carries it.
            Require(unicode == 0xFF3C && cp932 == 0xFF3C, "SJIS 0x815F");
            jisUnicode.insert(0x005C);
            continue;
        }
        if (deviation != jisMapped.end()) {
            Require(unicode == deviation->second && cp932 != unicode, "deviation " + Hex(code));
        } else {
            Require(cp932 == unicode, "SJIS and CP932 differ at " + Hex(code));
        }
        jisUnicode.insert(unicode);
        rows.push_back({unicode, code, SjisToEuc(code)});
    }
    Require(jisCount == 6879, "JIS X 0208 has " + std::to_string(jisCount) + " codes");
    rows.push_back({0xFF5E, 0x8160, SjisToEuc(0x8160)});
    rows.push_back({0xFF0D, 0x817C, SjisToEuc(0x817C)});

    // NEC row 13 from code page 932, without the codes that repeat JIS X 0208 symbols.
    std::set<std::uint32_t> repeated;
    for (std::uint32_t code : SjisCodes(0x8740, 0x879C)) {
        std::uint32_t unicode = 0;
        if (!Decode("CP932", code, unicode)) {
            continue;
        }
        if (jisUnicode.count(unicode) != 0) {
            repeated.insert(code);
            continue;
        }
        rows.push_back({unicode, code, SjisToEuc(code)});
    }
    Require(repeated == std::set<std::uint32_t>{0x8790, 0x8791, 0x8792, 0x8795, 0x8796, 0x8797,
                                                0x879A, 0x879B, 0x879C},
            "row 13 repeats");

    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.unicode < b.unicode; });
    for (std::size_t i = 1; i < rows.size(); ++i) {
        Require(rows[i - 1].unicode != rows[i].unicode, "repeated " + Hex(rows[i].unicode));
    }
    Require(rows.size() == 7145, "main table has " + std::to_string(rows.size()) + " rows");
    return rows;
}

std::vector<Row> Rows89To92()
{
    std::vector<Row> rows;
    for (std::uint32_t code : SjisCodes(0xED40, 0xEEFC)) {
        std::uint32_t unicode = 0;
        if (!Decode("CP932", code, unicode)) {
            continue;
        }
        if (code == 0xEDE6) {
            // Paired with the code point of JIS X 0208 0x9FC1 instead of U+6DFC.
            Require(unicode == 0x6DFC, "CP932 0xEDE6");
            unicode = 0x6DEC;
        }
        rows.push_back({unicode, code, SjisToEuc(code)});
    }
    Require(rows.size() == 374, "rows 89-92 have " + std::to_string(rows.size()) + " rows");
    return rows;
}

std::vector<Row> IbmExtensions()
{
    std::vector<Row> rows;
    std::set<std::uint32_t> skipped;
    std::uint32_t next = 0x8FF3F3;
    std::size_t inJisX0212 = 0;
    for (std::uint32_t code : SjisCodes(0xFA40, 0xFC4B)) {
        std::uint32_t unicode = 0;
        if (!Decode("CP932", code, unicode)) {
            continue;
        }
        std::uint32_t euc = 0;
        Require(Encode("EUC-JP-MS", unicode, euc), "EUC-JP-MS lacks " + Hex(unicode));
        if (euc <= 0xFFFF && (euc >> 8) != 0xAD) {
            // A JIS X 0208 character: the extension has no code of its own.
            skipped.insert(code);
            continue;
        }
        if (euc > 0xFFFF && ((euc >> 8) & 0xFF) < 0xF3) {
            ++inJisX0212;
        } else {
            // Not in JIS X 0212: the next free code of rows 83 and 84, in Shift_JIS order.
            Require(euc <= 0xFFFF || euc == next, "EUC-JP-MS order at " + Hex(code));
            std::uint32_t back = 0;
            Require(Decode("EUC-JP-MS", next, back) && back == unicode, "EUC-JP-MS " + Hex(next));
            euc = next;
            next = (next & 0xFF) == 0xFE ? next + 0x100 - 0x5D : next + 1;
        }
        rows.push_back({0, code, euc});
    }
    Require(skipped == std::set<std::uint32_t>{0xFA54, 0xFA5B}, "skipped IBM extensions");
    Require(inJisX0212 == 280 && next == 0x8FF5A1, "IBM extension placement");

    // The JIS X 0212 row of 0xFBAF carries the Shift_JIS code of 0xFBBF.
    auto fbaf = std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r.sjis == 0xFBAF; });
    auto fbbf = std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r.sjis == 0xFBBF; });
    Require(fbaf != rows.end() && fbaf->euc == 0x8FDFC3 && fbbf != rows.end() && fbbf->euc == 0x8FE3AA &&
                fbaf < fbbf,
            "0xFBAF and 0xFBBF");
    fbaf->sjis = 0xFBBF;
    Require(rows.size() == 386, "IBM extensions have " + std::to_string(rows.size()) + " rows");
    return rows;
}

void Print(const char* name, const std::vector<Row>& rows)
{
    std::printf("\nconst _UTF8_REFERENCE_TABLE %s[] = {\n", name);
    for (const Row& row : rows) {
        std::printf("    {%s, %s, %s},\n", Hex(row.unicode).c_str(), Hex(row.sjis).c_str(),
                    Hex(row.euc).c_str());
    }
    std::printf("    {0, 0, 0},\n};\n");
}

} // namespace

int main()
{
    const std::vector<Row> main = MainTable();
    const std::vector<Row> ex89 = Rows89To92();
    const std::vector<Row> extended = IbmExtensions();

    std::printf("// Code tables of the Japanese text-encoding converter: {unicode, sjis, euc}.\n"
                "// Generated by tools/KcodeTableGenerator from the iconv modules of glibc %s;\n"
                "// do not edit.\n\n"
                "#include \"Utility/KcodeTables.h\"\n\n"
                "namespace Orvane {\n"
                "namespace Utility {\n",
                gnu_get_libc_version());
    Print("utf8_reference_table", main);
    Print("utf8_reference_table_ex89", ex89);
    Print("extended_code_table", extended);
    std::printf("\n} // namespace Utility\n} // namespace Orvane\n");
    return 0;
}
