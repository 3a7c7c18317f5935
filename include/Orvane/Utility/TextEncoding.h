#pragma once

#include <string>

#include "Orvane/Export.h"

namespace Orvane {
namespace Utility {

// Japanese text-encoding conversion of NUL-terminated texts between UTF-8, Shift_JIS and
// EUC-JP. Characters without a mapping are skipped; the out-parameter forms empty `out`
// first and return how many were skipped, the returning forms return the converted text.
// A null input is an empty text. Malformed UTF-8 throws a std::exception (with `out`
// holding the text converted so far): a byte that cannot start a character, a following
// byte that is not of the form 10xxxxxx, a character cut short by the end of the text, an
// overlong form, a UTF-16 surrogate or a code point above U+10FFFF. Shift_JIS and EUC-JP
// input is never rejected: a byte that forms no character is skipped and counted. The
// functions take no lock and may be called from any thread at once.
ORVANE_EXPORT int Utf8ToSjis(const char* in, std::string& out);
ORVANE_EXPORT std::string Utf8ToSjis(const char* in);
ORVANE_EXPORT int Utf8ToEuc(const char* in, std::string& out);
ORVANE_EXPORT std::string Utf8ToEuc(const char* in);
ORVANE_EXPORT int SjisToUtf8(const char* in, std::string& out);
ORVANE_EXPORT std::string SjisToUtf8(const char* in);
ORVANE_EXPORT int SjisToEuc(const char* in, std::string& out);
ORVANE_EXPORT std::string SjisToEuc(const char* in);
ORVANE_EXPORT int EucToUtf8(const char* in, std::string& out);
ORVANE_EXPORT std::string EucToUtf8(const char* in);
ORVANE_EXPORT int EucToSjis(const char* in, std::string& out);
ORVANE_EXPORT std::string EucToSjis(const char* in);

} // namespace Utility
} // namespace Orvane
