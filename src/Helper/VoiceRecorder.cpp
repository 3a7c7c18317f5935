#include "Helper/VoiceRecorder.h"

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {

VoiceRecorder::VoiceRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead)
    : state_(Created), encoding_(encoding), samplingRate_(samplingRate), readPeriod_(readPeriod),
      samplesPerRead_(samplesPerRead)
{
}

VoiceRecorder::~VoiceRecorder() = default;

void VoiceRecorder::OnStart() {}

unsigned int VoiceRecorder::OnRead(short* /*samples*/, unsigned int /*count*/) { return 0; }

unsigned int VoiceRecorder::OnRead(boost::shared_ptr<DataBuffer> /*block*/) { return 0; }

void VoiceRecorder::OnStop() {}

void VoiceRecorder::Start()
{
    if (state_ != Created) {
        throw Error::InvalidState(encoding_, "VoiceRecorder is already started.");
    }
    OnStart();
    state_ = Recording;
}

} // namespace Helper
} // namespace Orvane
