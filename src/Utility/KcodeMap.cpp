#include "Utility/KcodeMap.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace Orvane {
namespace Utility {

namespace {

bool KeyLess(const KcodeMap::Entry& a, const KcodeMap::Entry& b) { return a.first < b.first; }

} // namespace

KcodeMap::KcodeMap(const std::vector<Entry>& inserted) : entries_(inserted), pageOf_()
{
    // A stable sort keeps equal keys in insertion order, so the first row stays in front.
    std::stable_sort(entries_.begin(), entries_.end(), KeyLess);
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const Entry& a, const Entry& b) { return a.first == b.first; }),
                   entries_.end());
    entries_.shrink_to_fit();
    if (entries_.size() >= std::numeric_limits<std::uint16_t>::max()) {
        throw std::length_error("KcodeMap: too many keys");
    }

    std::uint16_t pages = 0;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        const std::uint32_t key = entries_[index].first;
        if (key > 0xFFFF) {
            break;
        }
        std::uint16_t& page = pageOf_[key >> 8];
        if (page == 0) {
            page = ++pages;
            slots_.resize(static_cast<std::size_t>(pages) << 8);
        }
        slots_[(static_cast<std::size_t>(page - 1) << 8) | (key & 0xFF)] =
            static_cast<std::uint16_t>(index + 1);
    }
}

const KcodeMap::Row* KcodeMap::FindLong(std::uint32_t key) const
{
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), Entry(key, nullptr), KeyLess);
    return found != entries_.end() && found->first == key ? found->second : nullptr;
}

} // namespace Utility
} // namespace Orvane
