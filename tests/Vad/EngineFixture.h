#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Orvane/Vad/VadEngine.h"

namespace Orvane {
namespace Test {

struct HandleDeleter {
    void operator()(_tagVADInfo* handle) const { EndVAD(handle); }
};
using VadHandle = std::unique_ptr<_tagVADInfo, HandleDeleter>;

// A handle with the detector's preset front end (24 bands, no pre-emphasis, 512 points),
// the committed model and the given output kind.
VadHandle MakePresetHandle(const std::string& output = "OBS_WAV");

// The committed model file's bytes.
const std::vector<char>& ModelImage();

// Result of running DetectVAD over a whole signal one frame per call after the start.
struct VadRun {
    std::vector<int> frameCodes;       // per decided frame, in order
    std::vector<unsigned int> frames;  // frame index of each decided frame
    std::vector<double> medians;       // frame median odds per decided frame
    std::vector<short> output;         // enhanced samples ("MMSE_WAV")
    int result = 0;
};

// Feeds `samples` frame by frame (reset on the first call); records every decided frame
// through the info procedure.
VadRun RunFrames(_tagVADInfo* handle, const std::vector<short>& samples);

} // namespace Test
} // namespace Orvane
