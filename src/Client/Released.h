#pragma once

#include <memory>

namespace Orvane {
namespace Client {
namespace detail {

// Ends a public object (result, error) with its own Release when the holder goes.
struct ReleaseObject {
    template <typename T>
    void operator()(T* object) const
    {
        object->Release();
    }
};

template <typename T>
using Released = std::unique_ptr<T, ReleaseObject>;

} // namespace detail
} // namespace Client
} // namespace Orvane
