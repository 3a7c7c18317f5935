#pragma once

#include "Utility/Exception.h"

namespace Orvane {
namespace Utility {

// One error of a subsystem's table: its number and its message (numbered placeholders).
struct ErrorText {
    int number;
    const char* text;
};

// The exception of type `type` for `error`, its placeholders filled from `args`.
template <typename... Args>
Exception MakeError(const char* type, const ErrorText& error, const Args&... args)
{
    if constexpr (sizeof...(Args) == 0) {
        return Exception(type, error.number, error.text);
    } else {
        return Exception(type, error.number, error.text, args...);
    }
}

} // namespace Utility
} // namespace Orvane
