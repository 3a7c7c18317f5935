#include "Helper/EncoderFilter.h"

#include <cstring>

#include <boost/thread/locks.hpp>

#include "Helper/Error.h"
#include "Utility/AsciiCase.h"
#include "Utility/Exception.h"
#include "Utility/SpeechCodec/Builder.h"

namespace Orvane {
namespace Helper {

EncoderFilter::EncoderFilter(const std::string& codec, double samplingFrequency)
    : codec_(codec), samplingFrequency_(samplingFrequency), status_(Built)
{
}

boost::shared_ptr<Utility::SpeechCodec::Encoder> EncoderFilter::CreateEncoder()
{
    return Utility::SpeechCodec::Builder::CreateEncoder(codec_, samplingFrequency_);
}

void EncoderFilter::OnStart()
{
    if (Utility::detail::AsciiEqualsIgnoreCase(codec_, "pcm")) {
        return;
    }
    boost::shared_ptr<Utility::SpeechCodec::Encoder> encoder = CreateEncoder();
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    encoder_ = encoder;
    status_ = Ready;
}

void EncoderFilter::OnStop(bool /*discard*/) { status_ = Ended; }

void EncoderFilter::OnInput(boost::shared_ptr<DataBuffer> block)
{
    if (status_ == Ended || !block) {
        return;
    }
    boost::shared_ptr<DataBuffer> output;
    try {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        if (!encoder_) {
            return;
        }
        boost::shared_ptr<Utility::SpeechCodec::Buffer> record = encoder_->Encode(block->GetData(), block->GetSize());
        output.reset(new DataBuffer(record->GetSize()));
        std::memcpy(output->GetData(), record->GetData(), record->GetSize());
    } catch (const Utility::Exception& e) {
        ReportError(Error::Internal(Encoding, e.GetErrorMessage()));
        return;
    }
    // Passed on outside the lock: the next stages take locks of their own.
    Emit(output);
}

} // namespace Helper
} // namespace Orvane
