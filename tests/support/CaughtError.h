#pragma once

#include <memory>

#include "Orvane/Exception.h"

namespace Orvane {
namespace Test {

struct ErrorReleaser {
    void operator()(Orvane::Exception* error) const { error->Release(); }
};

// An error object owned by a test: released when it goes.
using OwnedError = std::unique_ptr<Orvane::Exception, ErrorReleaser>;

// Runs `action` and returns the error it threw by pointer, or null when it threw none.
template <typename Action>
OwnedError CaughtError(Action action)
{
    try {
        action();
    } catch (Orvane::Exception* error) {
        return OwnedError(error);
    }
    return OwnedError();
}

} // namespace Test
} // namespace Orvane
