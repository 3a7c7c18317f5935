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
// The most resident memory of this process in kB since it started or since the last
// ResetResidentPeak (VmHWM); 0 when unknown.
std::size_t ResidentPeakKilobytes();
// Starts the peak over from the present resident memory (Linux's clear_refs); false when
// the kernel refuses.
bool ResetResidentPeak();

} // namespace Test
} // namespace Orvane
