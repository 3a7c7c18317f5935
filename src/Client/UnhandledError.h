#pragma once

#include "Orvane/Exception.h"

namespace Orvane {
namespace Client {

// The error that a recognizer listener left to the default `RecognizerListener::Error` on
// this thread. The caller of the listener releases it after the call, unless the listener
// released it meanwhile (an error's Release forgets its mark), so that a listener that
// calls the default and then reads or releases the error stays sound, and one that only
// keeps the default leaks nothing.
class UnhandledError {
public:
    // Forgets any mark of this thread before a listener call.
    static void Clear();
    static void Mark(const Orvane::Exception* error);
    // Called as an error goes: a mark of it is forgotten.
    static void Forget(const Orvane::Exception* error);
    static bool IsMarked(const Orvane::Exception* error);
};

} // namespace Client
} // namespace Orvane
