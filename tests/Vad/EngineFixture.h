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

// Builds a model file image field by field.
class Image {
public:
    Image& U32(unsigned int v) { return Put(&v, 4); }
    Image& F64(double v) { return Put(&v, 8); }
    // One mixture: bands d get mean + d and the variance `var`; GConst is -1.5.
    Image& Mixture(unsigned dim, double weight, double mean, double var)
    {
        F64(weight);
        for (unsigned d = 0; d < dim; ++d) F64(mean + d);
        for (unsigned d = 0; d < dim; ++d) F64(var);
        return F64(-1.5);
    }
    Image& Model(unsigned mixtures, unsigned dim, double var = 1.0)
    {
        U32(mixtures).U32(dim);
        for (unsigned m = 0; m < mixtures; ++m) Mixture(dim, 1.0 / mixtures, m, var);
        return *this;
    }
    const std::vector<char>& Bytes() const { return bytes_; }

private:
    Image& Put(const void* p, std::size_t n)
    {
        bytes_.insert(bytes_.end(), static_cast<const char*>(p), static_cast<const char*>(p) + n);
        return *this;
    }
    std::vector<char> bytes_;
};

// Result of running DetectVAD over a whole signal one frame per call after the start.
struct VadRun {
    std::vector<int> frameCodes;       // per decided frame, in order
    std::vector<unsigned int> frames;  // frame index of each decided frame
    std::vector<double> medians;       // frame median odds per decided frame
    std::vector<int> decisions;        // frame decision per decided frame
    std::vector<short> output;         // enhanced samples ("MMSE_WAV")
    int result = 0;
};

// Feeds `samples` frame by frame (reset on the first call); records every decided frame
// through the info procedure.
VadRun RunFrames(_tagVADInfo* handle, const std::vector<short>& samples);

} // namespace Test
} // namespace Orvane
