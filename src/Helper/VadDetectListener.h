#pragma once

#include <boost/shared_ptr.hpp>

#include "Helper/DataBuffer.h"

namespace Orvane {
namespace Helper {

// The detection filter's events: start of speech, end of the utterance, noise-reduced audio.
class VadDetectListener {
public:
    virtual void OnDetectVoiceStart() {}
    virtual void OnDetectVoiceEnd() {}
    virtual void OnNoiseReductionData(boost::shared_ptr<DataBuffer> /*block*/) {}

protected:
    ~VadDetectListener() = default;
};

} // namespace Helper
} // namespace Orvane
