#pragma once

#include <string>

namespace Orvane {
namespace Client {
namespace detail {

// Strict whole-text readers for the numbers and flags in the server's XML. They ignore the
// global locale, accept one leading "+" or "-", and throw boost::bad_lexical_cast for any
// other text (blanks, trailing characters, an empty text, a value out of range).
double ReadDouble(const std::string& text);
int ReadInt(const std::string& text);
// "1" and "+1" are true; "0", "+0" and "-0" are false.
bool ReadSuccess(const std::string& text);

} // namespace detail
} // namespace Client
} // namespace Orvane
