#include "Client/RequestSender.h"

#include <exception>
#include <sstream>
#include <stdexcept>

#include "Client/Error.h"
#include "Client/NotificationHandler.h"
#include "Client/NumberText.h"
#include "Client/Released.h"
#include "Utility/Exception.h"
#include "Utility/Http/Requester.h"
#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Xml/Parser.h"

namespace Orvane {
namespace Client {
namespace {

typedef boost::shared_ptr<Utility::Xml::Node> NodePtr;

// An element written for a log record only when the record is kept.
struct Written {
    const Utility::Xml::Node& node;
    int encodingMode;
};

std::ostream& operator<<(std::ostream& out, const Written& written)
{
    written.node.Write(out, "\t", 0, written.encodingMode);
    return out;
}

NodePtr RequiredChild(const NodePtr& element, const char* name)
{
    NodePtr child = element->Child(name);
    if (!child) {
        throw Error::MissingElement(element->name, name);
    }
    return child;
}

std::string PartHeader(const char* disposition, std::size_t length)
{
    return std::string("Content-Disposition: from-data; name=") + disposition + "\r\nContent-Length: " +
           std::to_string(length) + "\r\n\r\n";
}

Utility::Http::BodyPartInformation PartOver(const std::string& bytes)
{
    return Utility::Http::BodyPartInformation(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              static_cast<unsigned int>(bytes.size()));
}

// A reply part's document: the data of a multipart part, else the single body.
NodePtr ParsePart(const Utility::Http::BodyPartInformation& part, int encodingMode)
{
    const bool multipart = part.GetData() != nullptr;
    const unsigned char* bytes = multipart ? part.GetData() : part.GetPartBytes();
    const unsigned int length = multipart ? part.GetDataLength() : part.GetPartLength();
    return Utility::Xml::Parser(reinterpret_cast<const char*>(bytes), length, encodingMode).Parse();
}

} // namespace

RequestSender::RequestSender(const boost::shared_ptr<Utility::Http::Controller>& controller, int encodingMode)
    : controller_(controller), listener_(nullptr), errorSlot_(nullptr), encodingMode_(encodingMode), tunnel_(false),
      stopped_(false), owed_(false)
{
}

boost::shared_ptr<RequestSender> RequestSender::CreateInstance(
    const boost::shared_ptr<Utility::Http::Controller>& controller, int encodingMode)
{
    if (!controller) {
        throw std::invalid_argument("RequestSender: no controller");
    }
    return boost::shared_ptr<RequestSender>(new RequestSender(controller, encodingMode));
}

RequestSender::~RequestSender()
{
    if (errorSlot_ != nullptr) {
        errorSlot_->Release();
    }
}

NodePtr RequestSender::Send(const std::string& method, const std::string& targetKind, const std::string& targetId,
                            const NodePtr& argumentList)
{
    ORVANE_LOG_TRACE("リクエストの送信を行います。method=%1%, target_kind=%2%, target_id=%3%", method, targetKind,
                     targetId);
    std::ostringstream call;
    CreateRequestBody(call, method, targetKind, targetId, argumentList);
    const std::string callPart = call.str();
    ORVANE_LOG_TRACE("リクエストボディ=%1%", callPart);
    return SendRequest(std::vector<Utility::Http::BodyPartInformation>(1, PartOver(callPart)), true);
}

NodePtr RequestSender::Send(const std::string& method, const std::string& targetKind, const std::string& targetId,
                            const NodePtr& argumentList, const unsigned char* data, unsigned int size, bool wait)
{
    ORVANE_LOG_TRACE("リクエストの送信を行います。method=%1%, target_kind=%2%, target_id=%3%, size=%4%", method,
                     targetKind, targetId, size);
    if (size == 0) {
        throw std::out_of_range("RequestSender::Send: the binary part is empty");
    }
    if (data == nullptr) {
        throw std::invalid_argument("RequestSender::Send: no binary data");
    }
    std::ostringstream call;
    CreateRequestBody(call, method, targetKind, targetId, argumentList);
    const std::string callPart = call.str();
    ORVANE_LOG_TRACE("リクエストボディ=%1%", callPart);
    std::string binaryPart = PartHeader("\"binary\"", size);
    binaryPart.append(reinterpret_cast<const char*>(data), size);
    std::vector<Utility::Http::BodyPartInformation> parts;
    parts.push_back(PartOver(callPart));
    parts.push_back(PartOver(binaryPart));
    return SendRequest(parts, wait);
}

NodePtr RequestSender::SendRequest(const std::vector<Utility::Http::BodyPartInformation>& parts, bool wait)
{
    return Transmit(false, wait, [&](Utility::Http::Requester& requester) { requester.Send("/", parts); });
}

NodePtr RequestSender::SendConnect(const std::string& host, bool wait)
{
    return Transmit(true, wait, [&](Utility::Http::Requester& requester) { requester.SendConnect(host); });
}

void RequestSender::SendAudio(const Utility::Http::BodyPartInformation& part)
{
    Transmit(false, false, [&](Utility::Http::Requester& requester) { requester.SendAudio("/", part); });
}

template <typename SendFunction>
NodePtr RequestSender::Transmit(bool tunnel, bool wait, const SendFunction& send)
{
    // Told before the call waits for its turn: on the notification thread, the call in
    // progress may wait for a reply that sits behind notifications only it delivers.
    boost::shared_ptr<NotificationHandler> handler;
    if (wait) {
        boost::recursive_mutex::scoped_lock receiving(receiveLock_);
        handler = handler_.lock();
    }
    const NotificationHandler::CallScope call(handler, true);
    boost::recursive_mutex::scoped_lock sending(sendLock_);
    {
        boost::recursive_mutex::scoped_lock receiving(receiveLock_);
        // A reply still owed to a call given up would be taken for this call's: it goes out
        // after that reply. The wait is bounded by that call's response wait, which runs on.
        while (wait && OwedLocked()) {
            replyEvent_.wait(receiving);
        }
        if (!OwedLocked()) {
            owed_ = false;
        }
        replySlot_.reset();
        if (errorSlot_ != nullptr) {
            errorSlot_->Release();
            errorSlot_ = nullptr;
        }
        tunnel_ = tunnel;
    }
    try {
        send(*controller_->GetRequester());
    } catch (const Utility::Exception& e) {
        ORVANE_LOG(4, "リクエストの送信処理でエラーが発生しました。原因=%1%", e.what());
        throw Error::CommunicationFailed(e.what());
    }
    return wait ? WaitReceive() : NodePtr();
}

NodePtr RequestSender::WaitReceive()
{
    boost::recursive_mutex::scoped_lock lock(receiveLock_);
    // Owed to this call until the wait ends; an interrupted wait leaves it owed.
    owed_ = true;
    while (!replySlot_ && errorSlot_ == nullptr && !stopped_) {
        replyEvent_.wait(lock);
    }
    owed_ = false;
    if (errorSlot_ != nullptr) {
        // The catcher owns it from here.
        Exception* error = errorSlot_;
        errorSlot_ = nullptr;
        throw error;
    }
    if (!replySlot_) {
        // Stopped: nothing more can arrive.
        throw Error::Disconnected();
    }
    return replySlot_;
}

void RequestSender::CreateRequestBody(std::ostream& out, const std::string& method, const std::string& targetKind,
                                      const std::string& targetId, const NodePtr& argumentList)
{
    NodePtr request = Utility::Xml::Node::CreateInstance("Request");
    request->children.push_back(Utility::Xml::Node::CreateInstance("Kind", method.c_str()));
    if (!targetKind.empty() && !targetId.empty()) {
        NodePtr target = Utility::Xml::Node::CreateInstance("Target");
        target->children.push_back(Utility::Xml::Node::CreateInstance("Kind", targetKind.c_str()));
        target->children.push_back(Utility::Xml::Node::CreateInstance("Id", targetId.c_str()));
        request->children.push_back(target);
    }
    request->children.push_back(argumentList ? argumentList : Utility::Xml::Node::CreateInstance("ArgumentList"));
    std::ostringstream xml;
    request->Write(xml, "\t", 0, encodingMode_);
    const std::string text = xml.str();
    out << PartHeader("\"call\"; id=1", text.size()) << text;
}

void RequestSender::SetListener(SessionListener* listener)
{
    ORVANE_LOG_TRACE("セッション処理通知クラスの設定を行います。listener=%1%", static_cast<const void*>(listener));
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    listener_ = listener;
}

void RequestSender::SetNotificationHandler(const boost::shared_ptr<NotificationHandler>& handler)
{
    boost::recursive_mutex::scoped_lock lock(receiveLock_);
    handler_ = handler;
}

void RequestSender::Stop()
{
    {
        boost::recursive_mutex::scoped_lock lock(receiveLock_);
        stopped_ = true;
        replyEvent_.notify_all();
    }
    // No sender lock is held from here: stopping reports the end of the connection to
    // the notification handler, whose completion hook may wait for a caller of ours.
    controller_->GetRequester()->SetListener(boost::shared_ptr<Utility::Http::ResponseListener>());
    controller_->Stop();
    // A session listener call in progress on another thread ends first.
    boost::recursive_mutex::scoped_lock listening(listenerLock_);
}

bool RequestSender::IsReplyOwed()
{
    boost::recursive_mutex::scoped_lock lock(receiveLock_);
    return OwedLocked();
}

bool RequestSender::OwedLocked() const
{
    return owed_ && !replySlot_ && errorSlot_ == nullptr && !stopped_;
}

void RequestSender::OnReceived(const Utility::Http::ResponseInformation& reply)
{
    bool stop = true;
    {
        boost::recursive_mutex::scoped_lock lock(receiveLock_);
        ORVANE_LOG_TRACE("レスポンスを受信しました。");
        try {
            stop = ParseResponseInformation(reply);
        } catch (const Utility::Exception& e) {
            ORVANE_LOG(4, "レスポンスの解析処理でエラーが発生しました。原因=%1%", e.what());
            Record(Error::InvalidResponse(e.what()));
        } catch (const std::exception& e) {
            ORVANE_LOG(4, "ランタイムエラーが発生しました。原因=%1%", e.what());
            Record(Error::InvalidResponse(e.what()));
        }
        replyEvent_.notify_all();
    }
    // Stopped with no lock of ours held and the caller already woken.
    if (stop) {
        Stop();
    }
}

bool RequestSender::ParseResponseInformation(const Utility::Http::ResponseInformation& reply)
{
    if (reply.statusCode != 200) {
        ORVANE_LOG(4, "リクエストに失敗しました。response code=%1%", reply.statusCode);
        if (reply.statusCode == 403 && !tunnel_) {
            Record(Error::UserAgentRefused());
        } else {
            Record(Error::ServerFault("response code (" + std::to_string(reply.statusCode) + ")"));
        }
        return true;
    }
    if (tunnel_) {
        // A proxy's answer to CONNECT, with or without header lines, opens the tunnel.
        replySlot_ = Utility::Xml::Node::CreateInstance("");
        return false;
    }
    if (reply.bodyParts.empty()) {
        if (!reply.headers.empty()) {
            ORVANE_LOG(4, "リクエストに失敗しました。response code=%1%", reply.statusCode);
            Record(Error::InvalidResponse("ボディパート情報が取得できません。"));
            return true;
        }
        replySlot_ = Utility::Xml::Node::CreateInstance("");
        return false;
    }
    for (const Utility::Http::BodyPartInformation& part : reply.bodyParts) {
        const NodePtr element = ParsePart(part, encodingMode_);
        ORVANE_LOG_TRACE("レスポンス=%1%", Written{*element, encodingMode_});
        CheckResponse(element);
        if (errorSlot_ != nullptr) {
            break;
        }
    }
    return false;
}

void RequestSender::CheckResponse(const NodePtr& element)
{
    if (element->name == "Response") {
        if (detail::ReadSuccess(RequiredChild(element, "Success")->text)) {
            replySlot_ = element;
        } else {
            CreateException(element);
        }
        return;
    }
    for (const NodePtr& child : element->children) {
        const NodePtr response = RequiredChild(child, "Response");
        if (!detail::ReadSuccess(RequiredChild(response, "Success")->text)) {
            CreateException(response);
            replySlot_ = element;
            return;
        }
    }
    replySlot_ = element;
}

void RequestSender::CreateException(const NodePtr& element)
{
    const NodePtr exception = RequiredChild(RequiredChild(element, "Value"), "Exception");
    Record(new Exception(exception));
}

void RequestSender::OnError(int kind, const boost::system::error_code& error)
{
    ORVANE_LOG_TRACE("コネクションでエラーが発生しました。kind=%1%, error=%2%", kind, error.message());
    RecordFailure(Error::TransportFailure(error));
}

void RequestSender::OnClosed()
{
    ORVANE_LOG_TRACE("コネクションが切断されました。");
    RecordFailure(Error::Disconnected());
}

void RequestSender::RecordFailure(Exception* error)
{
    // The listener hears of the failure after the notifications read before it: through
    // the notification handler's queue when there is one, with a copy of its own, since
    // the waiting call takes the recorded error with it. The call is woken first: the
    // listener may call the recognizer, whose calls wait for the send lock that it holds.
    boost::shared_ptr<NotificationHandler> handler;
    {
        boost::recursive_mutex::scoped_lock lock(receiveLock_);
        handler = handler_.lock();
    }
    bool deferred = false;
    if (handler) {
        boost::recursive_mutex::scoped_lock listening(listenerLock_);
        deferred = listener_ != nullptr;
    }
    boost::shared_ptr<Exception> copy;
    if (deferred) {
        copy.reset(error->Copy(), detail::ReleaseObject());
    } else {
        // Without a handler the listener is told first, with the very error the waiting
        // call then throws (no call of this connection can be made from it).
        TellListener(*error);
    }
    {
        boost::recursive_mutex::scoped_lock lock(receiveLock_);
        // A reply that arrived before the failure answers the call in progress: the
        // failure then only goes to the listener.
        if (replySlot_) {
            error->Release();
        } else {
            Record(error);
        }
        replyEvent_.notify_all();
    }
    if (deferred) {
        const boost::shared_ptr<RequestSender> self = shared_from_this();
        handler->Defer([self, copy] { self->TellListener(*copy); });
    }
}

void RequestSender::TellListener(Exception& error)
{
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    if (listener_ == nullptr) {
        return;
    }
    // The listener only reads the error; what it throws stays here.
    try {
        listener_->Error(&error);
    } catch (Orvane::Exception* thrown) {
        ORVANE_LOG(3, "セッション処理通知クラスの呼び出しに失敗しました。原因=%1%", thrown->GetErrorMessage());
        thrown->Release();
    } catch (...) {
        ORVANE_LOG(3, "セッション処理通知クラスの呼び出しに失敗しました。");
    }
}

void RequestSender::Record(Exception* error)
{
    if (errorSlot_ != nullptr && errorSlot_ != error) {
        errorSlot_->Release();
    }
    errorSlot_ = error;
}

} // namespace Client
} // namespace Orvane
