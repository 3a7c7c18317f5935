#pragma once

#include "Orvane/AcousticModel.h"
#include "Orvane/Framework.h"
#include "Orvane/GrammarListener.h"
#include "Orvane/LanguageModel.h"

namespace Orvane {

// A grammar loaded or attached on a recognizer.
class ORVANE_EXPORT Grammar : public Framework {
public:
    void Release() override = 0;
    virtual void SetListener(GrammarListener* listener) = 0;
    virtual void SetModels(AcousticModel* acoustic, LanguageModel* language) = 0;
    virtual void Activate() = 0;
    virtual void Deactivate() = 0;
    virtual void SetAcousticParameter(int index, const char* value) = 0;
    virtual void SetName(const char* name) = 0;
    // Not supported: throws error 7001.
    virtual void GetXmlResult() = 0;
};

} // namespace Orvane
