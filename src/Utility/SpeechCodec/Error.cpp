#include "Utility/SpeechCodec/Error.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

const char* const Error::Type = Errors::kType;

Exception Error::UnknownCodec(const std::string& name)
{
    return MakeError(Errors::kType, Errors::kUnknownCodec, name);
}

Exception Error::InvalidMode(const std::string& mode)
{
    return MakeError(Errors::kType, Errors::kInvalidMode, mode);
}

Exception Error::InvalidSamplingFrequency(double frequency)
{
    return MakeError(Errors::kType, Errors::kInvalidSamplingFrequency, frequency);
}

Exception Error::CreationFailed(const char* codec, double frequency, const char* cause)
{
    return MakeError(Errors::kType, Errors::kCreationFailed, codec, frequency, cause);
}

Exception Error::CreationFailed(const std::string& codec, double frequency, const char* cause)
{
    return MakeError(Errors::kType, Errors::kCreationFailed, codec, frequency, cause);
}

Exception Error::UnsupportedCodec(const std::string& name)
{
    return MakeError(Errors::kType, Errors::kUnsupportedCodec, name);
}

Exception Error::EncodeFailed(const char* cause)
{
    return MakeError(Errors::kType, Errors::kEncodeFailed, cause);
}

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
