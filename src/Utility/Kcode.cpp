#include "Utility/Kcode.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "Utility/Exception.h"

namespace Orvane {
namespace Utility {

namespace {

using Row = _UTF8_REFERENCE_TABLE;

// Where a reader leaves a character: its key and length, or length 0 when the character
// is cut short by the terminating NUL.
struct Character {
    std::uint32_t key;
    std::size_t length;
};

// The three tables in load order; the last one has no Unicode values and ends at sjis = 0.
std::vector<KcodeMap::Entry> Collect(std::uint32_t Row::*field)
{
    std::vector<KcodeMap::Entry> entries;
    for (const Row* table : {utf8_reference_table, utf8_reference_table_ex89}) {
        for (const Row* row = table; row->unicode != 0; ++row) {
            if (row->*field != 0) {
                entries.emplace_back(row->*field, row);
            }
        }
    }
    for (const Row* row = extended_code_table; row->sjis != 0; ++row) {
        if (row->*field != 0) {
            entries.emplace_back(row->*field, row);
        }
    }
    return entries;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Overlong forms and unchecked following bytes are accepted as the two- and three-byte
// forms always were; a four-byte form must be valid, and its code point has no row.
Character ReadUtf8(const unsigned char* p)
{
    const std::uint32_t b0 = p[0];
    if (b0 < 0x80) {
        return {b0, 1};
    }
    if (b0 < 0xC0 || b0 > 0xF4) {
        throw Exception();
    }
    if (p[1] == 0) {
        return {0, 0};
    }
    if (b0 < 0xE0) {
        return {((b0 & 0x1F) << 6) | (p[1] & 0x3Fu), 2};
    }
    if (p[2] == 0) {
        return {0, 0};
    }
    if (b0 < 0xF0) {
        return {((b0 & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu), 3};
    }
    if (p[3] == 0) {
        return {0, 0};
    }
    const std::uint32_t code = ((b0 & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    if (!IsContinuation(p[1]) || !IsContinuation(p[2]) || !IsContinuation(p[3]) || code < 0x10000 ||
        code > 0x10FFFF) {
        throw Exception();
    }
    return {code, 4};
}

Character ReadEuc(const unsigned char* p)
{
    const std::uint32_t b0 = p[0];
    const std::uint32_t b1 = b0 == 0 ? 0 : p[1];
    if (b0 >= 0xA1 && b0 <= 0xFE) {
        return b1 == 0 ? Character{0, 0} : Character{(b0 << 8) | b1, 2};
    }
    if (b0 == 0x8E) {
        return b1 >= 0xA1 && b1 <= 0xDF ? Character{0x8E00 | b1, 2} : Character{b0, 1};
    }
    if (b0 == 0x8F && b1 >= 0xA1 && b1 <= 0xFE && p[2] != 0) {
        return {0x8F0000 | (b1 << 8) | p[2], 3};
    }
    return {b0, 1};
}

Character ReadSjis(const unsigned char* p)
{
    const std::uint32_t b0 = p[0];
    if ((b0 >= 0x81 && b0 <= 0x9F) || (b0 >= 0xE0 && b0 <= 0xFC)) {
        return p[1] == 0 ? Character{0, 0} : Character{(b0 << 8) | p[1], 2};
    }
    return {b0, 1};
}

// Writers return false for a value they cannot write; the character then counts as
// unmapped. A value 0 (no Unicode value, or no code) is never written.
bool WriteUtf8(std::uint32_t u, std::string& out)
{
    if (u == 0 || u >= 0x10000) {
        return false;
    }
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        const char bytes[] = {static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F))};
        out.append(bytes, 2);
    } else {
        const char bytes[] = {static_cast<char>(0xE0 | (u >> 12)), static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
                              static_cast<char>(0x80 | (u & 0x3F))};
        out.append(bytes, 3);
    }
    return true;
}

bool WriteSjis(std::uint32_t code, std::string& out)
{
    if (code == 0 || code > 0xFFFF) {
        return false;
    }
    if (code < 0x100) {
        out += static_cast<char>(code);
    } else {
        const char bytes[] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        out.append(bytes, 2);
    }
    return true;
}

bool WriteEuc(std::uint32_t code, std::string& out)
{
    if (code <= 0xFFFF) {
        return WriteSjis(code, out);
    }
    if ((code >> 16) != 0x8F) {
        return false;
    }
    const char bytes[] = {static_cast<char>(0x8F), static_cast<char>((code >> 8) & 0xFF),
                          static_cast<char>(code & 0xFF)};
    out.append(bytes, 3);
    return true;
}

} // namespace

Kcode& Kcode::Instance()
{
    static Kcode* const instance = new Kcode();
    return *instance;
}

Kcode& g_kcode = Kcode::Instance();

Kcode::Kcode()
    : byUnicode_(Collect(&Row::unicode)), byEuc_(Collect(&Row::euc)), bySjis_(Collect(&Row::sjis))
{
}

Kcode::~Kcode() = default;

template <typename Reader, typename Writer>
int Kcode::Convert(const char* in, std::string& out, Reader read, const KcodeMap& map, Writer write) const
{
    out.clear();
    if (in == nullptr) {
        return 0;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    out.reserve(std::strlen(in));
    int unmapped = 0;
    while (*p != 0) {
        const Character c = read(p);
        if (c.length == 0 || !write(map, c.key, out)) {
            if (unmapped < INT_MAX) {
                ++unmapped;
            }
        }
        if (c.length == 0) {
            break;
        }
        p += c.length;
    }
    return unmapped;
}

namespace {

template <std::uint32_t Row::*Field, bool (*Write)(std::uint32_t, std::string&)>
bool Emit(const KcodeMap& map, std::uint32_t key, std::string& out)
{
    const Row* row = map.Find(key);
    return row != nullptr && Write(row->*Field, out);
}

} // namespace

int Kcode::Utf8ToXxx(const char* in, std::string& out, int column) const
{
    if (column == 1) {
        return Convert(in, out, ReadUtf8, byUnicode_, Emit<&Row::sjis, WriteSjis>);
    }
    return Convert(in, out, ReadUtf8, byUnicode_, Emit<&Row::euc, WriteEuc>);
}

int Kcode::EucToUtf8(const char* in, std::string& out) const
{
    return Convert(in, out, ReadEuc, byEuc_, Emit<&Row::unicode, WriteUtf8>);
}

int Kcode::EucToSjis(const char* in, std::string& out) const
{
    return Convert(in, out, ReadEuc, byEuc_, Emit<&Row::sjis, WriteSjis>);
}

int Kcode::SjisToUtf8(const char* in, std::string& out) const
{
    return Convert(in, out, ReadSjis, bySjis_, Emit<&Row::unicode, WriteUtf8>);
}

int Kcode::SjisToEuc(const char* in, std::string& out) const
{
    return Convert(in, out, ReadSjis, bySjis_, Emit<&Row::euc, WriteEuc>);
}

} // namespace Utility
} // namespace Orvane
