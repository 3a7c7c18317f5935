#include "Vad/Ostrel.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include <boost/lexical_cast.hpp>

#include "Vad/Errors.h"
#include "Vad/OSTRELError.h"
#include "Vad/SBM.h"
#include "Vad/env_list.h"
#include "Vad/detect_vad.h"

namespace Orvane {
namespace Utility {
namespace Vad {
namespace {

std::string Text(const char* message)
{
    return message != nullptr ? std::string(message) : std::string();
}

[[noreturn]] void ThrowManagerError()
{
    throw OSTRELError(Text(GetSBMLastErrorMessage()));
}

// A count of elements as a byte count for the manager. A count whose bytes do not fit is
// passed as the largest whole count the manager can be given; it refuses or caps it.
unsigned int Bytes(unsigned int n, unsigned int size)
{
    const std::uint64_t bytes = static_cast<std::uint64_t>(n) * size;
    const std::uint64_t largest = UINT_MAX - UINT_MAX % size;
    return static_cast<unsigned int>(bytes < largest ? bytes : largest);
}

int Values(int result, int size)
{
    if (result > 0) {
        return result / size;
    }
    if (result == 0) {
        return 0;
    }
    ThrowManagerError();
}

// Samples from a wave queue of the manager, whose -1 (the end of the speech) passes on.
int Samples(int result)
{
    return result == -1 ? -1 : Values(result, 2);
}

// UTF-8 of each code point; values that are not Unicode scalar values are dropped.
std::string Utf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        const std::uint32_t u = static_cast<std::uint32_t>(c);
        if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
            continue;
        }
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

const VADEnv* FindExact(const VADEnvList* list, const std::string& name)
{
    for (const VADEnv* v = list != nullptr ? list->first : nullptr; v != nullptr; v = v->next) {
        if (name == v->name) {
            return v;
        }
    }
    return nullptr;
}

} // namespace

Ostrel::Ostrel() : handle_(BeginSBM())
{
    if (handle_ == nullptr) {
        ThrowManagerError();
    }
}

Ostrel::~Ostrel()
{
    EndSBM(handle_);
}

int Ostrel::detect(short* pcm, unsigned int n)
{
    if (DetectSBM(handle_, pcm, Bytes(n, 2)) != 0) {
        ThrowManagerError();
    }
    return 0;
}

int Ostrel::detect(short* pcm, unsigned int n, int* /*unused*/, unsigned int /*unusedCount*/)
{
    if (DetectSBM4IM(handle_, pcm, Bytes(n, 2)) != 0) {
        ThrowManagerError();
    }
    return 0;
}

int Ostrel::read(short* out, unsigned int n)
{
    return Samples(ReadSBM(handle_, out, Bytes(n, 2)));
}

int Ostrel::readRaw(short* out, unsigned int n)
{
    return Samples(ReadRawSBM(handle_, out, Bytes(n, 2)));
}

int Ostrel::readDetectVADInput(short* out, unsigned int n)
{
    return Values(ReadSBMDetectVADInput(handle_, out, Bytes(n, 2)), 2);
}

int Ostrel::getProbRatio(double* out, unsigned int n)
{
    return Values(GetSBMProbRatio(handle_, out, Bytes(n, 8)), 8);
}

int Ostrel::getProbSpeech(double* out, unsigned int n)
{
    return Values(GetSBMProbSpeech(handle_, out, Bytes(n, 8)), 8);
}

int Ostrel::getProbNonSpeech(double* out, unsigned int n)
{
    return Values(GetSBMProbNonSpeech(handle_, out, Bytes(n, 8)), 8);
}

int Ostrel::getSpeechDenth(double* out, unsigned int n)
{
    return Values(GetSBMSpeechDenth(handle_, out, Bytes(n, 8)), 8);
}

int Ostrel::getVADState(signed char* out, unsigned int n)
{
    const int result = GetSBMVADState(handle_, out, n);
    if (result < 0) {
        ThrowManagerError();
    }
    return result;
}

int Ostrel::getVADRawState(signed char* out, unsigned int n)
{
    const int result = GetSBMRawVADState(handle_, out, n);
    if (result < 0) {
        ThrowManagerError();
    }
    return result;
}

std::vector<unsigned int> Ostrel::getSpeechFrameNum()
{
    std::vector<unsigned int> frames(2, 0xFFFFFFFFu);
    unsigned int frame = 0;
    if (GetSBMSpeechStartFrameNum(handle_, &frame) == 0) {
        frames[0] = frame;
    }
    if (GetSBMSpeechEndFrameNum(handle_, &frame) == 0) {
        frames[1] = frame;
    }
    return frames;
}

int Ostrel::setMode(int mode, const char* model, unsigned int size)
{
    if (SetSBMMode(handle_, mode, model, size) != 0) {
        ThrowManagerError();
    }
    return 0;
}

int Ostrel::stop()
{
    return StopSBM(handle_);
}

int Ostrel::reset()
{
    return ResetSBM(handle_);
}

int Ostrel::getLastError()
{
    return GetSBMLastError();
}

std::string Ostrel::getLastErrorMessage()
{
    return Text(GetSBMLastErrorMessage());
}

boost::any Ostrel::getVariable(std::string name)
{
    int i = 0;
    if (GetSBMVariable(handle_, name.c_str(), &i) == 0) {
        return boost::any(i);
    }
    _tagVADInfo* session = handle_->session;
    if (GetVariableVADInt(session, name.c_str(), &i) == 0) {
        return boost::any(i);
    }
    double r = 0.0;
    if (GetVariableVADReal(session, name.c_str(), &r) == 0) {
        return boost::any(r);
    }
    char text[513] = "";
    if (GetVariableVADStr(session, name.c_str(), text, sizeof text - 1) == 0) {
        return boost::any(std::string(text));
    }
    return boost::any();
}

boost::any Ostrel::getVariable(std::wstring name)
{
    return getVariable(Utf8(name));
}

void Ostrel::setVariable(std::string name, std::string value)
{
    _setVariable(name, value);
}

void Ostrel::setVariable(std::wstring name, std::wstring value)
{
    _setVariable(Utf8(name), Utf8(value));
}

void Ostrel::_setVariable(const std::string& name, const std::string& value)
{
    if (name.compare(0, 4, "SBM:") == 0) {
        const int number = boost::lexical_cast<int>(value);
        if (SetSBMVariable(handle_, name.c_str(), number) != 0) {
            ThrowManagerError();
        }
        return;
    }
    _tagVADInfo* session = handle_->session;
    const VADEnv* variable = FindExact(session != nullptr ? session->env : nullptr, name);
    if (variable == nullptr) {
        throw OSTRELError(Errors::kUndefinedVariable);
    }
    int result = 0;
    switch (variable->type) {
    case VAD_INT: result = SetVariableVADInt(session, name.c_str(), boost::lexical_cast<int>(value)); break;
    case VAD_REAL: result = SetVariableVADReal(session, name.c_str(), boost::lexical_cast<double>(value)); break;
    case VAD_STR: result = SetVariableVADStr(session, name.c_str(), value.c_str()); break;
    case VAD_PTR: throw OSTRELError(Errors::kUnsupportedVariable);
    default: throw OSTRELError(Errors::kUntypedVariable);
    }
    if (result != 0) {
        throw OSTRELError(Text(GetVADLastErrorMessage()));
    }
}

} // namespace Vad
} // namespace Utility
} // namespace Orvane
