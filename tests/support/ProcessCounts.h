#pragma once

#include <cstddef>

namespace Orvane {
namespace Test {

// Threads of this process (entries of /proc/self/task).
std::size_t ThreadCount();
// Open descriptors of this process.
std::size_t DescriptorCount();
// Resident memory of this process in kB (VmRSS of /proc/self/status); 0 when unknown.
std::size_t ResidentKilobytes();

} // namespace Test
} // namespace Orvane
