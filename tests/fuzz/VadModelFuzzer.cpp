// Fuzzes the detection engine's model reader and its configuration setters.
// First byte 0: the rest is a model image, read and then used as the speech model of a
// stream start. First byte 1: the rest is "name=value" lines set through the typed setters
// (the type taken from the variable), followed by a stream start with the committed model.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "Orvane/Vad/VadEngine.h"
#include "Vad/detect_vad.h"
#include "Vad/env_list.h"
#include "Vad/gmm_io.h"

namespace {

const std::vector<char>& CommittedModel()
{
    static const std::vector<char> image = [] {
        std::ifstream in(std::string(TESSIVAL_SOURCE_DIR) + "/data/quillet/model_140319", std::ios::binary);
        return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }();
    return image;
}

void Preset(_tagVADInfo* handle)
{
    SetVariableVADReal(handle, "FE:PreEmp", 0.0);
    SetVariableVADInt(handle, "FE:NumFFT", 512);
    SetVariableVADInt(handle, "FE:NumFB", 24);
    SetVariableVADStr(handle, "VAD:Output", "MMSE_WAV");
}

int ReadInt(_tagVADInfo* handle, const char* name)
{
    int value = 0;
    GetVariableVADInt(handle, name, &value);
    return value;
}

// Starts a stream of a few frames when the geometry is small enough to feed.
void Run(_tagVADInfo* handle)
{
    const int frame = ReadInt(handle, "FE:FramePts");
    const int shift = ReadInt(handle, "FE:ShiftPts");
    const int channels = ReadInt(handle, "FE:NumChan");
    if (frame > 4096 || shift > 4096 || channels > 4 || ReadInt(handle, "FE:NumFB") > 128 ||
        ReadInt(handle, "VAD:FilLen") > 64 || ReadInt(handle, "PARADE:FilLen") > 64 ||
        ReadInt(handle, "PKF:InitFrame") > 64) {
        return;
    }
    const unsigned frames = 16;
    std::vector<short> wave((std::size_t(frame) + std::size_t(shift) * frames) * channels);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        wave[i] = static_cast<short>((i * 7919) % 2001 - 1000);
    }
    std::vector<short> out(std::size_t(shift) * frames * channels);
    int state = 0;
    unsigned first = 0;
    unsigned second = 0;
    if (DetectVAD(handle, wave.data(), 1, frames, &state, &first, &second, out.data()) == 0) {
        DetectVAD(handle, wave.data(), 0, 1, &state, &first, &second, out.data());
    }
}

void SetLine(_tagVADInfo* handle, const std::string& line)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return;
    }
    const std::string name = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    const VADEnv* node = FindVADEnv(handle->env, name.c_str());
    const int type = node != nullptr ? node->type : static_cast<int>(name.size() % 3);
    switch (type) {
    case VAD_INT: SetVariableVADInt(handle, name.c_str(), static_cast<int>(std::strtol(value.c_str(), nullptr, 10))); break;
    case VAD_REAL: SetVariableVADReal(handle, name.c_str(), std::strtod(value.c_str(), nullptr)); break;
    case VAD_STR: SetVariableVADStr(handle, name.c_str(), value.c_str()); break;
    default: SetVariableVADPtr(handle, name.c_str(), value.data(), static_cast<unsigned>(value.size())); break;
    }
    char text[300];
    GetVariableVADStr(handle, name.c_str(), text, sizeof text - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const char* rest = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;
    _tagVADInfo* handle = BeginVAD();
    Preset(handle);
    if (data[0] == 0) {
        FreeModelBuf(ReadGMMBuff(rest, length));
        if (length > 0) {
            SetVariableVADPtr(handle, "PKF:GMMBuff", rest, static_cast<unsigned>(length));
            Run(handle);
        }
    } else {
        const std::vector<char>& model = CommittedModel();
        SetVariableVADPtr(handle, "PKF:GMMBuff", model.data(), static_cast<unsigned>(model.size()));
        std::istringstream lines(std::string(rest, length));
        for (std::string line; std::getline(lines, line);) {
            SetLine(handle, line);
        }
        Run(handle);
    }
    EndVAD(handle);
    return 0;
}
