#pragma once

#include <string>

#include "Utility/Exception.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

// The speech codec's errors, one function per number; each returns the exception for
// the caller to throw by value.
class Error {
public:
    static const char* const Type;

    static Exception UnknownCodec(const std::string& name);                       // 1
    static Exception InvalidMode(const std::string& mode);                        // 3
    static Exception InvalidSamplingFrequency(double frequency);                  // 4
    static Exception CreationFailed(const char* codec, double frequency, const char* cause);        // 7
    static Exception CreationFailed(const std::string& codec, double frequency, const char* cause); // 7
    static Exception UnsupportedCodec(const std::string& name);                   // 9
    static Exception EncodeFailed(const char* cause);                             // 10
};

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
