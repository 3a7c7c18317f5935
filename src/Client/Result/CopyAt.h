#pragma once

#include <stdexcept>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Client/Error.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {
namespace detail {

// A new object over the one at `index` of `items`, for the caller to release. An index
// outside them is error 4000 with `failure`, traced with `traceFormat` (cause, count, index).
template <typename T>
T* CopyAt(const std::vector<boost::shared_ptr<T>>& items, int index, const char* failure, const char* traceFormat)
{
    const T* item = nullptr;
    try {
        // A negative index taken as unsigned lies beyond every count.
        item = items.at(static_cast<unsigned int>(index)).get();
    } catch (const std::out_of_range& e) {
        ORVANE_LOG_TRACE(traceFormat, e.what(), items.size(), index);
        throw Error::InvalidResponse(failure);
    }
    return new T(item->GetImpl());
}

} // namespace detail
} // namespace Result
} // namespace Client
} // namespace Orvane
