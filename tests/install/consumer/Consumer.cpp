// An application built against an installed Tessival: it converts a text, starts the
// detection engine with the installed model, and converts a camera frame in memory.
// TESSIVAL_DATA_DIR is the installed data directory (the one holding quillet/), as the
// build of the consumer found it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Orvane/Utility/TextEncoding.h"
#include "Orvane/Vad/VadEngine.h"
#include "ivelmo.h"

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "consumer: %s\n", what);
    return 1;
}

} // namespace

int main()
{
    const std::string data = TESSIVAL_DATA_DIR;
    if (Orvane::Utility::Utf8ToSjis("A\xE6\x97\xA5") != "A\x93\xFA") {
        return Fail("Utf8ToSjis");
    }

    std::ifstream file(data + "/quillet/model_140319", std::ios::binary);
    const std::vector<char> model((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::ifstream config(data + "/quillet/vad_config.ini");
    if (model.empty() || !config) {
        return Fail("the installed model or configuration is missing");
    }
    _tagVADInfo* vad = BeginVAD();
    if (vad == nullptr) {
        return Fail("BeginVAD");
    }
    SetVariableVADInt(vad, "FE:NumFFT", 512);
    SetVariableVADInt(vad, "FE:NumFB", 24);
    const int set = SetVariableVADPtr(vad, "PKF:GMMBuff", model.data(), static_cast<unsigned int>(model.size()));
    int frame = 0;
    int shift = 0;
    GetVariableVADInt(vad, "FE:FramePts", &frame);
    GetVariableVADInt(vad, "FE:ShiftPts", &shift);
    const unsigned int frames = 20;
    std::vector<short> wave(static_cast<std::size_t>(frame) + static_cast<std::size_t>(shift) * frames);
    std::vector<short> out(static_cast<std::size_t>(shift) * frames);
    int state = 0;
    unsigned int first = 0;
    unsigned int second = 0;
    const int detected = DetectVAD(vad, wave.data(), 1, frames, &state, &first, &second, out.data());
    EndVAD(vad);
    if (set != 0 || detected != 0) {
        std::fprintf(stderr, "consumer: model %d, detection %d (%d %s)\n", set, detected, GetVADLastError(),
                     GetVADLastErrorMessage());
        return 1;
    }

    const unsigned char pair[4] = {1, 2, 3, 4};
    unsigned char swapped[4] = {};
    if (process_image_buffer_YUYV(pair, 4, swapped) != 4 || std::memcmp(swapped, "\x02\x01\x04\x03", 4) != 0) {
        return Fail("process_image_buffer_YUYV");
    }
    std::puts("consumer: ok");
    return 0;
}
