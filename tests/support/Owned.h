#pragma once

#include <memory>

namespace Orvane {
namespace Test {

// Ends an object of the library (session, recognizer, grammar, model, result, error) with
// its own Release when the holder goes.
struct ReleasePublicObject {
    template <typename T>
    void operator()(T* object) const
    {
        object->Release();
    }
};

template <typename T>
using Owned = std::unique_ptr<T, ReleasePublicObject>;

} // namespace Test
} // namespace Orvane
