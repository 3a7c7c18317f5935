#pragma once

#include <memory>

namespace Orvane {
namespace Test {

// Ends a public object of the library with its Release when the test lets go of it.
struct ReleaseObject {
    template <typename T>
    void operator()(T* object) const
    {
        object->Release();
    }
};

template <typename T>
using Held = std::unique_ptr<T, ReleaseObject>;

} // namespace Test
} // namespace Orvane
