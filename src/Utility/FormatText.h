#pragma once

#include <sstream>
#include <string>

#include <boost/format.hpp>

namespace Orvane {
namespace Utility {
namespace detail {

// A null text is written as an empty one; everything else by its own output operator.
template <typename T>
inline const T& FormatArgument(const T& value) { return value; }
inline const char* FormatArgument(const char* value) { return value ? value : ""; }
inline const char* FormatArgument(char* value) { return value ? value : ""; }

// Fills the numbered placeholders of `format` with `args`, one feed per argument.
// Throws what Boost.Format throws for a malformed format or a wrong argument count.
template <typename... Args>
std::string FormatText(const char* format, const Args&... args)
{
    boost::format formatter(format ? format : "");
    (void)std::initializer_list<int>{((void)(formatter % FormatArgument(args)), 0)...};
    std::ostringstream stream;
    stream << formatter;
    return stream.str();
}

} // namespace detail
} // namespace Utility
} // namespace Orvane
