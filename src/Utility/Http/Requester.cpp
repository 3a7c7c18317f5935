#include "Utility/Http/Requester.h"

#include "Utility/Http/ContentType.h"
#include "Utility/Http/Errors.h"
#include "Utility/Http/Utility.h"

namespace Orvane {
namespace Utility {
namespace Http {
namespace {

void AppendText(Tcp::Buffer& buffer, const std::string& text)
{
    buffer.AppendData(reinterpret_cast<const unsigned char*>(text.data()), static_cast<unsigned int>(text.size()));
}

// "<method> <target> <version>" CRLF; a target with CR, LF or NUL is refused.
void AppendRequestLine(Tcp::Buffer& buffer, const char* method, const std::string& target, const char* version)
{
    Utility::CheckFieldValue(target, "リクエスト先");
    AppendText(buffer, std::string(method) + " " + target + " " + version + "\r\n");
}

} // namespace

Requester::Requester(const std::string& userAgent)
    : MessageEndpoint(StateReady), userAgent_(userAgent)
{
}

boost::shared_ptr<Requester> Requester::CreateInstance(const std::string& userAgent)
{
    return boost::shared_ptr<Requester>(new Requester(userAgent));
}

Requester::~Requester() = default;

void Requester::Send(const std::string& target, const std::vector<BodyPartInformation>& parts)
{
    SendRequest([&](Tcp::Buffer& buffer) { CreateMessage(target, parts, buffer); });
}

void Requester::SendAudio(const std::string& target, const BodyPartInformation& part)
{
    SendRequest([&](Tcp::Buffer& buffer) {
        AppendRequestLine(buffer, "POST", target, "HTTP/1.0");
        Utility::AppendContentTypeHeader(buffer, AudioData, nullptr);
        Utility::AppendUserAgentHeader(buffer, userAgent_);
        Utility::AppendContentLengthHeader(buffer, part.GetPartLength());
        AppendText(buffer, "\r\n");
        buffer.AppendData(part.GetPartBytes(), part.GetPartLength());
    });
}

void Requester::SendConnect(const std::string& target)
{
    SendRequest([&](Tcp::Buffer& buffer) {
        AppendRequestLine(buffer, "CONNECT", target, "HTTP/1.1");
        AppendText(buffer, "Host: " + target + "\r\n");
        Utility::AppendUserAgentHeader(buffer, userAgent_);
        AppendText(buffer, "\r\n");
    });
}

void Requester::CreateMessage(const std::string& target, const std::vector<BodyPartInformation>& parts,
                              Tcp::Buffer& buffer)
{
    // Everything that can be refused is checked before the first byte is written.
    Utility::CheckFieldValue(target, "リクエスト先");
    Utility::CheckFieldValue(userAgent_, "User-Agent");
    std::string boundary;
    Utility::CreateBoundaryString(boundary);
    const unsigned int bodyLength = Utility::BodyLength(boundary, parts);
    AppendRequestLine(buffer, "POST", target, "HTTP/1.0");
    Utility::AppendContentTypeHeader(buffer, MultipartFormData, boundary.c_str());
    Utility::AppendUserAgentHeader(buffer, userAgent_);
    Utility::AppendContentLengthHeader(buffer, bodyLength);
    AppendText(buffer, "\r\n");
    Utility::AppendBody(buffer, boundary, parts);
}

template <typename Writer>
void Requester::SendRequest(const Writer& write)
{
    const int state = GetState();
    if (state != StateReady) {
        throw MakeError(Errors::kRequestNotSendable, state);
    }
    const boost::shared_ptr<Tcp::Buffer> buffer = WriteMessage(write, Errors::kBuildRequestFailed);
    SendFunction send;
    {
        boost::recursive_mutex::scoped_lock lock(mutex_);
        send = sendFunction_;
    }
    if (!send) {
        throw MakeError(Errors::kSendFunctionNotSet);
    }
    HandOver(send, buffer, Errors::kSendRequestFailed);
}

void Requester::NotifyReceived(const ResponseInformation& response)
{
    const boost::shared_ptr<ResponseListener> listener = GetListener();
    if (!listener) {
        throw MakeError(Errors::kNoResponseListener);
    }
    listener->OnReceived(response);
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
