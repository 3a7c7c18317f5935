#include "support/ProcessCounts.h"

#include <dirent.h>

#include <fstream>
#include <string>

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

namespace {
// The kB of a "Name:" line of /proc/self/status; 0 when it has none.
std::size_t StatusKilobytes(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, name.size(), name) == 0) {
            return std::stoul(line.substr(name.size()));
        }
    }
    return 0;
}
} // namespace

std::size_t ResidentKilobytes() { return StatusKilobytes("VmRSS:"); }

std::size_t ResidentPeakKilobytes() { return StatusKilobytes("VmHWM:"); }

bool ResetResidentPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

} // namespace Test
} // namespace Orvane
