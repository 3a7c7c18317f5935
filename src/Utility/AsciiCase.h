#pragma once

#include <string>

namespace Orvane {
namespace Utility {
namespace detail {

// Letter case of ASCII only, whatever the process locale says: keys, codec names and
// boolean words are ASCII, and a locale such as Turkish must not change their meaning.
inline char AsciiToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline char AsciiToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string text)
{
    for (char& c : text) {
        c = AsciiToLower(c);
    }
    return text;
}

inline bool AsciiEqualsIgnoreCase(const std::string& left, const std::string& right)
{
    if (left.size() != right.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < left.size(); ++i) {
        if (AsciiToUpper(left[i]) != AsciiToUpper(right[i])) {
            return false;
        }
    }
    return true;
}

} // namespace detail
} // namespace Utility
} // namespace Orvane
