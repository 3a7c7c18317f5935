#pragma once

#include "Utility/ErrorText.h"

namespace Orvane {
namespace Utility {
namespace Xml {

using ::Orvane::Utility::ErrorText;

// Every error number and message text of the XML parser. Throw sites name the entry.
namespace Errors {

constexpr const char* kType = "Orvane::Utility::Xml";

// 3: malformed document
constexpr ErrorText kSyntax{3, "構文エラーです。エラー位置=%1%行目の%2%バイト目"};
constexpr ErrorText kNestingTooDeep{3, "タグのネストが多すぎます。ネストの数=%1%"};

} // namespace Errors

// The parser's exception for `error`, its placeholders filled from `args`.
template <typename... Args>
Exception MakeError(const ErrorText& error, const Args&... args)
{
    return ::Orvane::Utility::MakeError(Errors::kType, error, args...);
}

} // namespace Xml
} // namespace Utility
} // namespace Orvane
