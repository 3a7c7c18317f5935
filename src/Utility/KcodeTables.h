#pragma once

#include <cstdint>

namespace Orvane {
namespace Utility {

// One row of a code table. Codes are the character's bytes read as a big-endian number;
// 0 means the row has no value in that encoding. A row of three zeros ends a table.
struct _UTF8_REFERENCE_TABLE {
    std::uint32_t unicode;
    std::uint32_t sjis;
    std::uint32_t euc;
};

// ASCII, yen sign, overline, half-width katakana, JIS X 0208 and NEC row 13, by Unicode;
// ends at unicode = 0.
extern const _UTF8_REFERENCE_TABLE utf8_reference_table[];
// NEC-selected IBM extensions, Shift_JIS 0xED40-0xEEFC; ends at unicode = 0.
extern const _UTF8_REFERENCE_TABLE utf8_reference_table_ex89[];
// IBM extensions, Shift_JIS 0xFA40-0xFC4B, without Unicode values; ends at sjis = 0.
extern const _UTF8_REFERENCE_TABLE extended_code_table[];

} // namespace Utility
} // namespace Orvane
