#include "Utility/Http/Respondent.h"

#include "Utility/Http/ContentType.h"
#include "Utility/Http/Errors.h"
#include "Utility/Http/Utility.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Utility {
namespace Http {
namespace {

void AppendEmptyLine(Tcp::Buffer& buffer)
{
    static const unsigned char kCrlf[] = {'\r', '\n'};
    buffer.AppendData(kCrlf, 2);
}

} // namespace

Respondent::Respondent(const std::string& peer, const std::string& userAgent)
    : MessageEndpoint(StateIdle), peer_(peer), userAgent_(userAgent), allowedUserAgents_(new std::set<std::string>)
{
}

boost::shared_ptr<Respondent> Respondent::CreateInstance(const std::string& peer, const std::string& userAgent)
{
    return boost::shared_ptr<Respondent>(new Respondent(peer, userAgent));
}

Respondent::~Respondent() = default;

void Respondent::NotifyReceived(const RequestInformation& request)
{
    {
        boost::recursive_mutex::scoped_lock lock(mutex_);
        if (state_ != StateIdle) {
            throw MakeError(Errors::kRequestBeforeAnswer, state_);
        }
        state_ = StatePending;
    }
    if (request.method != "POST" && request.method != "GET") {
        ORVANE_LOG_TRACE("リクエストメソッドがPOST/GETではありません。メソッド名=%1%", request.method);
        Send(BadRequest, nullptr, 0);
        return;
    }
    if (!allowedUserAgents_->empty()) {
        const auto agent = request.headers.find("user-agent");
        if (agent == request.headers.end() || allowedUserAgents_->count(agent->second) == 0) {
            Send(Forbidden, nullptr, 0);
            return;
        }
    }
    const boost::shared_ptr<RequestListener> listener = GetListener();
    if (!listener) {
        throw MakeError(Errors::kNoRequestListener);
    }
    listener->OnReceived(*this, request);
}

void Respondent::Send(StatusCode status, const unsigned char* data, unsigned int length)
{
    SendAnswer(
        [&](Tcp::Buffer& buffer) {
            Utility::AppendStatusLine(buffer, status);
            Utility::AppendDateHeader(buffer);
            Utility::AppendUserAgentHeader(buffer, userAgent_);
            Utility::AppendContentTypeHeader(buffer, TextPlain, nullptr);
            Utility::AppendContentLengthHeader(buffer, length);
            AppendEmptyLine(buffer);
            buffer.AppendData(data, length);
        },
        Errors::kBuildResponseFailed, Errors::kSendResponseFailed);
}

void Respondent::Send(const std::vector<BodyPartInformation>& parts)
{
    SendAnswer(
        [&](Tcp::Buffer& buffer) {
            std::string boundary;
            Utility::CreateBoundaryString(boundary);
            const unsigned int bodyLength = Utility::BodyLength(boundary, parts);
            Utility::AppendStatusLine(buffer, OK);
            Utility::AppendDateHeader(buffer);
            Utility::AppendUserAgentHeader(buffer, userAgent_);
            Utility::AppendContentTypeHeader(buffer, MultipartFormData, boundary.c_str());
            Utility::AppendContentLengthHeader(buffer, bodyLength);
            AppendEmptyLine(buffer);
            Utility::AppendBody(buffer, boundary, parts);
        },
        Errors::kBuildMultipartResponseFailed, Errors::kSendMultipartResponseFailed);
}

template <typename Writer>
void Respondent::SendAnswer(const Writer& write, const ErrorText& buildError, const ErrorText& sendError)
{
    SendFunction send;
    {
        boost::recursive_mutex::scoped_lock lock(mutex_);
        if (state_ != StatePending) {
            throw MakeError(Errors::kResponseNotSendable, state_);
        }
        state_ = StateIdle;
        send = sendFunction_;
    }
    const boost::shared_ptr<Tcp::Buffer> buffer = WriteMessage(write, buildError);
    if (!send) {
        return;  // no connection to answer on: dropped
    }
    HandOver(send, buffer, sendError);
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
