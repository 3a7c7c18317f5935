#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace Orvane {
namespace Bench {

// The median of a non-empty list: the mean of the two middle values of an even count.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

} // namespace Bench
} // namespace Orvane
