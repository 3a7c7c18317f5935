#pragma once

#include <boost/shared_ptr.hpp>

#include "Utility/SpeechCodec/Buffer.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

// A speech encoder: 16-bit mono PCM bytes in, one encoded record out.
class Encoder {
public:
    Encoder() = default;
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    virtual ~Encoder() = default;

    virtual boost::shared_ptr<Buffer> Encode(const char* data, unsigned int size) = 0;
};

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
