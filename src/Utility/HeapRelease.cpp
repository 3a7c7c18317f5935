#include "Utility/HeapRelease.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Orvane {
namespace Utility {

void HeapRelease::AfterFree(std::size_t bytes)
{
#if defined(__GLIBC__)
    if (bytes >= kThreshold) {
        ::malloc_trim(0);
    }
#else
    (void)bytes;
#endif
}

} // namespace Utility
} // namespace Orvane
