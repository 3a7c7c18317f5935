#pragma once

#include "Orvane/AcousticModel.h"
#include "Orvane/Framework.h"
#include "Orvane/Grammar.h"
#include "Orvane/LanguageModel.h"
#include "Orvane/RecognizerListener.h"

namespace Orvane {

// A recognizer, obtained from Session::Connect. Operations that the client does not
// support throw error 7001 at once and change nothing.
class ORVANE_EXPORT Recognizer : public Framework {
public:
    void Release() override = 0;
    virtual void SetListener(RecognizerListener* listener) = 0;
    virtual AcousticModel* LoadAcousticModel(const char* file) = 0;
    virtual AcousticModel* LoadAcousticModel(const char* image, unsigned int size) = 0;
    virtual LanguageModel* LoadLanguageModel(const char* file) = 0;
    virtual LanguageModel* LoadLanguageModel(const char* image, unsigned int size) = 0;
    virtual Grammar* LoadGrammar(const char* file) = 0;
    virtual Grammar* LoadGrammar(const char* image, unsigned int size) = 0;
    virtual AcousticModel* AttachAcousticModel(const char* name) = 0;
    virtual LanguageModel* AttachLanguageModel(const char* name) = 0;
    virtual Grammar* AttachGrammar(const char* name) = 0;
    virtual void SetParameter(const char* name, const char* value) = 0;
    virtual const char* GetParameter(const char* name) = 0;
    virtual void SetParameterFile(const char* file) = 0;  // not supported
    virtual void Recognize() = 0;
    virtual void PushSpeech(const char* data, unsigned int size) = 0;
    virtual void PushFeatureParameter(unsigned int, int, const float*, bool) = 0;  // not supported
    virtual void Complete(double seconds) = 0;
    virtual void Complete() = 0;
    virtual void Abort() = 0;
    virtual void Resume() = 0;
    virtual void AsyncComplete() = 0;
    virtual void SetPatternMatchModel(AcousticModel* model) = 0;  // not supported
    virtual void Prepare(const char* method, const char* file) = 0;
    virtual void Prepare(const char* method, const char* data, unsigned int size) = 0;
    virtual void PatternMatch() = 0;
    virtual void Record() = 0;                            // not supported
    virtual void GetWaveform() = 0;                       // not supported
    virtual void GetAnalyzeParameter(const char*) = 0;    // not supported
    virtual void SetPortNo(unsigned short) = 0;           // not supported
    virtual void NotifyStartable() = 0;                   // not supported
    virtual Grammar* ShareGrammar(Grammar* grammar) = 0;
};

} // namespace Orvane
