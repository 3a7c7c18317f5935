#pragma once

#include "Orvane/Exception.h"
#include "support/Owned.h"

namespace Orvane {
namespace Test {

// An error object owned by a test: released when it goes.
using OwnedError = Owned<Orvane::Exception>;

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
