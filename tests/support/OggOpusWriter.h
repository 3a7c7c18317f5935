#pragma once

#include <string>
#include <vector>

namespace Orvane {
namespace Test {

// Wraps Opus packets of 20-ms mono frames at 16 kHz into an Ogg Opus file, for players
// such as opusdec.
class OggOpusWriter {
public:
    // `preSkip` is in 48-kHz samples. Returns false when the file cannot be written.
    static bool WriteFile(const std::string& path, const std::vector<std::string>& packets, int preSkip);
};

} // namespace Test
} // namespace Orvane
