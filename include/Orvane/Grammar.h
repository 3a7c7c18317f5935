#pragma once

#include "Orvane/AcousticModel.h"
#include "Orvane/Framework.h"
#include "Orvane/GrammarListener.h"
#include "Orvane/LanguageModel.h"

namespace Orvane {

// A grammar loaded or attached on a recognizer. The remote calls (SetModels, Activate,
// Deactivate, SetAcousticParameter) block until the server replies or the response timer
// ends; they throw the server's error, 4000-4004 for a malformed reply or failing server,
// 5002/5006 when the connection fails and 7000 for a bad argument or an internal failure.
class ORVANE_EXPORT Grammar : public Framework {
public:
    // Releases the server's grammar (blocking like a remote call; a failure is only logged)
    // and removes the listener.
    void Release() override = 0;
    // Borrowed until replaced or the grammar is released; null removes it. Once this has
    // returned the old listener is not running and is not called again.
    virtual void SetListener(GrammarListener* listener) = 0;
    // Both borrowed and made by this library; a null language model is the server's default.
    virtual void SetModels(AcousticModel* acoustic, LanguageModel* language) = 0;
    virtual void Activate() = 0;
    virtual void Deactivate() = 0;
    virtual void SetAcousticParameter(int index, const char* value) = 0;
    // Does nothing.
    virtual void SetName(const char* name) = 0;
    // Not supported: throws error 7001.
    virtual void GetXmlResult() = 0;
};

} // namespace Orvane
