#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "Utility/SpeechCodec/Encoder.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

// Makes the encoder named by a codec text ("name" or "name#mode").
class Builder {
public:
    // Only "Opus" (any letter case, no mode) at 16000 Hz is made. Every failure, the
    // checks of the name, mode and frequency included, is thrown as error 7 whose cause
    // carries the specific message.
    static boost::shared_ptr<Encoder> CreateEncoder(const std::string& codec, double samplingFrequency);
};

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
