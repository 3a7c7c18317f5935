#pragma once

#include <string>
#include <vector>

#include <boost/any.hpp>

#include "Orvane/Vad/SpeechBoundaryManager.h"

namespace Orvane {
namespace Utility {
namespace Vad {

// The object face of one speech-boundary manager: counts are in samples (or values), and
// failures are thrown as OSTRELError carrying the manager's message.
class Ostrel {
public:
    Ostrel();
    ~Ostrel();
    Ostrel(const Ostrel&) = delete;
    Ostrel& operator=(const Ostrel&) = delete;

    int detect(short* pcm, unsigned int n);
    int detect(short* pcm, unsigned int n, int* unused, unsigned int unusedCount);
    // Samples read; 0 when none is released; -1 once an utterance has ended and been read.
    int read(short* out, unsigned int n);
    int readRaw(short* out, unsigned int n);
    int readDetectVADInput(short* out, unsigned int n);
    int getProbRatio(double* out, unsigned int n);
    int getProbSpeech(double* out, unsigned int n);
    int getProbNonSpeech(double* out, unsigned int n);
    int getSpeechDenth(double* out, unsigned int n);
    int getVADState(signed char* out, unsigned int n);
    int getVADRawState(signed char* out, unsigned int n);
    // {start, end} frame of the last utterance; 0xFFFFFFFF where unknown.
    std::vector<unsigned int> getSpeechFrameNum();
    int setMode(int mode, const char* model, unsigned int size);
    int stop();
    int reset();
    int getLastError();
    std::string getLastErrorMessage();

    // The first of the manager's, integer, real and text variables of that name; empty
    // when there is none.
    boost::any getVariable(std::string name);
    boost::any getVariable(std::wstring name);
    void setVariable(std::string name, std::string value);
    void setVariable(std::wstring name, std::wstring value);

private:
    void _setVariable(const std::string& name, const std::string& value);

    SBMInfo* handle_;
};

} // namespace Vad
} // namespace Utility
} // namespace Orvane
