#include "support/ProcessCounts.h"

#include <dirent.h>

namespace Orvane {
namespace Test {
namespace {
// Entries of a /proc directory listing, without "." and "..".
std::size_t CountEntries(const char* path)
{
    std::size_t count = 0;
    if (DIR* directory = opendir(path)) {
        while (const dirent* entry = readdir(directory)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        closedir(directory);
    }
    return count;
}
} // namespace

std::size_t ThreadCount() { return CountEntries("/proc/self/task"); }

std::size_t DescriptorCount()
{
    // The listing's own descriptor is counted too.
    const std::size_t count = CountEntries("/proc/self/fd");
    return count > 0 ? count - 1 : 0;
}

} // namespace Test
} // namespace Orvane
