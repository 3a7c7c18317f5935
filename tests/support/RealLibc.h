#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace Orvane {
namespace Test {

// The next definition of a C library function after the calling shared object: from
// inside an interposing library, the C library's own. Aborts when there is none.
template <typename Function>
Function RealFunction(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "fake: no next definition of %s\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}

} // namespace Test
} // namespace Orvane

// Declares `real` as the cached next definition of the function `name`.
#define FAKE_REAL(name) static const auto real = ::Orvane::Test::RealFunction<decltype(&::name)>(#name)
