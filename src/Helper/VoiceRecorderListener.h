#pragma once

#include <boost/shared_ptr.hpp>

#include "Helper/DataBuffer.h"
#include "Orvane/Exception.h"

namespace Orvane {
namespace Helper {

// The recording thread's events.
class VoiceRecorderListener {
public:
    virtual bool OnRecordVoice(short* /*samples*/, unsigned int /*count*/) { return true; }
    // One call per block read; false ends the recording.
    virtual bool OnRecordVoice(boost::shared_ptr<DataBuffer> /*block*/) { return true; }
    // Once, when the thread ends; `error` is null for a normal end and is taken over.
    virtual void OnFinishRecording(Orvane::Exception* error)
    {
        if (error) {
            error->Release();
        }
    }

protected:
    ~VoiceRecorderListener() = default;
};

} // namespace Helper
} // namespace Orvane
