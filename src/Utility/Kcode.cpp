#include "Utility/Kcode.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "Utility/Exception.h"

namespace Orvane {
namespace Utility {

namespace {

using Row = _UTF8_REFERENCE_TABLE;

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

// What a reader finds at the current position: a character's key and length, the end of
// the text inside a character (its bytes include the terminating NUL), or malformed input
// (length 1: the byte that cannot start a character here).
struct Character {
    enum Kind { Key, Cut, Malformed };
    Kind kind;
    std::uint32_t key;
    std::size_t length;
};

inline bool IsContinuation(std::uint32_t byte) { return (byte & 0xC0) == 0x80; }

// Every following byte must have the form 10xxxxxx; the terminating NUL does not, so a
// character cut short by the end of the text is malformed and nothing past the NUL is
// read. Overlong forms (a code point that a shorter form writes), UTF-16 surrogates and
// code points above U+10FFFF are malformed too; a valid four-byte form has no row.
struct Utf8Reader {
    Character operator()(const unsigned char* p) const
    {
        static constexpr Character malformed{Character::Malformed, 0, 1};
        const std::uint32_t b0 = p[0];
        if (b0 < 0x80) {
            return {Character::Key, b0, 1};
        }
        if (b0 < 0xC0 || b0 > 0xF4) {
            return malformed;
        }
        const std::uint32_t b1 = p[1];
        if (!IsContinuation(b1)) {
            return malformed;
        }
        if (b0 < 0xE0) {
            const std::uint32_t u = ((b0 & 0x1F) << 6) | (b1 & 0x3F);
            return u < 0x80 ? malformed : Character{Character::Key, u, 2};
        }
        const std::uint32_t b2 = p[2];
        if (!IsContinuation(b2)) {
            return malformed;
        }
        if (b0 < 0xF0) {
            const std::uint32_t u = ((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
            if (u < 0x800 || (u >= 0xD800 && u <= 0xDFFF)) {
                return malformed;
            }
            return {Character::Key, u, 3};
        }
        const std::uint32_t b3 = p[3];
        if (!IsContinuation(b3)) {
            return malformed;
        }
        const std::uint32_t u = ((b0 & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F);
        if (u < 0x10000 || u > 0x10FFFF) {
            return malformed;
        }
        return {Character::Key, u, 4};
    }
};

struct EucReader {
    Character operator()(const unsigned char* p) const
    {
        const std::uint32_t b0 = p[0];
        const std::uint32_t b1 = p[1];
        if (b0 >= 0xA1 && b0 <= 0xFE) {
            return b1 == 0 ? Character{Character::Cut, 0, 0} : Character{Character::Key, (b0 << 8) | b1, 2};
        }
        if (b0 == 0x8E && b1 >= 0xA1 && b1 <= 0xDF) {
            return {Character::Key, 0x8E00 | b1, 2};
        }
        if (b0 == 0x8F && b1 >= 0xA1 && b1 <= 0xFE && p[2] != 0) {
            return {Character::Key, 0x8F0000 | (b1 << 8) | p[2], 3};
        }
        return {Character::Key, b0, 1};
    }
};

struct SjisReader {
    Character operator()(const unsigned char* p) const
    {
        const std::uint32_t b0 = p[0];
        if ((b0 >= 0x81 && b0 <= 0x9F) || (b0 >= 0xE0 && b0 <= 0xFC)) {
            const std::uint32_t b1 = p[1];
            return b1 == 0 ? Character{Character::Cut, 0, 0} : Character{Character::Key, (b0 << 8) | b1, 2};
        }
        return {Character::Key, b0, 1};
    }
};

// Collects output bytes and hands them to the string in blocks; the owner flushes.
class Sink {
public:
    explicit Sink(std::string& out) : out_(out) {}
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    // Room for one character of at most three bytes.
    char* Reserve()
    {
        if (used_ > sizeof buffer_ - 3) {
            Flush();
        }
        return buffer_ + used_;
    }
    void Commit(std::size_t length) { used_ += length; }

    void Flush()
    {
        out_.append(buffer_, used_);
        used_ = 0;
    }

private:
    std::string& out_;
    std::size_t used_ = 0;
    char buffer_[1024];
};

// Writers put a row's value and return false for a value they cannot write; the character
// then counts as unmapped. A value 0 (no Unicode value, or no code) is never written.
struct Utf8Writer {
    static constexpr std::uint32_t Row::*field = &Row::unicode;
    bool operator()(std::uint32_t u, Sink& sink) const
    {
        if (u == 0 || u >= 0x10000) {
            return false;
        }
        char* p = sink.Reserve();
        if (u < 0x80) {
            p[0] = static_cast<char>(u);
            sink.Commit(1);
        } else if (u < 0x800) {
            p[0] = static_cast<char>(0xC0 | (u >> 6));
            p[1] = static_cast<char>(0x80 | (u & 0x3F));
            sink.Commit(2);
        } else {
            p[0] = static_cast<char>(0xE0 | (u >> 12));
            p[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            p[2] = static_cast<char>(0x80 | (u & 0x3F));
            sink.Commit(3);
        }
        return true;
    }
};

// One byte below 0x100, else two bytes big-endian.
inline bool PutShort(std::uint32_t code, Sink& sink)
{
    if (code == 0 || code > 0xFFFF) {
        return false;
    }
    char* p = sink.Reserve();
    if (code < 0x100) {
        p[0] = static_cast<char>(code);
        sink.Commit(1);
    } else {
        p[0] = static_cast<char>(code >> 8);
        p[1] = static_cast<char>(code & 0xFF);
        sink.Commit(2);
    }
    return true;
}

struct SjisWriter {
    static constexpr std::uint32_t Row::*field = &Row::sjis;
    bool operator()(std::uint32_t code, Sink& sink) const { return PutShort(code, sink); }
};

// Three-byte codes only in the 0x8F form.
struct EucWriter {
    static constexpr std::uint32_t Row::*field = &Row::euc;
    bool operator()(std::uint32_t code, Sink& sink) const
    {
        if (code <= 0xFFFF) {
            return PutShort(code, sink);
        }
        if ((code >> 16) != 0x8F) {
            return false;
        }
        char* p = sink.Reserve();
        p[0] = static_cast<char>(0x8F);
        p[1] = static_cast<char>((code >> 8) & 0xFF);
        p[2] = static_cast<char>(code & 0xFF);
        sink.Commit(3);
        return true;
    }
};

// Without a replacement (NUL), malformed input throws and a character without a mapping is
// skipped. With one, each malformed byte and each character without a mapping becomes the
// replacement byte and the conversion goes on. Either way the count says how many.
template <typename Reader, typename Writer>
int Convert(const char* in, std::string& out, const KcodeMap& map, char replacement = '\0')
{
    out.clear();
    if (in == nullptr) {
        return 0;
    }
    const Reader read;
    const Writer write;
    int unmapped = 0;
    auto* p = reinterpret_cast<const unsigned char*>(in);
    Sink sink(out);
    const auto replace = [&] {
        if (replacement != '\0') {
            *sink.Reserve() = replacement;
            sink.Commit(1);
        }
        if (unmapped < INT_MAX) {
            ++unmapped;
        }
    };
    while (*p != 0) {
        const Character c = read(p);
        if (c.kind == Character::Malformed && replacement == '\0') {
            sink.Flush();
            throw Exception();
        }
        const Row* row = c.kind == Character::Key ? map.Find(c.key) : nullptr;
        if (row == nullptr || !write(row->*Writer::field, sink)) {
            replace();
        }
        if (c.kind == Character::Cut) {
            break;
        }
        p += c.length;
    }
    sink.Flush();
    return unmapped;
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

int Kcode::Utf8ToXxx(const char* in, std::string& out, int column) const
{
    if (column == 1) {
        return Convert<Utf8Reader, SjisWriter>(in, out, byUnicode_);
    }
    return Convert<Utf8Reader, EucWriter>(in, out, byUnicode_);
}

int Kcode::Utf8ToSjisReplacing(const char* in, std::string& out) const
{
    return Convert<Utf8Reader, SjisWriter>(in, out, byUnicode_, '?');
}

int Kcode::RepairUtf8(const char* in, std::string& out) const
{
    out.clear();
    if (in == nullptr) {
        return 0;
    }
    const Utf8Reader read;
    int replaced = 0;
    auto* p = reinterpret_cast<const unsigned char*>(in);
    while (*p != 0) {
        const Character c = read(p);
        if (c.kind != Character::Key) {
            out += "\xEF\xBF\xBD";
            if (replaced < INT_MAX) {
                ++replaced;
            }
            ++p;
            continue;
        }
        out.append(reinterpret_cast<const char*>(p), c.length);
        p += c.length;
    }
    return replaced;
}

int Kcode::EucToUtf8(const char* in, std::string& out) const { return Convert<EucReader, Utf8Writer>(in, out, byEuc_); }

int Kcode::EucToSjis(const char* in, std::string& out) const { return Convert<EucReader, SjisWriter>(in, out, byEuc_); }

int Kcode::SjisToUtf8(const char* in, std::string& out) const { return Convert<SjisReader, Utf8Writer>(in, out, bySjis_); }

int Kcode::SjisToEuc(const char* in, std::string& out) const { return Convert<SjisReader, EucWriter>(in, out, bySjis_); }

} // namespace Utility
} // namespace Orvane
