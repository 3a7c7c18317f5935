#pragma once

#include <string>

#include "Utility/KcodeMap.h"

namespace Orvane {
namespace Utility {

// Converts NUL-terminated texts between UTF-8, Shift_JIS and EUC-JP by table lookup.
// Each conversion empties `out` first and returns the number of input characters that
// had no mapping; those are skipped. Malformed UTF-8 (a byte that cannot start a
// character, a following byte that is not 10xxxxxx, a character cut short by the end of
// the text, an overlong form, a UTF-16 surrogate, or a code point above U+10FFFF) throws
// the default-built Exception, leaving in `out` what was converted so far. A Shift_JIS or
// EUC-JP character cut short by the terminating NUL ends the conversion and counts as
// unmapped. A null input is empty.
class Kcode {
public:
    // The process-wide converter: built on first use and never destroyed, so threads
    // still running during exit may convert.
    static Kcode& Instance();

    Kcode();
    Kcode(const Kcode&) = delete;
    Kcode& operator=(const Kcode&) = delete;
    virtual ~Kcode();

    // Column 1: to Shift_JIS; any other: to EUC-JP.
    int Utf8ToXxx(const char* in, std::string& out, int column) const;
    // UTF-8 to Shift_JIS for texts that someone reads: nothing throws and nothing is
    // dropped; each malformed byte and each character without a mapping becomes '?'.
    // Returns how many were replaced.
    int Utf8ToSjisReplacing(const char* in, std::string& out) const;
    // Copies UTF-8 text with U+FFFD in place of each malformed byte; returns how many.
    int RepairUtf8(const char* in, std::string& out) const;
    int EucToUtf8(const char* in, std::string& out) const;
    int EucToSjis(const char* in, std::string& out) const;
    int SjisToUtf8(const char* in, std::string& out) const;
    int SjisToEuc(const char* in, std::string& out) const;

    const KcodeMap& ByUnicode() const { return byUnicode_; }
    const KcodeMap& ByEuc() const { return byEuc_; }
    const KcodeMap& BySjis() const { return bySjis_; }

private:
    const KcodeMap byUnicode_;
    const KcodeMap byEuc_;
    const KcodeMap bySjis_;
};

// The converter that the free conversion functions use; built at load.
extern Kcode& g_kcode;

} // namespace Utility
} // namespace Orvane
