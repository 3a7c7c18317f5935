#include "Client/Error.h"

#include "Utility/ErrorCategory.h"
#include "Utility/Tcp/WsCloseCategory.h"

namespace Orvane {
namespace Client {
namespace {

Exception* Make(const ErrorText& error)
{
    return new Exception(Errors::kType, error.number, error.text);
}

Exception* Make(const ErrorText& error, const std::string& detail)
{
    return new Exception(Errors::kType, error.number, error.text, detail);
}

} // namespace

const char* const Error::Type = Errors::kType;

Exception* Error::UserAgentRefused() { return Make(Errors::kUserAgentRefused); }
Exception* Error::InvalidState(const std::string& detail) { return Make(Errors::kInvalidState, detail); }
Exception* Error::RecognitionTimeout() { return Make(Errors::kRecognitionTimeout); }
Exception* Error::InvalidResponse(const std::string& detail) { return Make(Errors::kInvalidResponse, detail); }
Exception* Error::MissingNode() { return Make(Errors::kMissingNode); }
Exception* Error::InvalidRequest(const std::string& detail) { return Make(Errors::kInvalidRequest, detail); }
Exception* Error::ServerFault(const std::string& detail) { return Make(Errors::kServerFault, detail); }
Exception* Error::CannotConnect(const std::string& detail) { return Make(Errors::kCannotConnect, detail); }
Exception* Error::CommunicationFailed(const std::string& detail) { return Make(Errors::kCommunicationFailed, detail); }
Exception* Error::Disconnected() { return Make(Errors::kDisconnected); }

Exception* Error::TransportFailure(const boost::system::error_code& error)
{
    // Applications tell a server that went away (5006) from a failed exchange (5002).
    if ((error.category() == Utility::ErrorCategory::GetInstance() &&
         error.value() == Utility::ErrorCategory::MessageTruncated) ||
        error.category() == Utility::Tcp::WsCloseCategory::GetInstance()) {
        return Make(Errors::kDisconnectedBecause, error.message());
    }
    return CommunicationFailed(error.message());
}
Exception* Error::Internal(const std::string& detail) { return Make(Errors::kInternal, detail); }
Exception* Error::Unsupported() { return Make(Errors::kUnsupported); }

Utility::Exception Error::MissingElement(const std::string& parent, const std::string& child)
{
    return Utility::MakeError(Errors::kType, Errors::kMissingElement, parent, child);
}

} // namespace Client
} // namespace Orvane
