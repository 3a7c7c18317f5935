#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "support/FifoTarget.h"
#include "support/FlatHelper.h"
#include "support/TemporaryDirectory.h"

namespace Orvane {
namespace Test {

// A recognition target whose audio reaches the recorder only once the helper has reported
// its connection (kind 1): a FIFO that Feed fills and ends. A file read in real time that
// ended before the connection was made would end the recognition with 5000, however short
// the set-up; held, the audio always meets a ready connection, whatever the machine's pace.
class HeldAudio {
public:
    HeldAudio(const TemporaryDirectory& directory, const std::string& name, const std::vector<short>& samples);

    const std::string& Path() const { return fifo_.Path(); }

    // Waits until `helper` has reported `connections` connections, then writes the audio and
    // ends the file. False when a completion came first (among `completions` + 1), or the
    // recorder stopped reading; after a false, the file is ended all the same.
    bool Feed(const FlatHelper& helper, std::size_t connections = 1, std::size_t completions = 0);

private:
    FifoTarget fifo_;
    std::string bytes_;
};

} // namespace Test
} // namespace Orvane
