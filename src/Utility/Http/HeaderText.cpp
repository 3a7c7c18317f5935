#include "Utility/Http/HeaderText.h"

namespace Orvane {
namespace Utility {
namespace Http {
namespace detail {

std::string LowerCase(const unsigned char* begin, const unsigned char* end)
{
    std::string text(begin, end);
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string LowerCase(const std::string& text)
{
    const unsigned char* begin = reinterpret_cast<const unsigned char*>(text.data());
    return LowerCase(begin, begin + text.size());
}

std::string TrimSpaces(const unsigned char* begin, const unsigned char* end)
{
    while (begin != end && *begin == ' ') {
        ++begin;
    }
    while (end != begin && end[-1] == ' ') {
        --end;
    }
    return std::string(begin, end);
}

bool InsertHeader(std::map<std::string, std::string>& headers, const unsigned char* nameBegin,
                  const unsigned char* nameEnd, const unsigned char* valueBegin,
                  const unsigned char* valueEnd, std::string& name, std::string& value)
{
    name = LowerCase(nameBegin, nameEnd);
    value = TrimSpaces(valueBegin, valueEnd);
    return headers.emplace(name, value).second;
}

} // namespace detail
} // namespace Http
} // namespace Utility
} // namespace Orvane
