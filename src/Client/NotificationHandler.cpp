#include "Client/NotificationHandler.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <iterator>
#include <sstream>

#include <boost/bind/bind.hpp>

#include "Client/Error.h"
#include "Client/NumberText.h"
#include "Client/Released.h"
#include "Client/Result/Match.h"
#include "Client/Result/Nbest.h"
#include "Client/Result/NbestReader.h"
#include "Client/UnhandledError.h"
#include "Utility/Exception.h"
#include "Utility/HeapRelease.h"
#include "Utility/Http/BodyPartInformation.h"
#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Xml/Parser.h"

namespace Orvane {
namespace Client {
namespace {

typedef boost::shared_ptr<Utility::Xml::Node> NodePtr;

const char* const kMalformed = "通知の形式が不正です。";

// The handler whose thread this is, if any.
thread_local const NotificationHandler* ownHandler = nullptr;

void LogMalformed() { ORVANE_LOG(3, kMalformed); }

NodePtr FindTargetId(const NodePtr& notification)
{
    NodePtr target = notification->Child("Target");
    return target ? target->Child("Id") : NodePtr();
}

// The Notification elements of one body part: the root itself, or the first Notification
// child of each child of a list root. A child without one is malformed and skipped.
std::vector<NodePtr> NotificationsOf(const NodePtr& root)
{
    std::vector<NodePtr> found;
    if (root->name == "Notification") {
        found.push_back(root);
        return found;
    }
    for (const NodePtr& child : root->children) {
        NodePtr notification = child ? child->Child("Notification") : NodePtr();
        if (notification) {
            found.push_back(notification);
        } else {
            LogMalformed();
        }
    }
    return found;
}

// Logs the exception being handled after `failure`, freeing an error object.
void LogCurrentException(const char* failure)
{
    try {
        throw;
    } catch (Orvane::Exception* error) {
        ORVANE_LOG(3, "%1%原因=%2%", failure, error->GetErrorMessage());
        error->Release();
    } catch (const std::exception& e) {
        ORVANE_LOG(3, "%1%原因=%2%", failure, e.what());
    } catch (...) {
        ORVANE_LOG(3, failure);
    }
}

// Runs a deferred task; what it raises is logged.
void RunTask(const boost::function<void()>& task)
{
    try {
        task();
    } catch (...) {
        LogCurrentException("通知処理の実行に失敗しました。");
    }
}

// Runs `call`; false when it raised anything. An error object is freed here: such a
// failure is reported as 7000 like any other.
template <typename Call>
bool Succeeds(const Call& call)
{
    try {
        call();
        return true;
    } catch (Orvane::Exception* error) {
        error->Release();
    } catch (...) {
    }
    return false;
}

} // namespace

NotificationHandler::NotificationHandler(const CompletionHook& hook, int encodingMode)
    : listener_(nullptr), running_(true), queuedBytes_(0), delivering_(false), backlogged_(false), ownCalls_(0),
      remoteCalls_(0), callBytes_(0), told_{false, false}, hook_(hook), encodingMode_(encodingMode),
      freeOnExit_(false)
{
}

NotificationHandler::CallScope::CallScope(const boost::shared_ptr<NotificationHandler>& handler, bool remote)
    : handler_(handler), own_(handler && handler->IsOwnThread()), remote_(handler && remote)
{
    if (own_ || remote_) {
        handler_->CountCall(own_, remote_, true);
    }
}

NotificationHandler::CallScope::~CallScope()
{
    if (own_ || remote_) {
        handler_->CountCall(own_, remote_, false);
    }
}

NotificationHandler::~NotificationHandler()
{
    boost::lock_guard<boost::mutex> lock(hookLock_);
    hook_.clear();
}

boost::shared_ptr<NotificationHandler> NotificationHandler::CreateInstance(const CompletionHook& hook,
                                                                           int encodingMode)
{
    boost::shared_ptr<NotificationHandler> handler(new NotificationHandler(hook, encodingMode), &Dispose);
    boost::recursive_mutex::scoped_lock lock(handler->queueLock_);
    handler->thread_.Start(boost::bind(&NotificationHandler::ThreadMain, handler.get()));
    return handler;
}

void NotificationHandler::Dispose(NotificationHandler* handler)
{
    // Nobody is left to be told of a completion; a hook call in progress ends before the
    // join below returns.
    {
        boost::lock_guard<boost::mutex> lock(handler->hookLock_);
        handler->hook_.clear();
    }
    {
        boost::recursive_mutex::scoped_lock lock(handler->queueLock_);
        handler->running_ = false;
        handler->queueCondition_.notify_all();
    }
    if (!handler->thread_.Join(false)) {
        // Dropped inside a listener call: the thread cannot join itself. It delivers what
        // is left and frees the handler when Run returns.
        handler->freeOnExit_ = true;
        return;
    }
    delete handler;
}

void NotificationHandler::ThreadMain()
{
    ownHandler = this;
    try {
        Run();
    } catch (const std::exception& e) {
        ORVANE_LOG(4, "通知処理スレッドが異常終了しました。原因=%1%", e.what());
    } catch (...) {
        ORVANE_LOG(4, "通知処理スレッドが異常終了しました。");
    }
    if (freeOnExit_) {
        delete this;
    }
}

void NotificationHandler::OnReceived(Utility::Http::Respondent& respondent,
                                     const Utility::Http::RequestInformation& request)
{
    ORVANE_LOG_TRACE("通知を受信しました。");
    bool success = false;
    try {
        NotifyRequest(request);
        success = true;
    } catch (Orvane::Exception* error) {
        ORVANE_LOG(4, "通知の電文の形式が不正です。");
        error->Release();
    } catch (const Utility::Exception& e) {
        ORVANE_LOG(4, "リクエストの解析処理でエラーが発生しました。原因=%1%", e.what());
    } catch (const std::exception& e) {
        ORVANE_LOG(4, "ランタイムエラーが発生しました。原因=%1%", e.what());
    }
    std::ostringstream stream;
    CreateResponseBody(stream, success);
    const std::string body = stream.str();
    // The respondent copies the bytes before Send returns.
    std::vector<Utility::Http::BodyPartInformation> parts;
    parts.emplace_back(reinterpret_cast<const unsigned char*>(body.data()), static_cast<unsigned int>(body.size()));
    respondent.Send(parts);
}

void NotificationHandler::NotifyRequest(const Utility::Http::RequestInformation& request)
{
    if (request.bodyParts.empty()) {
        ORVANE_LOG_TRACE("通知の電文にボディが含まれていません。");
        throw Error::InvalidRequest("通知電文にボディパートが含まれていません。");
    }
    for (const Utility::Http::BodyPartInformation& part : request.bodyParts) {
        // A multipart part's document is its data; a single body has no data range.
        const bool multipart = part.GetData() != nullptr;
        const unsigned char* bytes = multipart ? part.GetData() : part.GetPartBytes();
        const unsigned int length = multipart ? part.GetDataLength() : part.GetPartLength();
        std::vector<Queued> parsed;
        {
            // The results are read while the document is parsed, so that a large one
            // never stands as a whole element tree.
            const boost::shared_ptr<Result::NbestReader> results(new Result::NbestReader);
            Utility::Xml::Parser parser(reinterpret_cast<const char*>(bytes), length, encodingMode_);
            Result::NbestReader* const reader = results.get();
            parser.SetElementHook(
                [reader](const std::vector<const Utility::Xml::Node*>& open, const NodePtr& element) {
                    return reader->Take(open, element);
                });
            for (const NodePtr& notification : NotificationsOf(parser.Parse())) {
                parsed.push_back(Queued{notification, results, 0, Task()});
            }
            if (!parsed.empty()) {
                parsed.back().documentBytes = length;
            }
        }

        bool changed = false;
        {
            boost::recursive_mutex::scoped_lock lock(queueLock_);
            if (running_) {
                queue_.insert(queue_.end(), std::make_move_iterator(parsed.begin()),
                              std::make_move_iterator(parsed.end()));
                if (!parsed.empty()) {
                    queuedBytes_ += length;
                }
                if (queue_.size() >= kMaxQueued || queuedBytes_ >= kMaxQueuedBytes) {
                    backlogged_ = true;
                }
                if (ownCalls_ != 0) {
                    callBytes_ += length;
                }
                changed = WantedHold() != told_;
            } else {
                ORVANE_LOG(3, "停止処理中に通知を受信しました。");
            }
            queueCondition_.notify_all();
        }
        if (changed) {
            TellBacklog();
        }
    }
}

void NotificationHandler::CreateResponseBody(std::ostream& out, bool success)
{
    std::vector<NodePtr> children(1, Utility::Xml::Node::CreateInstance("Success", success ? "1" : "0"));
    NodePtr response = Utility::Xml::Node::CreateInstance("Response", children);
    std::ostringstream xml;
    response->Write(xml, "\t", 0, encodingMode_);
    const std::string text = xml.str();
    out << "Content-Disposition: from-data; name=\"return\"; id=1\r\n"
        << "Content-Length: " << std::to_string(text.size()) << "\r\n\r\n"
        << text;
}

void NotificationHandler::OnError(int, const boost::system::error_code& error)
{
    DeferHook(Error::TransportFailure(error));
}

void NotificationHandler::OnClosed()
{
    DeferHook(Error::Disconnected());
}

void NotificationHandler::DeferHook(Exception* error)
{
    // A Completed or Error read before the end has decided the recognition by then: the
    // recognizer takes the hook's end only while it is still completing.
    const boost::shared_ptr<Exception> failure(error, detail::ReleaseObject());
    Defer([this, failure] { CallHook(failure.get()); });
}

void NotificationHandler::Defer(const Task& task)
{
    bool queued = false;
    bool changed = false;
    {
        boost::recursive_mutex::scoped_lock lock(queueLock_);
        if (running_) {
            queue_.push_back(Queued{NodePtr(), boost::shared_ptr<Result::NbestReader>(), 0, task});
            queued = true;
            changed = WantedHold() != told_;
            queueCondition_.notify_all();
        }
    }
    if (!queued) {
        // Stopping: the thread takes nothing more.
        RunTask(task);
    } else if (changed) {
        TellBacklog();
    }
}

void NotificationHandler::SetBacklogFunction(const BacklogFunction& function)
{
    boost::recursive_mutex::scoped_lock lock(queueLock_);
    backlog_ = function;
}

bool NotificationHandler::IsOwnThread() const
{
    return ownHandler == this;
}

NotificationHandler::Hold NotificationHandler::WantedHold() const
{
    // The handler's thread inside a call delivers nothing until the call ends: reading
    // goes on for the call's reply, up to the larger bound.
    const bool reading =
        ownCalls_ != 0 ? queue_.size() >= kMaxQueuedInCall || callBytes_ >= kMaxBytesInCall : backlogged_;
    // The server is not blamed for the time the client takes to deliver what it sent; a
    // remote call's wait is bounded whatever the client does.
    const bool busy = reading || delivering_ || !queue_.empty();
    return Hold{reading, busy && remoteCalls_ == 0};
}

void NotificationHandler::CountCall(bool own, bool remote, bool enter)
{
    {
        boost::recursive_mutex::scoped_lock lock(queueLock_);
        if (own) {
            if (enter && ownCalls_ == 0) {
                callBytes_ = 0;
            }
            ownCalls_ = enter ? ownCalls_ + 1 : ownCalls_ - 1;
        }
        if (remote) {
            remoteCalls_ = enter ? remoteCalls_ + 1 : remoteCalls_ - 1;
        }
    }
    TellBacklog();
}

void NotificationHandler::TellBacklog()
{
    // Told without the queue lock: the function may let go of the last reference to the
    // connection, whose end may wait for a thread that waits for that lock. A change made
    // meanwhile by another thread is told again, so the last word is the present state.
    Hold told;
    BacklogFunction backlog;
    {
        boost::recursive_mutex::scoped_lock lock(queueLock_);
        told = WantedHold();
        if (told == told_) {
            return;
        }
        told_ = told;
        backlog = backlog_;
    }
    for (;;) {
        if (backlog) {
            ORVANE_LOG_TRACE("受信を%1%します。", told.reading ? "停止" : "再開");
            try {
                backlog(told.reading, told.timers);
            } catch (...) {
                LogCurrentException("受信の停止・再開に失敗しました。");
            }
        }
        boost::recursive_mutex::scoped_lock lock(queueLock_);
        const Hold now = WantedHold();
        if (now == told) {
            return;
        }
        told = told_ = now;
        backlog = backlog_;
    }
}

void NotificationHandler::SetListener(RecognizerListener* listener)
{
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    ORVANE_LOG_TRACE("認識処理通知クラスの設定を行います。listener=%1%", static_cast<const void*>(listener));
    listener_ = listener;
}

void NotificationHandler::SetGrammarListener(std::string grammarId, GrammarListener* listener)
{
    boost::recursive_mutex::scoped_lock lock(registryLock_);
    try {
        auto entry = registry_.find(grammarId);
        if (entry == registry_.end()) {
            if (listener != nullptr) {
                ORVANE_LOG_TRACE("文法依存通知クラスを設定しました。grammar id=%1%, listener=%2%", grammarId,
                                 static_cast<const void*>(listener));
                registry_.emplace(grammarId, listener);
            }
        } else if (listener == nullptr) {
            ORVANE_LOG_TRACE("リスナを解除しました。grammar id=%1%", grammarId);
            registry_.erase(entry);
        } else {
            ORVANE_LOG_TRACE("リスナを更新しました。grammar id=%1%, 更新前=%2%, 更新後=%3%", grammarId,
                             static_cast<const void*>(entry->second), static_cast<const void*>(listener));
            entry->second = listener;
        }
    } catch (const std::exception& e) {
        ORVANE_LOG(4, "文法依存通知クラスの設定に失敗しました。原因=%1%", e.what());
        throw Error::Internal(std::string("文法依存通知クラスの設定に失敗しました。") + e.what());
    }
}

void NotificationHandler::RemoveGrammarListener(const std::string& grammarId, GrammarListener* listener)
{
    boost::recursive_mutex::scoped_lock lock(registryLock_);
    const auto entry = registry_.find(grammarId);
    if (entry != registry_.end() && entry->second == listener) {
        ORVANE_LOG_TRACE("リスナを解除しました。grammar id=%1%", grammarId);
        registry_.erase(entry);
    }
}

GrammarListener* NotificationHandler::GetGrammarListener(const std::string& grammarId)
{
    boost::recursive_mutex::scoped_lock lock(registryLock_);
    auto entry = registry_.find(grammarId);
    if (entry == registry_.end()) {
        entry = registry_.find(std::string());
    }
    if (entry == registry_.end()) {
        ORVANE_LOG_TRACE("文法クラスに対するリスナが設定されていません。grammar id=%1%", grammarId);
        return nullptr;
    }
    ORVANE_LOG_TRACE("認識結果通知対象 id=%1%, listener=%2%", entry->first, static_cast<const void*>(entry->second));
    return entry->second;
}

const std::string& NotificationHandler::GetTargetId(const NodePtr& notification)
{
    NodePtr id = FindTargetId(notification);
    if (!id) {
        throw Error::MissingElement("Notification", "Target/Id");
    }
    return id->text;
}

void NotificationHandler::Run()
{
    for (;;) {
        Queued next;
        {
            boost::recursive_mutex::scoped_lock lock(queueLock_);
            while (queue_.empty()) {
                if (!running_) {
                    return;
                }
                queueCondition_.wait(lock);
            }
            next = std::move(queue_.front());
            queue_.pop_front();
            // Still undelivered until the delivery ends: the timers stay held meanwhile.
            delivering_ = true;
        }
        if (next.notification) {
            Deliver(next.notification, next.results.get());
        } else if (next.task) {
            RunTask(next.task);
        }
        // The last notification of a large document takes the document with it.
        const std::size_t documentBytes = next.documentBytes;
        next = Queued();
        Utility::HeapRelease::AfterFree(documentBytes);
        bool changed = false;
        {
            boost::recursive_mutex::scoped_lock lock(queueLock_);
            delivering_ = false;
            queuedBytes_ -= std::min<std::uint64_t>(queuedBytes_, documentBytes);
            if (backlogged_ && queue_.size() <= kMaxQueued / 2 && queuedBytes_ <= kMaxQueuedBytes / 2) {
                backlogged_ = false;
            }
            changed = WantedHold() != told_;
        }
        if (changed) {
            TellBacklog();
        }
    }
}

void NotificationHandler::Deliver(const NodePtr& notification, Result::NbestReader* results)
{
    // A listener may throw anything; the thread goes on with the next notification.
    try {
        Dispatch(notification, results);
    } catch (...) {
        LogCurrentException("通知の処理中に例外が発生しました。");
    }
}

void NotificationHandler::Dispatch(const NodePtr& notification, Result::NbestReader* results)
{
    const NodePtr kindElement = notification->Child("Kind");
    if (!kindElement) {
        LogMalformed();
        return;
    }
    const std::string& kind = kindElement->text;
    const NodePtr recognition = notification->Child("RecognitionID");
    const std::string recognitionId = recognition ? recognition->text : std::string();
    const NodePtr arguments = notification->Child("ArgumentList");

    const bool startPoint = kind == "GrammarListener::StartPoint";
    const bool endPoint = kind == "GrammarListener::EndPoint";
    const bool tempPoint = kind == "GrammarListener::TempPoint";
    if (startPoint || endPoint || tempPoint) {
        if (!arguments || !FindTargetId(notification)) {
            LogMalformed();
            return;
        }
        const std::string& grammarId = GetTargetId(notification);
        if (startPoint) {
            NotifyStartPoint(grammarId, arguments);
        } else if (endPoint) {
            NotifyEndPoint(grammarId, recognitionId, arguments, results);
        } else {
            NotifyTempPoint(grammarId, recognitionId, arguments, results);
        }
    } else if (kind == "RecognizerListener::SentenceEnd") {
        NotifySentenceEnd();
    } else if (kind == "RecognizerListener::Completed") {
        NotifyCompleted();
    } else if (kind == "RecognizerListener::Error" || kind == "RecognizerListener::Match") {
        if (!arguments) {
            LogMalformed();
        } else if (kind == "RecognizerListener::Error") {
            NotifyError(arguments);
        } else {
            NotifyPatternMatch(arguments);
        }
    } else {
        ORVANE_LOG(3, "通知のメソッド呼び出しの種類が不正です。kind=%1%", kind);
    }
}

void NotificationHandler::NotifyStartPoint(const std::string& grammarId, const NodePtr& arguments)
{
    NodePtr time;
    int doubles = 0;
    for (const NodePtr& child : arguments->children) {
        if (child && child->name == "Double") {
            time = child;
            ++doubles;
        }
    }
    if (doubles != 1) {
        LogMalformed();
        return;
    }
    WithGrammarListener(grammarId, [&](GrammarListener& listener) {
        const bool delivered = Succeeds([&] {
            const double point = detail::ReadDouble(time->text);
            ORVANE_LOG_TRACE("文の開始位置を通知します。");
            listener.StartPoint(point);
        });
        if (!delivered) {
            const char* const failure = "文の開始位置の通知に失敗しました。";
            ReportFailure(failure, Utility::detail::FormatText("%1%grammar id=%2%", failure, grammarId));
        }
    });
}

template <typename Call>
void NotificationHandler::WithGrammarListener(const std::string& grammarId, const Call& deliver)
{
    boost::recursive_mutex::scoped_lock lock(registryLock_);
    GrammarListener* listener = GetGrammarListener(grammarId);
    if (listener != nullptr) {
        deliver(*listener);
    }
}

void NotificationHandler::NotifyEndPoint(const std::string& grammarId, const std::string& recognitionId,
                                         const NodePtr& arguments, Result::NbestReader* results)
{
    static const ResultEvent kEvent = {&GrammarListener::EndPoint, "文の終了位置を通知します。",
                                       "文の終了位置の通知に失敗しました。",
                                       "文の終了位置の通知に失敗しました。grammar id=%1%"};
    NotifyResult(kEvent, grammarId, recognitionId, arguments, results);
}

void NotificationHandler::NotifyTempPoint(const std::string& grammarId, const std::string& recognitionId,
                                          const NodePtr& arguments, Result::NbestReader* results)
{
    static const ResultEvent kEvent = {&GrammarListener::TempPoint, "暫定結果位置を通知します。",
                                       "暫定結果位置の通知に失敗しました。",
                                       "暫定結果位置の通知に失敗しました。grammar id=%1%"};
    NotifyResult(kEvent, grammarId, recognitionId, arguments, results);
}

void NotificationHandler::NotifyResult(const ResultEvent& event, const std::string& grammarId,
                                       const std::string& recognitionId, const NodePtr& arguments,
                                       Result::NbestReader* results)
{
    const NodePtr time = arguments->Child("Double");
    const NodePtr nbest = arguments->Child("Nbest");
    if (arguments->children.size() != 2 || !time || !nbest) {
        LogMalformed();
        return;
    }
    WithGrammarListener(grammarId, [&](GrammarListener& listener) {
        try {
            const double point = detail::ReadDouble(time->text);
            const boost::shared_ptr<Result::NbestImpl> read =
                results != nullptr ? results->Result(*nbest) : boost::shared_ptr<Result::NbestImpl>();
            detail::Released<Result::Nbest> result(read ? new Result::Nbest(read) : new Result::Nbest(nbest));
            ORVANE_LOG_TRACE(event.notice);
            (listener.*event.deliver)(point, recognitionId.c_str(), result.get());
        } catch (Orvane::Exception* error) {
            // The result is gone with the unwinding; the error becomes the listener's.
            detail::Released<Orvane::Exception> thrown(error);
            TellError(Exception::CopyOf(*thrown));
        } catch (...) {
            ReportFailure(event.failure, Utility::detail::FormatText(event.failureLog, grammarId));
        }
    });
}

void NotificationHandler::NotifySentenceEnd()
{
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    if (listener_ != nullptr) {
        ORVANE_LOG_TRACE("文の終了を通知します。");
        listener_->SentenceEnd();
    }
}

void NotificationHandler::NotifyCompleted()
{
    CallHook(nullptr);
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    if (listener_ != nullptr) {
        ORVANE_LOG_TRACE("認識処理の完了を通知します。");
        listener_->Completed();
    }
}

void NotificationHandler::NotifyError(const NodePtr& arguments)
{
    const NodePtr element = arguments->Child("Exception");
    if (!element) {
        LogMalformed();
        return;
    }
    detail::Released<Exception> error;
    try {
        error.reset(new Exception(element));
    } catch (const std::exception&) {
        LogMalformed();
        return;
    }
    CallHook(error.get());
    ORVANE_LOG_TRACE("認識処理のエラーを通知します。");
    TellError(error.release());
}

void NotificationHandler::TellError(Exception* error)
{
    detail::Released<Exception> owned(error);
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    if (listener_ == nullptr) {
        return;
    }
    // From the call on the error is the listener's, unless it leaves it to the default.
    struct AfterCall {
        Exception* handed;
        ~AfterCall()
        {
            if (UnhandledError::IsMarked(handed)) {
                handed->Release();
            }
            UnhandledError::Clear();
        }
    } afterCall{owned.release()};
    UnhandledError::Clear();
    listener_->Error(afterCall.handed);
}

void NotificationHandler::NotifyPatternMatch(const NodePtr& arguments)
{
    const NodePtr match = arguments->Child("Match");
    if (arguments->children.size() != 1 || !match) {
        LogMalformed();
        return;
    }
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    // Reading errors and the listener's own are reported alike.
    const bool delivered = Succeeds([&] {
        detail::Released<Result::Match> result(new Result::Match(match));
        if (listener_ != nullptr) {
            ORVANE_LOG_TRACE("音声パターンマッチ結果を通知します。");
            listener_->Match(result.get());
        }
    });
    if (!delivered) {
        const char* const failure = "音声パターンマッチの通知に失敗しました。";
        ReportFailure(failure, failure);
    }
}

void NotificationHandler::ReportFailure(const char* failure, const std::string& logText)
{
    std::cout << failure << std::endl;
    boost::recursive_mutex::scoped_lock lock(listenerLock_);
    ORVANE_LOG(3, logText.c_str());
    TellError(Error::Internal(failure));
}

void NotificationHandler::CallHook(Exception* error)
{
    CompletionHook hook;
    {
        boost::lock_guard<boost::mutex> lock(hookLock_);
        hook = hook_;
    }
    if (!hook) {
        return;
    }
    try {
        hook(error);
    } catch (...) {
        LogCurrentException("認識処理の完了通知に失敗しました。");
    }
}

} // namespace Client
} // namespace Orvane
