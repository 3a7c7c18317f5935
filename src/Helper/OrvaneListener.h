#pragma once

#include "Orvane/Exception.h"
#include "Orvane/Result/Nbest.h"

namespace Orvane {
namespace Helper {

// The controller's events to the helper object. `count` is a number of 16-bit samples;
// results are lent for the call; the error passed to Completed stays the caller's.
class OrvaneListener {
public:
    virtual void Connected() {}
    virtual void Record(short* /*samples*/, unsigned int /*count*/) {}
    virtual void RecordNR(short* /*samples*/, unsigned int /*count*/) {}
    virtual void SentenceEnd() {}
    virtual void StopRecording() {}
    virtual void TempResult(double /*time*/, Orvane::Result::Nbest* /*result*/) {}
    virtual void Recognize(Orvane::Result::Nbest* /*result*/) {}
    virtual void Completed(Orvane::Exception* /*error*/) {}

protected:
    ~OrvaneListener() = default;
};

} // namespace Helper
} // namespace Orvane
