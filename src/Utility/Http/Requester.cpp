#include "Utility/Http/Requester.h"

#include <exception>

#include "Utility/Http/ContentType.h"
#include "Utility/Http/Errors.h"
#include "Utility/Http/Utility.h"

namespace Orvane {
namespace Utility {
namespace Http {
namespace {

const unsigned int kGrowthUnit = 1024;

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
    : userAgent_(userAgent), state_(StateReady)
{
}

boost::shared_ptr<Requester> Requester::CreateInstance(const std::string& userAgent)
{
    return boost::shared_ptr<Requester>(new Requester(userAgent));
}

Requester::~Requester() = default;

void Requester::Send(const std::string& target, const std::vector<BodyPartInformation>& parts)
{
    SendMessage([&](Tcp::Buffer& buffer) { CreateMessage(target, parts, buffer); });
}

void Requester::SendAudio(const std::string& target, const BodyPartInformation& part)
{
    SendMessage([&](Tcp::Buffer& buffer) {
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
    SendMessage([&](Tcp::Buffer& buffer) {
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
void Requester::SendMessage(const Writer& write)
{
    const int state = GetState();
    if (state != StateReady) {
        throw MakeError(Errors::kRequestNotSendable, state);
    }
    boost::shared_ptr<Tcp::Buffer> buffer;
    try {
        buffer.reset(new Tcp::Buffer(kGrowthUnit, nullptr, 0));
        write(*buffer);
    } catch (const std::exception& e) {
        throw MakeError(Errors::kBuildRequestFailed, e.what());
    }
    SendFunction send;
    {
        boost::recursive_mutex::scoped_lock lock(mutex_);
        send = sendFunction_;
    }
    if (!send) {
        throw MakeError(Errors::kSendFunctionNotSet);
    }
    try {
        send(buffer);
    } catch (const std::exception& e) {
        throw MakeError(Errors::kSendRequestFailed, e.what());
    }
}

void Requester::NotifyReceived(const ResponseInformation& response)
{
    const boost::shared_ptr<ResponseListener> listener = GetListener();
    if (!listener) {
        throw MakeError(Errors::kNoResponseListener);
    }
    listener->OnReceived(response);
}

void Requester::SetSendFunction(const SendFunction& function)
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    if (!function) {
        throw MakeError(Errors::kSendFunctionArgument);
    }
    if (sendFunction_) {
        throw MakeError(Errors::kSendFunctionAlreadySet);
    }
    sendFunction_ = function;
}

void Requester::SetListener(const boost::shared_ptr<ResponseListener>& listener)
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    listener_ = listener;
}

boost::shared_ptr<ResponseListener> Requester::GetListener() const
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return listener_;
}

void Requester::SetState(int state)
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    state_ = state;
}

int Requester::GetState() const
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return state_;
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
