#pragma once

#include "Orvane/Framework.h"
#include "Orvane/Result/Nbest.h"

namespace Orvane {

// Events of a grammar, called on the recognizer's notification thread. A result passed
// here is released by the library after the call; keep a Duplicate to hold on to it.
class ORVANE_EXPORT GrammarListener : public Framework {
public:
    void Release() override {}
    virtual void StartPoint(double) {}
    virtual void EndPoint(double, const char*, Result::Nbest*) {}
    virtual void TempPoint(double, const char*, Result::Nbest*) {}
    virtual const char* GetRecognitionID() { return ""; }
};

} // namespace Orvane
