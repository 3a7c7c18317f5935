#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "Utility/KcodeTables.h"

namespace Orvane {
namespace Utility {

// An ordered map from a code to a table row, built once and then only read. When a key is
// given more than once, its first row wins. Keys below 0x10000 are found through a page
// index in one step; longer keys (three-byte EUC-JP codes) by binary search.
class KcodeMap {
public:
    using Row = _UTF8_REFERENCE_TABLE;
    using Entry = std::pair<std::uint32_t, const Row*>;

    // `inserted` in insertion order.
    explicit KcodeMap(const std::vector<Entry>& inserted);
    KcodeMap(const KcodeMap&) = delete;
    KcodeMap& operator=(const KcodeMap&) = delete;

    // The row of `key`, or null.
    const Row* Find(std::uint32_t key) const
    {
        if (key <= 0xFFFF) {
            const std::uint32_t page = pageOf_[key >> 8];
            if (page == 0) {
                return nullptr;
            }
            const std::uint32_t slot = slots_[((page - 1) << 8) | (key & 0xFF)];
            return slot == 0 ? nullptr : entries_[slot - 1].second;
        }
        return FindLong(key);
    }

    // Every key with its row, ascending.
    const std::vector<Entry>& Entries() const { return entries_; }

private:
    const Row* FindLong(std::uint32_t key) const;

    std::vector<Entry> entries_;
    // Page number + 1 for each high byte of a 16-bit key, 0 for an empty page.
    std::array<std::uint16_t, 256> pageOf_;
    // 256 slots per page: index into entries_ + 1, 0 for no key.
    std::vector<std::uint16_t> slots_;
};

} // namespace Utility
} // namespace Orvane
