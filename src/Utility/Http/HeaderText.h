#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace Orvane {
namespace Utility {
namespace Http {
namespace detail {

// ASCII lower case, byte by byte (the classic locale's tolower).
std::string LowerCase(const unsigned char* begin, const unsigned char* end);
std::string LowerCase(const std::string& text);

// The bytes without leading and trailing spaces (byte 32 only; tabs stay).
std::string TrimSpaces(const unsigned char* begin, const unsigned char* end);

// Stores a header line in `headers`: the name lower-cased as it stands, the value trimmed
// of spaces. Returns false, leaving the first value, when the name is already there;
// `name` and `value` receive the texts either way.
bool InsertHeader(std::map<std::string, std::string>& headers, const unsigned char* nameBegin,
                  const unsigned char* nameEnd, const unsigned char* valueBegin,
                  const unsigned char* valueEnd, std::string& name, std::string& value);

} // namespace detail
} // namespace Http
} // namespace Utility
} // namespace Orvane
