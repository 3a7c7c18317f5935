#pragma once

#include <vector>

#include <opus/opus.h>

#include "Utility/SpeechCodec/Encoder.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

// Opus at 16 kHz mono, 20-ms frames, 24 kbit/s variable bit rate, wideband. One record
// per Encode call: big-endian packet byte count, big-endian final range, the packets.
class OpusAudioEncoder : public Encoder {
public:
    static const int FrameSize = 320;
    static const int MaxPacketSize = 3832;
    static const unsigned int HeaderSize = 8;

    // Creates the encoder state; GetCreationResult tells whether that succeeded.
    OpusAudioEncoder();
    ~OpusAudioEncoder() override;

    int GetCreationResult() const { return creationResult_; }

    // Frames are taken 320 samples at a time; a partial last frame is zero-padded. A
    // failing frame throws the codec's error 10 and yields no record.
    boost::shared_ptr<Buffer> Encode(const char* data, unsigned int size) override;

protected:
    // Encodes one frame; the result is opus_encode's.
    virtual int EncodeFrame(const opus_int16* frame, unsigned char* packet, int capacity);

private:
    int channels_;
    int application_;
    int frameSize_;
    int bandwidth_;
    int lsbDepth_;
    int bitRate_;
    int variableBitRate_;
    int creationResult_;
    int samplingFrequency_;
    OpusEncoder* state_;
    std::vector<unsigned char> packets_;
};

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
