#include "Client/UnhandledError.h"

namespace Orvane {
namespace Client {
namespace {
thread_local const Orvane::Exception* marked = nullptr;
} // namespace

void UnhandledError::Clear() { marked = nullptr; }

void UnhandledError::Mark(const Orvane::Exception* error) { marked = error; }

void UnhandledError::Forget(const Orvane::Exception* error)
{
    if (marked == error) {
        marked = nullptr;
    }
}

bool UnhandledError::IsMarked(const Orvane::Exception* error) { return error != nullptr && marked == error; }

} // namespace Client
} // namespace Orvane
