#pragma once

#include <string>

#include "Utility/KcodeMap.h"

namespace Orvane {
namespace Utility {

// Converts NUL-terminated texts between UTF-8, Shift_JIS and EUC-JP by table lookup.
// Each conversion empties `out` first and returns the number of input characters that
// had no mapping; those are skipped. Malformed UTF-8 (a continuation byte or a byte
// 0xF5-0xFF leading a character, an overlong form, a UTF-16 surrogate, or an invalid
// four-byte form) throws the default-built Exception, leaving in `out` what was converted
// so far. A character cut short by the
// terminating NUL ends the conversion and counts as unmapped. A null input is empty.
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
