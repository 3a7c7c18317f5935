#include "Helper/Error.h"

#include "Client/Error.h"

namespace Orvane {
namespace Helper {
namespace {
Exception* Make(int encoding, const ErrorText& error)
{
    return Error::Wrap(encoding, new Client::Exception(Client::Error::Type, error.number, error.text));
}

Exception* Make(int encoding, const ErrorText& error, const std::string& detail)
{
    return Error::Wrap(encoding, new Client::Exception(Client::Error::Type, error.number, error.text, detail));
}
} // namespace

Exception* Error::Wrap(int encoding, Client::Exception* error)
{
    boost::shared_ptr<Client::Exception> held = Exception::Hold(error);
    return new Exception(encoding, held);
}

Orvane::Exception* Error::Adopt(int encoding, Orvane::Exception* error)
{
    return Exception::ForEncoding(encoding, error);
}

Exception* Error::NoServerAddress(int encoding)
{
    return Make(encoding, Errors::kNoServerAddress);
}

Exception* Error::InvalidServerPort(int encoding)
{
    return Make(encoding, Errors::kInvalidServerPort);
}

Exception* Error::InvalidCompleteTimeout(int encoding)
{
    return Make(encoding, Errors::kInvalidCompleteTimeout);
}

Exception* Error::InvalidRecognitionTimeout(int encoding)
{
    return Make(encoding, Errors::kInvalidRecognitionTimeout);
}

Exception* Error::InvalidSentenceTimeout(int encoding)
{
    return Make(encoding, Errors::kInvalidSentenceTimeout);
}

Exception* Error::InvalidOstrelEnvMode(int encoding)
{
    return Make(encoding, Errors::kInvalidOstrelEnvMode);
}

Exception* Error::NoUserAgent(int encoding)
{
    return Make(encoding, Errors::kNoUserAgent);
}

Exception* Error::InvalidOption(int encoding, const std::string& detail)
{
    return Make(encoding, Errors::kInvalidOption, detail);
}

Exception* Error::InvalidState(int encoding, const std::string& detail)
{
    return Wrap(encoding, Client::Error::InvalidState(detail));
}

Exception* Error::SpeechStartNotDetected(int encoding)
{
    return Make(encoding, Errors::kSpeechStartNotDetected);
}

Exception* Error::SpeechEndNotDetected(int encoding)
{
    return Make(encoding, Errors::kSpeechEndNotDetected);
}

Exception* Error::CannotConnect(int encoding, const std::string& detail)
{
    return Wrap(encoding, Client::Error::CannotConnect(detail));
}

Exception* Error::CaptureDeviceFailed(int encoding, const std::string& detail)
{
    return Make(encoding, Errors::kCaptureDeviceFailed, detail);
}

Exception* Error::Internal(int encoding, const std::string& detail)
{
    return Wrap(encoding, Client::Error::Internal(detail));
}

Client::Exception* Error::FlatInternal(const std::string& detail)
{
    return new Client::Exception(Client::Error::Type, Errors::kFlatInternal.number, Errors::kFlatInternal.text, detail);
}

} // namespace Helper
} // namespace Orvane
