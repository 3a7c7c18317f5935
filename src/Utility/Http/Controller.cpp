#include "Utility/Http/Controller.h"

#include <cerrno>
#include <exception>
#include <utility>

#include <boost/asio/error.hpp>

#include "Utility/ErrorCategory.h"
#include "Utility/Http/Errors.h"
#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Tcp/Errors.h"

namespace Orvane {
namespace Utility {
namespace Http {

namespace {

typedef boost::recursive_mutex::scoped_lock StateLock;

static_assert(Tcp::WsConnection::kMaxMessageSize == Parser::kMaxMessage,
              "both routes take messages up to the same size");

// A thread object let go of by its own thread is still running: it is detached, never
// destroyed joinable.
struct ThreadDeleter {
    void operator()(boost::thread* thread) const
    {
        if (thread->joinable()) {
            thread->detach();
        }
        delete thread;
    }
};

// End of stream and reset end the connection normally; anything else is an error.
bool IsClose(const boost::system::error_code& error)
{
    return error == boost::asio::error::eof ||
           error == boost::system::error_code(ECONNRESET, boost::system::system_category());
}

boost::system::error_code TimedOut()
{
    return boost::system::error_code(ETIMEDOUT, boost::system::system_category());
}

boost::system::error_code PellumError(int value)
{
    return boost::system::error_code(value, ErrorCategory::GetInstance());
}

// A message over the size limit fails as the parser's refusal does, whichever layer found it.
int ReceiveFailureKind(const boost::system::error_code& error)
{
    return error == PellumError(ErrorCategory::MessageTooLarge) ? Controller::FailureResponseWait
                                                                 : Controller::FailureReceive;
}

template <typename Listener>
void Tell(const boost::shared_ptr<Listener>& listener, bool close, int kind, const boost::system::error_code& error)
{
    if (!listener) {
        return;
    }
    // A failing listener must not keep the other one from hearing of the end.
    try {
        if (close) {
            listener->OnClosed();
        } else {
            listener->OnError(kind, error);
        }
    } catch (...) {
        ORVANE_LOG_TRACE("HTTP制御処理のリスナ呼び出しで例外が発生しました。原因=[%1%]", Tcp::CurrentExceptionText());
    }
}

} // namespace

Controller::Controller(boost::shared_ptr<Tcp::Connection> connection,
                       boost::shared_ptr<Tcp::WsConnection> wsConnection, const std::string& userAgent,
                       int receiveTimer, int sendTimer, int responseTimer)
    : connection_(std::move(connection)), wsConnection_(std::move(wsConnection)), userAgent_(userAgent),
      receiveTimer_(receiveTimer), sendTimer_(sendTimer), responseTimer_(responseTimer),
      receiveFailure_(0), repliedArmed_(0), messageStarted_(false), progressMark_(0), arriving_(false),
      arrivingMark_(0),
      webSocket_(wsConnection_ != nullptr),
      state_(StateCreated), joining_(false)
{
}

template <typename ConnectionPointer>
boost::shared_ptr<Controller> Controller::Create(const ConnectionPointer& tcp,
                                                 const boost::shared_ptr<Tcp::WsConnection>& ws,
                                                 const std::string& userAgent, int receiveTimer, int sendTimer,
                                                 int responseTimer)
{
    try {
        const boost::shared_ptr<Controller> controller(
            new Controller(tcp, ws, userAgent, receiveTimer, sendTimer, responseTimer));
        controller->Initialize();
        return controller;
    } catch (const std::exception& e) {
        throw MakeError(Errors::kControllerCreateFailed, e.what());
    }
}

boost::shared_ptr<Controller> Controller::CreateInstance(boost::shared_ptr<Tcp::Connection> connection,
                                                         const std::string& userAgent, int receiveTimer,
                                                         int sendTimer, int responseTimer)
{
    if (!connection) {
        throw MakeError(Errors::kConnectionArgument);
    }
    return Create(connection, boost::shared_ptr<Tcp::WsConnection>(), userAgent, receiveTimer, sendTimer,
                  responseTimer);
}

boost::shared_ptr<Controller> Controller::CreateInstance(boost::shared_ptr<Tcp::WsConnection> connection,
                                                         const std::string& userAgent, int receiveTimer,
                                                         int sendTimer, int responseTimer)
{
    if (!connection) {
        throw MakeError(Errors::kWsConnectionArgument);
    }
    return Create(boost::shared_ptr<Tcp::Connection>(), connection, userAgent, receiveTimer, sendTimer,
                  responseTimer);
}

Controller::~Controller() { Stop(); }

template <typename Action>
auto Controller::WithConnection(const Action& action) -> decltype(action(std::declval<Tcp::Connection&>()))
{
    if (webSocket_) {
        return action(*wsConnection_);
    }
    return action(*connection_);
}

void Controller::Initialize()
{
    try {
        const std::string peer = WithConnection([](auto& connection) { return connection.GetRemoteHost(); });
        requester_ = Requester::CreateInstance(userAgent_);
        respondent_ = Respondent::CreateInstance(peer, userAgent_);
    } catch (const std::exception& e) {
        throw MakeError(Errors::kRequesterCreateFailed, e.what());
    }
}

Tcp::TimeoutFunction Controller::Callback(void (Controller::*handler)())
{
    // The connection keeps its functions beyond the controller's life: they hold no reference.
    const boost::weak_ptr<Controller> weak = weak_from_this();
    return [weak, handler] {
        if (const boost::shared_ptr<Controller> self = weak.lock()) {
            ((*self).*handler)();
        }
    };
}

void Controller::Start()
{
    std::string failure;
    {
        StateLock lock(stateMutex_);
        if (state_ != StateCreated) {
            throw MakeError(Errors::kNotStartable);
        }
        state_ = StateRunning;
        ORVANE_LOG_TRACE("HTTP制御処理を開始します。");
        try {
            const boost::shared_ptr<Controller> self = shared_from_this();
            const boost::weak_ptr<Controller> weak = self;
            receiveTimeout_ = Callback(&Controller::HandleTimeoutReceive);
            responseTimeout_ = Callback(&Controller::HandleTimeoutResponseWait);
            ArmReceiveTimer();
            requester_->SetSendFunction([weak](boost::shared_ptr<Tcp::Buffer> message) {
                const boost::shared_ptr<Controller> controller = weak.lock();
                if (!controller) {
                    throw MakeError(Errors::kNotSendable);
                }
                controller->SendRequest(message);
            });
            respondent_->SetSendFunction([weak](boost::shared_ptr<Tcp::Buffer> message) {
                const boost::shared_ptr<Controller> controller = weak.lock();
                if (!controller) {
                    throw MakeError(Errors::kNotSendable);
                }
                controller->SendResponse(message);
            });

            boost::mutex::scoped_lock threadLock(threadMutex_);
            const boost::shared_ptr<boost::thread> thread(new boost::thread([self] { self->Run(); }),
                                                          ThreadDeleter());
            thread_ = thread;
            threadObserver_ = thread;
            return;
        } catch (const std::exception& e) {
            failure = e.what();
        }
    }
    // Stopped with no lock held: Stop closes the connection.
    Stop();
    throw MakeError(Errors::kThreadStartFailed, failure);
}

void Controller::Run()
{
    try {
        ORVANE_LOG_TRACE("HTTP制御処理のメイン処理を開始します。");
        const boost::weak_ptr<Controller> weak = weak_from_this();
        const Tcp::ReceivedFunction received = [weak](const unsigned char* data, unsigned int size,
                                                      unsigned int count, const boost::system::error_code& error) {
            if (const boost::shared_ptr<Controller> self = weak.lock()) {
                self->HandleRecv(data, size, count, error);
            }
        };
        if (webSocket_) {
            wsConnection_->SetArrivingFunction([weak](std::uint64_t total, std::uint64_t fresh) {
                if (const boost::shared_ptr<Controller> self = weak.lock()) {
                    self->HandleProgress(total, fresh);
                }
            });
        }
        WithConnection([&](auto& connection) { connection.Run(received); });
    } catch (...) {
        // Whatever ends the loop with an exception is the engine's failure.
        try {
            ORVANE_LOG_TRACE("HTTP制御処理中に例外が発生しました。原因=[%1%]", Tcp::CurrentExceptionText());
            const int failure = receiveFailure_;
            HandleError(FailureResponseWait, PellumError(failure != 0 ? failure : ErrorCategory::ThreadFailed));
        } catch (...) {
        }
    }
    DropThread();
    Stop();
    try {
        ORVANE_LOG_TRACE("HTTP制御処理のメイン処理を終了します。");
    } catch (...) {
    }
}

void Controller::Stop()
{
    try {
        bool closing = false;
        bool wasRunning = false;
        {
            StateLock lock(stateMutex_);
            if (state_ != StateStopped) {
                ORVANE_LOG_TRACE("HTTP制御処理を終了します。");
                closing = true;
                wasRunning = state_ == StateRunning;
                state_ = StateStopped;
            }
        }
        if (closing) {
            // Closed with no lock of the controller held: a WebSocket Close waits for the
            // WebSocket thread, which may be delivering to a listener that calls in here.
            try {
                WithConnection([](auto& connection) { connection.Close(); });
            } catch (const std::exception& e) {
                ORVANE_LOG_TRACE("HTTP制御の終了処理中に例外が発生しました。原因=[%1%]", e.what());
            }
            if (wasRunning) {
                Dispatch(FailureResponseWait, boost::asio::error::eof);
            }
            StateLock lock(stateMutex_);
            requester_->SetListener(boost::shared_ptr<ResponseListener>());
            respondent_->SetListener(boost::shared_ptr<RequestListener>());
        }
        JoinThread();
    } catch (const std::exception& e) {
        try {
            ORVANE_LOG_TRACE("HTTP制御の終了処理中に例外が発生しました。原因=[%1%]", e.what());
        } catch (...) {
        }
    } catch (...) {
    }
}

void Controller::DropThread()
{
    boost::shared_ptr<boost::thread> own;
    {
        boost::mutex::scoped_lock lock(threadMutex_);
        own.swap(thread_);
    }
    // Released outside the lock; a Stop that is joining keeps its own reference.
}

void Controller::JoinThread()
{
    // On the event-loop thread (the controller thread over TCP; over WebSocket the WebSocket
    // thread, which the controller thread's Run waits for) joining would wait for itself.
    if (WithConnection([](auto& connection) { return connection.IsEventLoopThread(); })) {
        return;
    }
    boost::unique_lock<boost::mutex> lock(threadMutex_);
    const boost::shared_ptr<boost::thread> thread = threadObserver_.lock();
    if (!thread || thread->get_id() == boost::this_thread::get_id()) {
        return;
    }
    // One thread joins; others wait until it has.
    if (joining_) {
        while (joining_) {
            threadJoined_.wait(lock);
        }
        return;
    }
    if (!thread->joinable()) {
        return;
    }
    joining_ = true;
    lock.unlock();
    try {
        thread->join();
    } catch (...) {
        lock.lock();
        joining_ = false;
        threadJoined_.notify_all();
        throw;
    }
    lock.lock();
    joining_ = false;
    threadJoined_.notify_all();
}

void Controller::SendRequest(boost::shared_ptr<Tcp::Buffer> message)
{
    // The requester counts a request that awaits its reply before handing it here.
    const std::uint64_t replied = requester_->RepliedRequestsSent();
    Send(message, true);
    // A reply is awaited from this request on: the response-wait time counts from here to
    // the reply's last byte, whatever else arrives meanwhile.
    if (repliedArmed_.exchange(replied) != replied) {
        ArmResponseWaitTimer();
    }
}

void Controller::SendResponse(boost::shared_ptr<Tcp::Buffer> message) { Send(message, false); }

void Controller::Send(const boost::shared_ptr<Tcp::Buffer>& message, bool request)
{
    // Held through the hand-over, so messages reach the connection in the order of the
    // lock; the connection only queues them and calls nothing back here.
    StateLock lock(stateMutex_);
    if (state_ != StateRunning) {
        throw MakeError(Errors::kNotSendable);
    }
    const boost::weak_ptr<Controller> weak = weak_from_this();
    const Tcp::SendData::CompletionFunction completion =
        [weak, request](const unsigned char*, unsigned int, const boost::system::error_code& error) {
            if (const boost::shared_ptr<Controller> self = weak.lock()) {
                self->HandleSend(request, error);
            }
        };
    const int sendTimer = sendTimer_;
    WithConnection([&](auto& connection) { connection.Send(message, sendTimer, kChunkSize, completion); });
}

void Controller::SetReceiveTimer(int milliseconds)
{
    ORVANE_LOG_TRACE("受信タイマを変更します。タイマ値=%1%", milliseconds);
    receiveTimer_ = milliseconds;
}

void Controller::SetSendTimer(int milliseconds)
{
    ORVANE_LOG_TRACE("送信タイマを変更します。タイマ値=%1%", milliseconds);
    sendTimer_ = milliseconds;
}

void Controller::SetResponseTimer(int milliseconds)
{
    ORVANE_LOG_TRACE("レスポンス応答待ちタイマを変更します。タイマ値=%1%", milliseconds);
    responseTimer_ = milliseconds;
}

bool Controller::IsStopped()
{
    StateLock lock(stateMutex_);
    return state_ == StateStopped;
}

void Controller::ArmReceiveTimer()
{
    const int milliseconds = receiveTimer_;
    WithConnection([&](auto& connection) { connection.StartReceiveTimer(milliseconds, receiveTimeout_); });
}

void Controller::ArmResponseWaitTimer()
{
    // A failure to arm it is ignored.
    try {
        const int milliseconds = responseTimer_;
        WithConnection([&](auto& connection) { connection.StartEtcTimer(milliseconds, responseTimeout_); });
    } catch (const std::exception&) {
    }
}

void Controller::HoldReceive(bool hold, bool holdTimers)
{
    WithConnection([&](auto& connection) { connection.PauseReading(hold, holdTimers); });
}

void Controller::HandleRecv(const unsigned char* data, unsigned int size, unsigned int,
                            const boost::system::error_code& error)
{
    if (error) {
        // The end of the stream in the middle of a message is that message's failure.
        HandleError(ReceiveFailureKind(error),
                    (messageStarted_ || arriving_) && IsClose(error) ? PellumError(ErrorCategory::MessageTruncated) : error);
        return;
    }
    // Nothing at all arriving for the response-wait time is a failure. While a reply is
    // awaited nothing re-arms it: the request armed it, and neither the server's own
    // requests nor a reply that trickles in may keep a remote call waiting longer.
    if (!requester_->IsAwaitingReply()) {
        ArmResponseWaitTimer();
    }
    if (size == 0 || IsStopped()) {
        return;
    }
    bool reply = false;
    bool completed = false;
    bool delivering = false;
    unsigned int consumed = 0;
    try {
        consumed = parser_.ParseMessages(data, size, [&](unsigned int end) {
            // A listener that stopped the controller has had its last message.
            if (IsStopped()) {
                return;
            }
            completed = true;
            // The receive timer stops with the last message and starts anew for one that
            // follows.
            if (end == size) {
                WithConnection([](auto& connection) { connection.StopReceiveTimer(); });
            } else {
                ArmReceiveTimer();
            }
            delivering = true;
            if (parser_.GetKind() == Parser::KindRequest) {
                respondent_->NotifyReceived(*parser_.CompletedRequest());
            } else {
                reply = true;
                requester_->NotifyReceived(*parser_.CompletedResponse());
            }
            delivering = false;
        });
    } catch (...) {
        // Passed on to the connection, whose loop then ends; Run reports it.
        if (!delivering) {
            receiveFailure_ =
                parser_.LimitExceeded() ? ErrorCategory::MessageTooLarge : ErrorCategory::MessageMalformed;
        }
        throw;
    }
    // The delivered messages leave the buffer in one step: dropping each one on its own
    // would move the rest of a long pipelined read once per message.
    if (consumed != 0) {
        WithConnection([&](auto& connection) { connection.ConsumeReceived(consumed); });
    }
    if (IsStopped()) {
        return;
    }
    // The bytes of the message still arriving.
    const unsigned int partial = size - consumed;
    if (partial != 0) {
        if (!completed && !messageStarted_) {
            // Its first bytes: its time starts now.
            ArmReceiveTimer();
            progressMark_ = partial;
        } else if (completed) {
            // Its time started with the delivery of the message before it.
            progressMark_ = partial;
        } else if (partial - progressMark_ >= kReceiveProgress) {
            // Still arriving at a useful rate: it gets another receive time.
            ArmReceiveTimer();
            progressMark_ = partial;
        }
        if (parser_.GetState() >= Parser::StateBodyWait) {
            // Its length is known: the buffer grows with its bytes up to that size.
            const unsigned int length = parser_.GetMessageEnd();
            WithConnection([&](auto& connection) { connection.ExpectReceived(length); });
        }
    }
    messageStarted_ = partial != 0;
    // A reply ended the wait: from here on the time counts from the last read again.
    if (reply && !requester_->IsAwaitingReply()) {
        ArmResponseWaitTimer();
    }
}

void Controller::HandleProgress(std::uint64_t total, std::uint64_t fresh)
{
    {
        StateLock lock(stateMutex_);
        if (state_ != StateRunning) {
            return;
        }
    }
    arriving_ = total != 0;
    if (fresh == 0) {
        return;
    }
    if (!requester_->IsAwaitingReply()) {
        ArmResponseWaitTimer();
    }
    if (total == fresh) {
        // The message's first bytes: its time starts now, unless it carries on an HTTP
        // message whose time already runs.
        arrivingMark_ = 0;
        if (!messageStarted_) {
            ArmReceiveTimer();
            arrivingMark_ = total;
        }
    }
    if (total - arrivingMark_ >= kReceiveProgress) {
        ArmReceiveTimer();
        arrivingMark_ = total;
    }
}

void Controller::HandleSend(bool, const boost::system::error_code& error)
{
    if (error) {
        HandleError(FailureSend, error);
    }
}

void Controller::HandleTimeoutReceive()
{
    ORVANE_LOG_TRACE("HTTP制御処理で受信タイムアウトが発生しました。");
    // Runs on the thread of the receive step, so the flag is that step's last word.
    HandleError(FailureReceive,
                messageStarted_ || arriving_ ? PellumError(ErrorCategory::MessageStalled) : TimedOut());
}

void Controller::HandleTimeoutResponseWait()
{
    ORVANE_LOG_TRACE("HTTP制御処理でレスポンス応答待ちタイムアウトが発生しました。");
    HandleError(FailureResponseWait, TimedOut());
}

void Controller::HandleError(int kind, const boost::system::error_code& error)
{
    {
        StateLock lock(stateMutex_);
        if (state_ != StateRunning) {
            return;
        }
        state_ = StateFailed;
    }
    // Nothing can be sent or delivered any more: the connection closes at once, and with
    // it goes a message cut short by the failure, rather than when the owner stops.
    try {
        WithConnection([](auto& connection) { connection.Close(); });
    } catch (const std::exception& e) {
        ORVANE_LOG_TRACE("HTTP制御の終了処理中に例外が発生しました。原因=[%1%]", e.what());
    }
    Dispatch(kind, error);
}

void Controller::Dispatch(int kind, const boost::system::error_code& error)
{
    const bool close = IsClose(error);
    // Both listeners are taken before either is told: one that stops the controller from
    // its call removes the other, which must still hear of this end.
    boost::shared_ptr<ResponseListener> responseListener;
    boost::shared_ptr<RequestListener> requestListener;
    if (requester_) {
        requester_->SetState(Requester::StateEnded);
        responseListener = requester_->GetListener();
    }
    if (respondent_) {
        respondent_->SetState(Respondent::StateEnded);
        requestListener = respondent_->GetListener();
    }
    Tell(responseListener, close, kind, error);
    Tell(requestListener, close, kind, error);
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
