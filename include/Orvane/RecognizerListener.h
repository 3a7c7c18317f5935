#pragma once

#include "Orvane/Exception.h"
#include "Orvane/Framework.h"
#include "Orvane/Result/Match.h"

namespace Orvane {

// Events of a recognizer, called on its notification thread. An error passed to Error
// becomes the listener's, which releases it.
class ORVANE_EXPORT RecognizerListener : public Framework {
public:
    void Release() override {}
    virtual void Error(Exception*) {}
    virtual void SentenceEnd() {}
    virtual void Completed() {}
    virtual void Match(Result::Match*) {}
    virtual void Startable() {}
};

} // namespace Orvane
