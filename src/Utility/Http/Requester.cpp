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
    : MessageEndpoint(StateReady), userAgent_(userAgent), awaiting_(0), repliedSent_(0)
{
}

boost::shared_ptr<Requester> Requester::CreateInstance(const std::string& userAgent)
{
    return boost::shared_ptr<Requester>(new Requester(userAgent));
}

Requester::~Requester() = default;

void Requester::Send(const std::string& target, const std::vector<BodyPartInformation>& parts)
{
    SendRequest([&](Tcp::Buffer& buffer) { CreateMessage(target, parts, buffer); }, true);
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
    }, false);
}

void Requester::SendConnect(const std::string& target)
{
    SendRequest([&](Tcp::Buffer& buffer) {
        AppendRequestLine(buffer, "CONNECT", target, "HTTP/1.1");
        AppendText(buffer, "Host: " + target + "\r\n");
        Utility::AppendUserAgentHeader(buffer, userAgent_);
        AppendText(buffer, "\r\n");
    }, true);
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
void Requester::SendRequest(const Writer& write, bool replied)
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
    if (!replied) {
        HandOver(send, buffer, Errors::kSendRequestFailed);
        return;
    }
    // Counted before the hand-over: the reply may arrive before it returns.
    {
        boost::recursive_mutex::scoped_lock lock(mutex_);
        ++awaiting_;
        ++repliedSent_;
    }
    try {
        HandOver(send, buffer, Errors::kSendRequestFailed);
    } catch (...) {
        boost::recursive_mutex::scoped_lock lock(mutex_);
        --awaiting_;
        throw;
    }
}

bool Requester::IsAwaitingReply() const
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return awaiting_ != 0;
}

std::uint64_t Requester::RepliedRequestsSent() const
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return repliedSent_;
}

void Requester::NotifyReceived(const ResponseInformation& response)
{
    {
        boost::recursive_mutex::scoped_lock lock(mutex_);
        if (awaiting_ != 0) {
            --awaiting_;
        }
    }
    const boost::shared_ptr<ResponseListener> listener = GetListener();
    if (!listener) {
        throw MakeError(Errors::kNoResponseListener);
    }
    listener->OnReceived(response);
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
