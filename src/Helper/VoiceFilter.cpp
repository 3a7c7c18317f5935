#include "Helper/VoiceFilter.h"

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {

VoiceFilter::VoiceFilter() : state_(Created), errorSeen_(false), errorListener_(nullptr), outputListener_(nullptr) {}

VoiceFilter::~VoiceFilter() = default;

void VoiceFilter::OnFilterOutput(boost::shared_ptr<DataBuffer> block) { Add(block); }

void VoiceFilter::SetVadFilterListener(VadDetectListener* /*listener*/) {}

void VoiceFilter::OnStart() {}

void VoiceFilter::OnStop(bool /*discard*/) {}

void VoiceFilter::OnInput(boost::shared_ptr<DataBuffer> /*block*/) {}

void VoiceFilter::Start()
{
    if (state_ != Created) {
        throw Error::InvalidState(Encoding, "VoiceFilter is already started.");
    }
    OnStart();
    state_ = Filtering;
}

void VoiceFilter::Add(boost::shared_ptr<DataBuffer> block)
{
    const int state = state_;
    if (state == Created) {
        throw Error::InvalidState(Encoding, "VoiceFilter is not filtering.");
    }
    if (state == Filtering && errorSeen_) {
        return;
    }
    OnInput(block);
}

void VoiceFilter::Emit(boost::shared_ptr<DataBuffer> block)
{
    VoiceFilterListener* listener = outputListener_;
    if (listener) {
        listener->OnFilterOutput(block);
    }
}

void VoiceFilter::ReportError(Orvane::Exception* error)
{
    errorSeen_ = true;
    VoiceFilterErrorListener* listener = errorListener_;
    if (listener) {
        listener->OnVoiceFilterError(error);
    } else if (error) {
        error->Release();
    }
}

} // namespace Helper
} // namespace Orvane
