#pragma once

#include <atomic>
#include <string>

#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "Helper/VoiceFilter.h"
#include "Utility/SpeechCodec/Encoder.h"

namespace Orvane {
namespace Helper {

// Encodes each block into one encoded speech record (Opus); one encoder, and so one
// running Opus state, per recognition.
class EncoderFilter : public VoiceFilter {
public:
    enum Status { Built = 0, Ready = 1, Ended = 2 };

    EncoderFilter(const std::string& codec, double samplingFrequency);

    // "pcm" creates no encoder; any other name goes to the codec factory, whose error
    // leaves OnStart.
    void OnStart() override;
    void OnStop(bool discard) override;
    // A block that cannot be encoded is reported as a 7000 error; nothing is passed on.
    void OnInput(boost::shared_ptr<DataBuffer> block) override;

    int GetStatus() const { return status_; }

protected:
    virtual boost::shared_ptr<Utility::SpeechCodec::Encoder> CreateEncoder();

    const std::string& GetCodec() const { return codec_; }
    double GetSamplingFrequency() const { return samplingFrequency_; }

private:
    std::string codec_;
    double samplingFrequency_;
    boost::shared_ptr<Utility::SpeechCodec::Encoder> encoder_;
    boost::recursive_mutex mutex_;
    std::atomic<int> status_;
};

} // namespace Helper
} // namespace Orvane
