#include "Vad/EngineFixture.h"

#include <stdexcept>

#include "Vad/detect_vad.h"
#include "Vad/feature.h"
#include "support/AudioFixture.h"

namespace Orvane {
namespace Test {

const std::vector<char>& ModelImage()
{
    static const std::vector<char> image = ReadFile(ModelPath());
    return image;
}

VadHandle MakePresetHandle(const std::string& output)
{
    VadHandle handle(BeginVAD());
    const std::vector<char>& image = ModelImage();
    if (!handle || SetVariableVADReal(handle.get(), "FE:PreEmp", 0.0) != 0 ||
        SetVariableVADInt(handle.get(), "FE:NumFFT", 512) != 0 ||
        SetVariableVADInt(handle.get(), "FE:NumFB", 24) != 0 ||
        SetVariableVADReal(handle.get(), "PKF:CumR", 0.99) != 0 ||
        SetVariableVADPtr(handle.get(), "PKF:GMMBuff", image.data(), static_cast<unsigned>(image.size())) != 0 ||
        SetVariableVADStr(handle.get(), "VAD:Output", output.c_str()) != 0) {
        throw std::runtime_error(GetVADLastErrorMessage());
    }
    return handle;
}

namespace {

int Record(_tagVADInfo* handle, void* user)
{
    VadRun& run = *static_cast<VadRun*>(user);
    run.frameCodes.push_back(handle->lastCode);
    run.frames.push_back(handle->frame);
    run.medians.push_back(handle->data->frames.tail->result.median);
    run.decisions.push_back(handle->data->frames.tail->result.decision);
    return 0;
}

} // namespace

VadRun RunFrames(_tagVADInfo* handle, const std::vector<short>& samples)
{
    VadRun run;
    SetVADGetVADInfoProc(handle, Record, &run);
    int state = 0;
    unsigned int first = 0;
    unsigned int second = 0;
    short out[160];
    std::size_t at = 0;
    bool start = true;
    while (at + (start ? 320 : 160) <= samples.size()) {
        run.result = DetectVAD(handle, samples.data() + at, start ? 1 : 0, 1, &state, &first, &second, out);
        if (run.result != 0) {
            break;
        }
        run.output.insert(run.output.end(), out, out + 160);
        at += start ? 320 : 160;
        start = false;
    }
    SetVADGetVADInfoProc(handle, nullptr, nullptr);
    return run;
}

} // namespace Test
} // namespace Orvane
