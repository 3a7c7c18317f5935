#pragma once

#include "Orvane/Exception.h"
#include "Orvane/Framework.h"
#include "Orvane/Result/Match.h"

namespace Orvane {

// Events of a recognizer, called one at a time on its notification thread, in the order
// the server sent them. A listener may call the recognizer's operations, but should not
// wait in Complete: the end it waits for is delivered on this same thread.
class ORVANE_EXPORT RecognizerListener : public Framework {
public:
    // Never called by the library.
    void Release() override {}
    // An override that keeps the error owns it and releases it. This default leaves it to
    // the library, which releases it after the call: an override may call it and then
    // still read the error during the call, or release it itself. An override that calls
    // it must not keep the error once the override has returned.
    virtual void Error(Exception* error);
    virtual void SentenceEnd() {}
    virtual void Completed() {}
    // The result is the library's and released after the call.
    virtual void Match(Result::Match*) {}
    virtual void Startable() {}
};

} // namespace Orvane
