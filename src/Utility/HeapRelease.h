#pragma once

#include <cstddef>

namespace Orvane {
namespace Utility {

// Gives the memory of a large message back to the system once it has been freed. glibc
// keeps freed memory in its arenas, and after a large mapped block is freed it serves
// blocks up to that size from the arenas too, so the pages of a large message would stay
// resident long after the message is gone.
class HeapRelease {
public:
    // Blocks freed in all at least this large are given back.
    static const std::size_t kThreshold = 1024 * 1024;

    // Called after `bytes` of one message were freed.
    static void AfterFree(std::size_t bytes);
};

} // namespace Utility
} // namespace Orvane
