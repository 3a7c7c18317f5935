#pragma once

#include "Orvane/Exception.h"
#include "Orvane/Result/Nbest.h"

namespace Orvane {
namespace Helper {

// The recognizer helper's events to its owner. Errors passed here are the listener's to
// release; results are lent for the call.
class RecognizerHelperListener {
public:
    // End of the preparing thread: null after success.
    virtual void Prepared(Orvane::Exception* /*error*/) {}
    // The sender has sent every block and stopped without an error.
    virtual void FinishPushSpeech() {}
    virtual void FinishRecognition() {}
    // A final result, before EndPoint(time).
    virtual void RecognitionResult(Orvane::Result::Nbest* /*result*/) {}
    virtual void RecognitionError(Orvane::Exception* /*error*/) {}
    virtual void StartPoint(double /*time*/) {}
    virtual void EndPoint(double /*time*/) {}
    virtual void EndPoint() {}
    virtual void TempPoint(double /*time*/, Orvane::Result::Nbest* /*result*/) {}
    virtual void SentenceEnd() {}
    virtual void Completed(Orvane::Exception* /*error*/) {}

protected:
    ~RecognizerHelperListener() = default;
};

} // namespace Helper
} // namespace Orvane
