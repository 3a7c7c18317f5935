#pragma once

#include <cstddef>

namespace Orvane {
namespace Test {

// Threads of this process (entries of /proc/self/task).
std::size_t ThreadCount();
// Open descriptors of this process.
std::size_t DescriptorCount();

} // namespace Test
} // namespace Orvane
