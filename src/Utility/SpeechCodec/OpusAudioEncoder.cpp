#include "Utility/SpeechCodec/OpusAudioEncoder.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "Utility/SpeechCodec/Error.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {
namespace {
void PutBigEndian(unsigned char* out, uint32_t value)
{
    out[0] = static_cast<unsigned char>(value >> 24);
    out[1] = static_cast<unsigned char>(value >> 16);
    out[2] = static_cast<unsigned char>(value >> 8);
    out[3] = static_cast<unsigned char>(value);
}
} // namespace

OpusAudioEncoder::OpusAudioEncoder()
    : channels_(1), application_(OPUS_APPLICATION_AUDIO), frameSize_(FrameSize),
      bandwidth_(OPUS_BANDWIDTH_WIDEBAND), lsbDepth_(16), bitRate_(24000), variableBitRate_(1),
      creationResult_(OPUS_OK), samplingFrequency_(16000), state_(nullptr)
{
    state_ = opus_encoder_create(samplingFrequency_, channels_, application_, &creationResult_);
    if (creationResult_ != OPUS_OK) {
        if (state_) {
            opus_encoder_destroy(state_);
            state_ = nullptr;
        }
        return;
    }
    // Failures of these settings leave the encoder's defaults in place.
    opus_encoder_ctl(state_, OPUS_SET_BITRATE(bitRate_));
    opus_encoder_ctl(state_, OPUS_SET_BANDWIDTH(bandwidth_));
    opus_encoder_ctl(state_, OPUS_SET_VBR(variableBitRate_));
    opus_encoder_ctl(state_, OPUS_SET_LSB_DEPTH(lsbDepth_));
}

OpusAudioEncoder::~OpusAudioEncoder()
{
    if (state_) {
        opus_encoder_destroy(state_);
    }
}

int OpusAudioEncoder::EncodeFrame(const opus_int16* frame, unsigned char* packet, int capacity)
{
    return opus_encode(state_, frame, frameSize_, packet, capacity);
}

boost::shared_ptr<Buffer> OpusAudioEncoder::Encode(const char* data, unsigned int size)
{
    if (!state_) {
        throw Error::EncodeFailed(opus_strerror(creationResult_));
    }
    const uint64_t samples = (data ? size : 0u) / 2u;
    const uint64_t frames = (samples + frameSize_ - 1) / frameSize_;
    // The record counts its packet bytes in 32 bits; refuse input that could exceed it.
    if (frames * MaxPacketSize > std::numeric_limits<uint32_t>::max() - HeaderSize) {
        throw Error::EncodeFailed("input too long");
    }
    packets_.resize(static_cast<std::size_t>(frames * MaxPacketSize));

    uint64_t total = 0;
    opus_int16 frame[FrameSize];
    for (uint64_t index = 0; index < frames; ++index) {
        const uint64_t first = index * frameSize_;
        const uint64_t count = (samples - first < static_cast<uint64_t>(frameSize_)) ? samples - first : frameSize_;
        std::memcpy(frame, data + first * 2, static_cast<std::size_t>(count * 2));
        std::memset(frame + count, 0, static_cast<std::size_t>((frameSize_ - count) * 2));
        const int length = EncodeFrame(frame, packets_.data() + total, MaxPacketSize);
        if (length < 0) {
            throw Error::EncodeFailed(opus_strerror(length));
        }
        total += static_cast<uint64_t>(length);
    }

    opus_uint32 finalRange = 0;
    opus_encoder_ctl(state_, OPUS_GET_FINAL_RANGE(&finalRange));

    boost::shared_ptr<Buffer> record(new Buffer(static_cast<uint32_t>(total + HeaderSize)));
    PutBigEndian(record->GetData(), static_cast<uint32_t>(total));
    PutBigEndian(record->GetData() + 4, finalRange);
    if (total > 0) {
        std::memcpy(record->GetData() + HeaderSize, packets_.data(), static_cast<std::size_t>(total));
    }
    return record;
}

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
