#pragma once

#include "Orvane/Framework.h"
#include "Orvane/Result/Nbest.h"

namespace Orvane {

// Events of a grammar, called one at a time on the recognizer's notification thread. A
// result passed here is released by the library after the call; keep a Duplicate to hold
// on to it. A time is in seconds; the text is the recognition's id, valid during the call.
class ORVANE_EXPORT GrammarListener : public Framework {
public:
    // Never called by the library.
    void Release() override {}
    virtual void StartPoint(double) {}
    virtual void EndPoint(double, const char*, Result::Nbest*) {}
    virtual void TempPoint(double, const char*, Result::Nbest*) {}
    virtual const char* GetRecognitionID() { return ""; }
};

} // namespace Orvane
