#include "Utility/Tcp/WsConnection.h"

#include <cerrno>
#include <deque>
#include <iostream>
#include <memory>
#include <system_error>

#include <boost/asio/error.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/chrono.hpp>
#include <boost/lexical_cast.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_client.hpp>

#include "Utility/ErrorCategory.h"
#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Tcp/ConnectionTimers.h"
#include "Utility/Tcp/CountingTlsSocket.h"
#include "Utility/Tcp/Errors.h"
#include "Utility/Tcp/ReceiveStore.h"
#include "Utility/Tcp/WsCloseCategory.h"
#include "Utility/Tcp/WsFrameCounter.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

namespace {

// websocketpp's TLS client, reading through the counting socket and taking messages up to
// the HTTP parser's limit. A larger one is refused at its frame header: websocketpp sends
// the close 1009 (message too big) and drops the connection at once.
struct ClientConfig : public websocketpp::config::asio_tls_client {
    typedef ClientConfig type;
    struct transport_config : public websocketpp::config::asio_tls_client::transport_config {
        typedef CountingTlsSocket socket_type;
    };
    typedef websocketpp::transport::asio::endpoint<transport_config> transport_type;
    static const std::size_t max_message_size = WsConnection::kMaxMessageSize;
};

typedef websocketpp::client<ClientConfig> Client;
typedef websocketpp::lib::shared_ptr<boost::asio::ssl::context> ContextPointer;
typedef boost::recursive_mutex::scoped_lock Lock;
} // namespace

// Only the WebSocket thread runs the event loop. websocketpp serialises its own handlers
// on a strand, but asio's intermediate TLS steps run outside it, so a second thread in the
// loop would drive one TLS stream from two threads at once. Run therefore only hands the
// received function to the loop and waits for its end, and Close hands websocketpp's
// close to the loop.
//
// mutex_ (state) and sendMutex_ are each taken alone. No lock is held while websocketpp is
// asked to connect or to close, or while a function of the user runs.
class WsConnection::Impl {
public:
    explicit Impl(unsigned int receiveBufferSize);
    ~Impl();

    void Loop();
    void Start(const std::string& uri, const std::string& proxyUri, int timeout);
    void Run(const ReceivedFunction& received);
    void SetArrivingFunction(const ArrivingFunction& arriving);
    void Send(const boost::shared_ptr<Buffer>& buffer, int sendTimeout, unsigned int chunkSize,
              const SendData::CompletionFunction& completion);
    void StartReceiveTimer(int milliseconds, const TimeoutFunction& function);
    void StopReceiveTimer();
    void StartEtcTimer(int milliseconds, const TimeoutFunction& function);
    void PauseReading(bool paused, bool holdTimers);
    // True when this call closed the connection.
    bool Close();
    std::string GetRemoteHost();
    bool IsLoopThread();
    // Under the state mutex.
    bool IsClosed() const { return closed_; }

    boost::recursive_mutex mutex_;
    ReceiveStore receiveStore_;

private:
    void OnSocketInit(websocketpp::connection_hdl handle, boost::asio::ssl::stream<boost::asio::ip::tcp::socket>& socket);
    ContextPointer OnTlsInit(websocketpp::connection_hdl handle);
    void OnOpen(websocketpp::connection_hdl handle);
    void OnFail(websocketpp::connection_hdl handle);
    void OnClose(websocketpp::connection_hdl handle);
    void OnMessage(websocketpp::connection_hdl handle, Client::message_ptr message);
    // A read's bytes, before websocketpp handles them.
    void OnRead(const unsigned char* data, std::size_t size);
    // The next read starts: websocketpp has handled the bytes before it, delivered the
    // messages they completed, and what they brought of the next one is told now.
    void OnReadStart();
    // A read failed: the stream has ended. websocketpp tells of it only once its TLS
    // shutdown is over, which a server that sent no close_notify may hold for seconds.
    void OnReadEnd();
    // Tells the received function, once, of an end of the open connection that Close did
    // not start.
    void ReportEnd(Client::connection_type& connection);
    // What that end is for the controller.
    static boost::system::error_code EndOf(Client::connection_type& connection);
    // Starts a timer with `start`: `argumentError` for an empty function, 2 unless open,
    // `failure` when arming fails.
    void StartTimer(void (ConnectionTimers::*start)(int, const TimeoutFunction&), int milliseconds,
                    const TimeoutFunction& function, const ErrorText& argumentError, const ErrorText& failure);
    void HandleTimeout(const boost::system::error_code& error, const TimeoutFunction& function);
    // Asks websocketpp to close the connection; on the WebSocket thread only.
    void CloseConnection(const websocketpp::connection_hdl& handle);
    // Closes the socket and ends the loop, when the closing handshake has not ended within
    // the grace or cannot end; on the WebSocket thread only.
    void DropSocket(const websocketpp::connection_hdl& handle);
    // Installs the received function handed over by Run and delivers what arrived before;
    // does nothing when that was done already.
    void Install(const ReceivedFunction& received);
    // Tells the received function that the connection ended, or keeps it for Run.
    void DeliverEnd(const boost::system::error_code& error);
    // Delivers what arrived before Run installed the received function.
    void DeliverPending();
    // Records an exception that left a handler and stops the event loop; Run raises it.
    void Fail();
    // Inside websocketpp's read step (the message handler): stops reading when the
    // application asked for it or the send queue is full.
    void PauseIfDue();
    // Outside the read step, on the WebSocket thread: reads again when nothing holds the
    // reading any more, else looks at the send queue again a little later.
    void ResumeIfDue();
    // The bytes waiting in websocketpp's send queue.
    std::size_t Buffered(Client::connection_type& connection);
    // Looks at the send queue again in kSendQueuePoll ms; under the state mutex.
    void ArmSendQueuePoll();
    // The connection's websocketpp connection; null once it is gone.
    Client::connection_ptr OpenConnection();

    Client endpoint_;
    websocketpp::connection_hdl handle_;
    std::string remoteHost_;
    std::string verifyHost_;
    std::unique_ptr<ConnectionTimers> timers_;
    std::unique_ptr<OneShotTimer> sendQueuePoll_;
    // Armed by Close's request to websocketpp, cancelled when websocketpp has closed.
    std::unique_ptr<OneShotTimer> closeGrace_;
    ReceivedFunction received_;
    ArrivingFunction arriving_;
    // On the WebSocket thread only: the frames read, and whether a message still arriving
    // was told of last.
    WsFrameCounter frames_;
    bool arrivingTold_;
    std::deque<boost::shared_ptr<SendData>> sendQueue_;
    bool opened_;
    bool closed_;
    bool failed_;
    // The received function has been told of the end (or it waits in pendingEnd_).
    bool endReported_;
    bool pendingData_;
    boost::system::error_code pendingEnd_;
    std::string failCause_;
    int localCloseCode_;
    int verifyError_;
    bool loopFailed_;
    std::string loopFailure_;
    bool loopEnded_;
    // Set by Run until its received function is installed.
    bool installing_;
    // Reading asked to pause by the application, and reading paused in websocketpp. The
    // pause is only ever made inside the read step, so that no read is pending while it
    // holds; the resume is made outside it and starts the one next read.
    bool pauseWanted_;
    bool readPaused_;
    // websocketpp keeps a connection alive only through its pending operations: with no
    // read pending the paused connection is held here.
    Client::connection_ptr pausedConnection_;
    // The WebSocket thread while it runs the loop. Kept here rather than asked of the
    // thread object, which Close may be joining at the same time.
    boost::thread::id loopThread_;
    boost::mutex sendMutex_;
    boost::condition_variable_any stateChanged_;
};

WsConnection::Impl::Impl(unsigned int receiveBufferSize)
    : receiveStore_(receiveBufferSize), arrivingTold_(false), opened_(false), closed_(false), failed_(false),
      endReported_(false), pendingData_(false), localCloseCode_(websocketpp::close::status::abnormal_close),
      verifyError_(X509_V_OK), loopFailed_(false), loopEnded_(false), installing_(false), pauseWanted_(false), readPaused_(false)
{
    using websocketpp::lib::placeholders::_1;
    using websocketpp::lib::placeholders::_2;

    endpoint_.clear_access_channels(websocketpp::log::alevel::all);
    endpoint_.set_access_channels(websocketpp::log::alevel::app);
    endpoint_.set_error_channels(websocketpp::log::elevel::all);
    endpoint_.init_asio();
    endpoint_.start_perpetual();
    endpoint_.set_socket_init_handler(websocketpp::lib::bind(&Impl::OnSocketInit, this, _1, _2));
    endpoint_.set_tls_init_handler(websocketpp::lib::bind(&Impl::OnTlsInit, this, _1));
    endpoint_.set_open_handler(websocketpp::lib::bind(&Impl::OnOpen, this, _1));
    endpoint_.set_fail_handler(websocketpp::lib::bind(&Impl::OnFail, this, _1));
    endpoint_.set_close_handler(websocketpp::lib::bind(&Impl::OnClose, this, _1));
    endpoint_.set_message_handler(websocketpp::lib::bind(&Impl::OnMessage, this, _1, _2));
    ReadCountingStream::Observers observers;
    observers.read = [this](const unsigned char* data, std::size_t size) { OnRead(data, size); };
    observers.start = [this] { OnReadStart(); };
    observers.end = [this](const boost::system::error_code&) { OnReadEnd(); };
    endpoint_.SetReadObservers(observers);
    timers_.reset(new ConnectionTimers(endpoint_.get_io_service(),
                                       [this](const boost::system::error_code& e, const TimeoutFunction& function) {
                                           HandleTimeout(e, function);
                                       }));
    sendQueuePoll_.reset(new OneShotTimer(endpoint_.get_io_service()));
    closeGrace_.reset(new OneShotTimer(endpoint_.get_io_service()));
}

WsConnection::Impl::~Impl()
{
    // The timers go before the I/O service that the endpoint owns.
    timers_.reset();
    sendQueuePoll_.reset();
    closeGrace_.reset();
}

void WsConnection::Impl::Loop()
{
    {
        Lock lock(mutex_);
        loopThread_ = boost::this_thread::get_id();
    }
    try {
        endpoint_.run();
    } catch (...) {
        Fail();
    }
    {
        Lock lock(mutex_);
        loopEnded_ = true;
        loopThread_ = boost::thread::id();
    }
    stateChanged_.notify_all();
}

void WsConnection::Impl::Start(const std::string& uri, const std::string& proxyUri, int timeout)
{
    bool started = false;
    std::string failure;
    try {
        const websocketpp::uri_ptr location = websocketpp::lib::make_shared<websocketpp::uri>(uri);
        websocketpp::lib::error_code error;
        Client::connection_ptr connection;
        // The library reads fields of a URI it failed to parse: refuse such a URI first.
        if (!location->get_valid()) {
            error = websocketpp::error::make_error_code(websocketpp::error::invalid_uri);
        } else {
            {
                Lock lock(mutex_);
                verifyHost_ = location->get_host();
            }
            connection = endpoint_.get_connection(location, error);
        }
        if (error) {
            endpoint_.get_alog().write(websocketpp::log::alevel::app, error.message());
            failure = error.message();
        } else {
            {
                Lock lock(mutex_);
                remoteHost_ = location->get_host() + ":" + boost::lexical_cast<std::string>(location->get_port());
            }
            if (!proxyUri.empty()) {
                connection->set_proxy(proxyUri, error);
            }
            if (error) {
                std::cerr << error.message() << std::endl;
                failure = error.message();
            } else {
                endpoint_.connect(connection);
                Lock lock(mutex_);
                handle_ = connection->get_handle();
                started = true;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        failure = e.what();
    } catch (...) {
        std::cerr << "other exception" << std::endl;
        failure = "other exception";
    }

    boost::unique_lock<boost::recursive_mutex> lock(mutex_);
    if (!started) {
        throw MakeError(Errors::kWsConnectFailed, remoteHost_.empty() ? uri : remoteHost_, failure, localCloseCode_);
    }
    if (timeout <= 0 || opened_) {
        return;
    }
    const boost::chrono::steady_clock::time_point deadline =
        boost::chrono::steady_clock::now() + boost::chrono::milliseconds(timeout);
    while (!opened_ && !failed_ && !closed_) {
        if (stateChanged_.wait_until(lock, deadline) == boost::cv_status::timeout) {
            break;
        }
    }
    if (opened_) {
        return;
    }
    const std::string cause =
        failed_ ? failCause_ : boost::system::error_code(boost::asio::error::timed_out).message();
    throw MakeError(Errors::kWsConnectFailed, remoteHost_, cause, localCloseCode_);
}

void WsConnection::Impl::SetArrivingFunction(const ArrivingFunction& arriving)
{
    Lock lock(mutex_);
    arriving_ = arriving;
}

void WsConnection::Impl::Run(const ReceivedFunction& received)
{
    if (!received) {
        throw MakeError(Errors::kReceivedCallbackArgument);
    }
    bool loopOver = false;
    {
        Lock lock(mutex_);
        if (closed_) {
            throw MakeError(Errors::kNotConnected);
        }
        installing_ = true;
        loopOver = loopEnded_;
    }
    // Installed on the WebSocket thread, so that what arrived before is delivered ahead of
    // anything that arrives later.
    if (!loopOver) {
        boost::asio::post(endpoint_.get_io_service(), [this, received] { Install(received); });
    }
    {
        boost::unique_lock<boost::recursive_mutex> lock(mutex_);
        while (!loopEnded_) {
            stateChanged_.wait(lock);
        }
    }
    // A loop that ended before it took the function runs no handler any more: what
    // arrived is delivered here.
    Install(received);
    Lock lock(mutex_);
    if (loopFailed_) {
        received_.clear();
        throw MakeError(Errors::kRunFailed, remoteHost_, loopFailure_);
    }
}

void WsConnection::Impl::Send(const boost::shared_ptr<Buffer>& buffer, int sendTimeout, unsigned int chunkSize,
                              const SendData::CompletionFunction& completion)
{
    if (!buffer) {
        throw MakeError(Errors::kBufferArgument);
    }
    try {
        const boost::shared_ptr<SendData> data = SendData::CreateInstance(buffer, sendTimeout, chunkSize, completion);
        websocketpp::connection_hdl handle;
        {
            Lock lock(mutex_);
            if (closed_ || !opened_) {
                throw MakeError(Errors::kNotConnected);
            }
            handle = handle_;
        }
        boost::mutex::scoped_lock sending(sendMutex_);
        sendQueue_.push_back(data);
        struct Remove {
            std::deque<boost::shared_ptr<SendData>>& queue;
            ~Remove() { queue.pop_back(); }
        } remove{sendQueue_};

        const std::uint64_t left = buffer->dataLength >= data->sent ? buffer->dataLength - data->sent : 0;
        const std::uint64_t chunk = chunkSize == 0 ? left : std::min<std::uint64_t>(chunkSize, left);
        if (data->sent + chunk > buffer->storage.size()) {
            throw MakeError(Errors::kChunkOutOfRange, static_cast<unsigned int>(buffer->storage.size()), data->sent,
                            static_cast<unsigned int>(chunk));
        }
        websocketpp::lib::error_code error;
        endpoint_.send(handle, buffer->storage.data(), buffer->dataLength, websocketpp::frame::opcode::binary, error);
        if (error) {
            throw std::system_error(error);
        }
    } catch (const std::exception& e) {
        throw MakeError(Errors::kWsSendFailed, GetRemoteHost(), e.what());
    }
}

void WsConnection::Impl::StartReceiveTimer(int milliseconds, const TimeoutFunction& function)
{
    StartTimer(&ConnectionTimers::StartReceive, milliseconds, function, Errors::kReceiveTimeoutCallbackArgument,
               Errors::kWsStartReceiveTimerFailed);
}

void WsConnection::Impl::StopReceiveTimer()
{
    Lock lock(mutex_);
    try {
        timers_->StopReceive();
    } catch (const std::exception& e) {
        throw MakeError(Errors::kWsStopReceiveTimerFailed, remoteHost_, e.what());
    }
}

void WsConnection::Impl::StartEtcTimer(int milliseconds, const TimeoutFunction& function)
{
    StartTimer(&ConnectionTimers::StartUser, milliseconds, function, Errors::kEtcTimeoutCallbackArgument,
               Errors::kWsStartEtcTimerFailed);
}

void WsConnection::Impl::StartTimer(void (ConnectionTimers::*start)(int, const TimeoutFunction&), int milliseconds,
                                    const TimeoutFunction& function, const ErrorText& argumentError,
                                    const ErrorText& failure)
{
    if (!function) {
        throw MakeError(argumentError);
    }
    Lock lock(mutex_);
    if (closed_ || !opened_) {
        throw MakeError(Errors::kNotConnected);
    }
    try {
        (timers_.get()->*start)(milliseconds, function);
    } catch (const std::exception& e) {
        throw MakeError(failure, remoteHost_, e.what());
    }
}

void WsConnection::Impl::HandleTimeout(const boost::system::error_code& error, const TimeoutFunction& function)
{
    try {
        if (error == boost::asio::error::operation_aborted) {
            return;
        }
        if (error) {
            throw MakeError(Errors::kTimerWaitFailed, GetRemoteHost());
        }
        // The loop ends once the time-out has been reported; then Run returns.
        endpoint_.stop();
        function();
    } catch (...) {
        Fail();
    }
}

bool WsConnection::Impl::Close()
{
    websocketpp::connection_hdl handle;
    {
        Lock lock(mutex_);
        if (closed_) {
            return false;
        }
        ORVANE_LOG_TRACE("コネクションを切断します。リモートホスト=%1%", remoteHost_);
        closed_ = true;
        receiveStore_.Discard();
        try {
            timers_->CancelAll();
        } catch (const std::exception&) {
        }
        try {
            sendQueuePoll_->Cancel();
        } catch (const std::exception&) {
        }
        handle = handle_;
    }
    stateChanged_.notify_all();

    endpoint_.stop_perpetual();
    // websocketpp's close writes connection state that its handlers read without a lock.
    if (IsLoopThread()) {
        CloseConnection(handle);
    } else {
        boost::asio::post(endpoint_.get_io_service(), [this, handle] { CloseConnection(handle); });
    }
    return true;
}

void WsConnection::Impl::CloseConnection(const websocketpp::connection_hdl& handle)
{
    try {
        bool ended = false;
        {
            Lock lock(mutex_);
            ended = endReported_;
        }
        if (ended) {
            // Nothing more can be read: no closing handshake would end.
            DropSocket(handle);
            return;
        }
        // The closing handshake reads the server's close frame.
        Client::connection_ptr paused;
        {
            Lock lock(mutex_);
            if (readPaused_) {
                readPaused_ = false;
                paused.swap(pausedConnection_);
            }
        }
        if (paused) {
            paused->handle_resume_reading();
        }
        {
            // websocketpp waits for the server to end TCP after the closing handshake, and
            // for its close_notify during the TLS shutdown, as long as the server likes.
            Lock lock(mutex_);
            closeGrace_->Arm(kCloseGrace, [this, handle](const boost::system::error_code& expiry) {
                if (!expiry) {
                    ORVANE_LOG_TRACE("切断処理が終わらないため、ソケットを閉じます。リモートホスト=%1%",
                                     GetRemoteHost());
                    DropSocket(handle);
                }
            });
        }
        websocketpp::lib::error_code error;
        endpoint_.close(handle, websocketpp::close::status::going_away, "", error);
        if (error) {
            std::cerr << "> Error closing connection : " << error.message() << std::endl;
            // Not open (still connecting, failed or ended): no closing handshake to wait for,
            // and a connect in progress must not hold the loop.
            endpoint_.stop();
        }
    } catch (...) {
        Fail();
    }
}

void WsConnection::Impl::DropSocket(const websocketpp::connection_hdl& handle)
{
    try {
        websocketpp::lib::error_code error;
        const Client::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error);
        if (connection) {
            boost::system::error_code ignored;
            connection->get_raw_socket().close(ignored);
        }
    } catch (...) {
        Fail();
        return;
    }
    // What websocketpp still has pending goes with the I/O service.
    endpoint_.stop();
}

std::string WsConnection::Impl::GetRemoteHost()
{
    Lock lock(mutex_);
    return remoteHost_;
}

bool WsConnection::Impl::IsLoopThread()
{
    Lock lock(mutex_);
    return loopThread_ != boost::thread::id() && loopThread_ == boost::this_thread::get_id();
}

void WsConnection::Impl::OnSocketInit(websocketpp::connection_hdl,
                                      boost::asio::ssl::stream<boost::asio::ip::tcp::socket>&)
{
}

ContextPointer WsConnection::Impl::OnTlsInit(websocketpp::connection_hdl)
{
    namespace ssl = boost::asio::ssl;
    try {
        ContextPointer context = websocketpp::lib::make_shared<ssl::context>(ssl::context::tls_client);
        SSL_CTX* native = context->native_handle();
        if (SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION) != 1) {
            throw std::runtime_error("TLS 1.2 cannot be required");
        }
        context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                             ssl::context::single_dh_use);
        context->set_default_verify_paths();
        context->set_verify_mode(ssl::verify_peer);

        std::string host;
        {
            Lock lock(mutex_);
            host = verifyHost_;
        }
        if (host.empty()) {
            throw std::runtime_error("no host name to verify");
        }
        X509_VERIFY_PARAM* parameters = SSL_CTX_get0_param(native);
        X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        boost::system::error_code notAddress;
        boost::asio::ip::make_address(host, notAddress);
        const int named = notAddress ? X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), host.size())
                                     : X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str());
        if (named != 1) {
            throw std::runtime_error("the host name to verify is invalid: " + host);
        }
        context->set_verify_callback([this](bool preverified, ssl::verify_context& verify) {
            if (!preverified) {
                Lock lock(mutex_);
                if (verifyError_ == X509_V_OK) {
                    verifyError_ = X509_STORE_CTX_get_error(verify.native_handle());
                }
            }
            return preverified;
        });
        return context;
    } catch (const std::exception& e) {
        // Without verification there is no connection: no context fails it.
        std::cerr << e.what() << std::endl;
        Lock lock(mutex_);
        failCause_ = e.what();
        return ContextPointer();
    }
}

void WsConnection::Impl::OnOpen(websocketpp::connection_hdl)
{
    {
        Lock lock(mutex_);
        opened_ = true;
        failed_ = false;
    }
    stateChanged_.notify_all();
}

void WsConnection::Impl::OnFail(websocketpp::connection_hdl handle)
{
    try {
        const Client::connection_ptr connection = endpoint_.get_con_from_hdl(handle);
        const websocketpp::lib::error_code error = connection->get_ec();
        std::cerr << "on_fail " << std::endl
                  << "Fail handler" << std::endl
                  << connection->get_state() << std::endl
                  << connection->get_local_close_code() << std::endl
                  << connection->get_local_close_reason() << std::endl
                  << connection->get_remote_close_code() << std::endl
                  << connection->get_remote_close_reason() << std::endl
                  << error << " - " << error.message() << std::endl;
        bool wasOpen = false;
        {
            Lock lock(mutex_);
            failed_ = true;
            localCloseCode_ = connection->get_local_close_code();
            failCause_ = error.message();
            if (verifyError_ != X509_V_OK) {
                failCause_ += std::string(" (") + X509_verify_cert_error_string(verifyError_) + ")";
            }
            wasOpen = opened_ && !endReported_;
            endReported_ = endReported_ || opened_;
        }
        stateChanged_.notify_all();
        if (wasOpen) {
            DeliverEnd(boost::system::error_code(ENETUNREACH, boost::system::system_category()));
        }
    } catch (...) {
        Fail();
    }
}

void WsConnection::Impl::OnClose(websocketpp::connection_hdl handle)
{
    try {
        const Client::connection_ptr connection = endpoint_.get_con_from_hdl(handle);
        {
            Lock lock(mutex_);
            if (closed_) {
                // Closed by Close: nothing more to wait for.
                closeGrace_->Cancel();
                return;
            }
        }
        ReportEnd(*connection);
    } catch (...) {
        Fail();
    }
}

void WsConnection::Impl::OnReadEnd()
{
    try {
        const Client::connection_ptr connection = OpenConnection();
        if (connection) {
            ReportEnd(*connection);
        }
    } catch (...) {
        Fail();
    }
}

void WsConnection::Impl::ReportEnd(Client::connection_type& connection)
{
    const boost::system::error_code end = EndOf(connection);
    {
        Lock lock(mutex_);
        // A read that fails during the opening handshake is the fail handler's.
        if (closed_ || endReported_ || !opened_) {
            return;
        }
        endReported_ = true;
        try {
            timers_->ReceiveTimer().Cancel();
            timers_->UserTimer().Cancel();
        } catch (const std::exception&) {
        }
    }
    DeliverEnd(end);
}

boost::system::error_code WsConnection::Impl::EndOf(Client::connection_type& connection)
{
    namespace status = websocketpp::close::status;
    const status::value remote = connection.get_remote_close_code();
    // websocketpp keeps abnormal_close, which no close frame may carry, until the server's
    // close frame arrives.
    if (remote == status::abnormal_close) {
        // websocketpp's own 1009: a message over the limit, refused at its frame header. It
        // fails as over TCP.
        if (connection.get_local_close_code() == status::message_too_big) {
            return boost::system::error_code(ErrorCategory::MessageTooLarge, ErrorCategory::GetInstance());
        }
        return boost::asio::error::connection_reset;
    }
    // The server's close frame (websocketpp's answer echoes its code, so the local code
    // cannot tell whose it was). A normal end is the end of the stream; any other code
    // says why the server ended it.
    if (remote == status::normal || remote == status::going_away || remote == status::no_status) {
        return boost::asio::error::connection_reset;
    }
    return boost::system::error_code(remote, WsCloseCategory::GetInstance());
}

void WsConnection::Impl::OnMessage(websocketpp::connection_hdl, Client::message_ptr message)
{
    try {
        ReceivedFunction function;
        // Held through the call: a Close on another thread drops the store's buffer.
        boost::shared_ptr<Buffer> buffer;
        const unsigned char* data = nullptr;
        unsigned int length = 0;
        const std::string& payload = message->get_payload();
        {
            Lock lock(mutex_);
            if (closed_) {
                return;
            }
            receiveStore_.Append(reinterpret_cast<const unsigned char*>(payload.data()),
                                 static_cast<unsigned int>(payload.size()));
            function = received_;
            if (!function) {
                pendingData_ = true;
                PauseIfDue();
                return;
            }
            buffer = receiveStore_.GetBuffer();
            data = buffer->storage.data();
            length = buffer->dataLength;
        }
        function(data, length, static_cast<unsigned int>(payload.size()), boost::system::error_code());
        PauseIfDue();
    } catch (...) {
        Fail();
    }
}

void WsConnection::Impl::OnRead(const unsigned char* data, std::size_t size) { frames_.Feed(data, size); }

void WsConnection::Impl::OnReadStart()
{
    try {
        const WsFrameCounter::Arrived arrived = frames_.Take();
        const bool ended = arrived.total == 0 && arrivingTold_;
        if (arrived.fresh == 0 && !ended) {
            return;
        }
        arrivingTold_ = arrived.total != 0;
        ArrivingFunction function;
        {
            Lock lock(mutex_);
            if (closed_ || !received_) {
                return;
            }
            function = arriving_;
        }
        if (function) {
            function(arrived.total, arrived.fresh);
        }
    } catch (...) {
        Fail();
    }
}

Client::connection_ptr WsConnection::Impl::OpenConnection()
{
    websocketpp::connection_hdl handle;
    {
        Lock lock(mutex_);
        if (closed_) {
            return Client::connection_ptr();
        }
        handle = handle_;
    }
    websocketpp::lib::error_code error;
    Client::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error);
    return error ? Client::connection_ptr() : connection;
}

void WsConnection::Impl::PauseReading(bool paused, bool holdTimers)
{
    bool resume = false;
    {
        Lock lock(mutex_);
        if (closed_) {
            return;
        }
        resume = pauseWanted_ && !paused;
        pauseWanted_ = paused;
        // A message the application stopped reading cannot arrive: its receive time waits too.
        timers_->Hold(paused || holdTimers, holdTimers);
    }
    if (resume) {
        boost::asio::post(endpoint_.get_io_service(), [this] {
            try {
                ResumeIfDue();
            } catch (...) {
                Fail();
            }
        });
    }
}

void WsConnection::Impl::PauseIfDue()
{
    const Client::connection_ptr connection = OpenConnection();
    if (!connection) {
        return;
    }
    const bool backlog = Buffered(*connection) > kMaxBufferedBytes;
    {
        Lock lock(mutex_);
        if (readPaused_ || (!pauseWanted_ && !backlog)) {
            return;
        }
        readPaused_ = true;
        pausedConnection_ = connection;
        if (backlog) {
            ArmSendQueuePoll();
        }
    }
    ORVANE_LOG_TRACE("受信を一時停止します。");
    // Called inside the read step: websocketpp issues no further read once it returns.
    connection->handle_pause_reading();
}

std::size_t WsConnection::Impl::Buffered(Client::connection_type& connection)
{
    // websocketpp counts the queued bytes without a lock of its own; sends from other
    // threads change the count under the send lock.
    boost::mutex::scoped_lock sending(sendMutex_);
    return connection.get_buffered_amount();
}

void WsConnection::Impl::ArmSendQueuePoll()
{
    sendQueuePoll_->Arm(kSendQueuePoll, [this](const boost::system::error_code& error) {
        try {
            if (!error) {
                ResumeIfDue();
            }
        } catch (...) {
            Fail();
        }
    });
}

void WsConnection::Impl::ResumeIfDue()
{
    const Client::connection_ptr connection = OpenConnection();
    if (!connection) {
        return;
    }
    const std::size_t buffered = Buffered(*connection);
    {
        Lock lock(mutex_);
        if (!readPaused_ || pauseWanted_) {
            return;
        }
        if (buffered > kMaxBufferedBytes / 2) {
            ArmSendQueuePoll();
            return;
        }
        readPaused_ = false;
        pausedConnection_.reset();
    }
    ORVANE_LOG_TRACE("受信を再開します。");
    connection->handle_resume_reading();
}

void WsConnection::Impl::DeliverEnd(const boost::system::error_code& error)
{
    ReceivedFunction function;
    {
        Lock lock(mutex_);
        function = received_;
        if (!function) {
            pendingEnd_ = error;
            return;
        }
    }
    function(nullptr, 0, 0, error);
}

void WsConnection::Impl::Install(const ReceivedFunction& received)
{
    try {
        {
            Lock lock(mutex_);
            if (!installing_) {
                return;
            }
            installing_ = false;
            received_ = received;
        }
        DeliverPending();
    } catch (...) {
        Fail();
    }
}

void WsConnection::Impl::DeliverPending()
{
    ReceivedFunction function;
    bool data = false;
    boost::system::error_code end;
    boost::shared_ptr<Buffer> buffer;
    const unsigned char* bytes = nullptr;
    unsigned int length = 0;
    {
        Lock lock(mutex_);
        function = received_;
        data = pendingData_;
        end = pendingEnd_;
        pendingData_ = false;
        pendingEnd_.clear();
        buffer = receiveStore_.GetBuffer();
        bytes = buffer->storage.data();
        length = buffer->dataLength;
    }
    if (!function) {
        return;
    }
    if (data) {
        function(bytes, length, length, boost::system::error_code());
    }
    if (end) {
        function(nullptr, 0, 0, end);
    }
}

void WsConnection::Impl::Fail()
{
    const std::string failure = CurrentExceptionText();
    std::cerr << failure << std::endl;
    {
        Lock lock(mutex_);
        if (!loopFailed_) {
            loopFailed_ = true;
            loopFailure_ = failure;
        }
    }
    endpoint_.stop();
}

WsConnection::WsConnection(unsigned int receiveBufferSize) : impl_(new Impl(receiveBufferSize))
{
    const boost::shared_ptr<Impl> impl = impl_;
    thread_.Start([impl] { impl->Loop(); });
}

WsConnection::~WsConnection()
{
    try {
        Close();
        thread_.Join(false);
    } catch (...) {
        // A destructor reports nothing.
    }
}

void WsConnection::Start(const std::string& uri, const std::string& proxyUri, int timeout)
{
    impl_->Start(uri, proxyUri, timeout);
}

void WsConnection::Run(ReceivedFunction received)
{
    // Run waits on the implementation, which outlives this object when a delivery releases
    // the connection.
    const boost::shared_ptr<Impl> impl = impl_;
    impl->Run(received);
}

void WsConnection::SetArrivingFunction(ArrivingFunction arriving) { impl_->SetArrivingFunction(arriving); }

void WsConnection::Send(boost::shared_ptr<Buffer> buffer, int sendTimeout, unsigned int chunkSize,
                        SendData::CompletionFunction completion)
{
    impl_->Send(buffer, sendTimeout, chunkSize, completion);
}

void WsConnection::StartReceiveTimer(int milliseconds, TimeoutFunction function)
{
    impl_->StartReceiveTimer(milliseconds, function);
}

void WsConnection::StopReceiveTimer() { impl_->StopReceiveTimer(); }

void WsConnection::PauseReading(bool paused, bool holdTimers) { impl_->PauseReading(paused, holdTimers); }

void WsConnection::StartEtcTimer(int milliseconds, TimeoutFunction function)
{
    impl_->StartEtcTimer(milliseconds, function);
}

void WsConnection::Close()
{
    if (impl_->Close()) {
        thread_.Join(false);
    }
}

std::string WsConnection::GetRemoteHost() { return impl_->GetRemoteHost(); }

bool WsConnection::IsEventLoopThread()
{
    return impl_->IsLoopThread();
}

unsigned int WsConnection::GetReceiveBufferSize()
{
    Lock lock(impl_->mutex_);
    return impl_->receiveStore_.GetSize();
}

boost::shared_ptr<Buffer> WsConnection::GetReceiveBuffer()
{
    Lock lock(impl_->mutex_);
    return impl_->receiveStore_.GetBuffer();
}

void WsConnection::SetReceiveBuffer(boost::shared_ptr<Buffer> buffer)
{
    Lock lock(impl_->mutex_);
    impl_->receiveStore_.SetBuffer(buffer);
}

bool WsConnection::IsReceiveBufferExtended()
{
    Lock lock(impl_->mutex_);
    return impl_->receiveStore_.IsExtended();
}

void WsConnection::SetReceiveBufferExtended(bool extended)
{
    Lock lock(impl_->mutex_);
    impl_->receiveStore_.SetExtended(extended);
}

void WsConnection::ExpectReceived(unsigned int length)
{
    Lock lock(impl_->mutex_);
    if (!impl_->IsClosed()) {
        impl_->receiveStore_.Expect(length);
    }
}

void WsConnection::ConsumeReceived(unsigned int length)
{
    Lock lock(impl_->mutex_);
    if (!impl_->IsClosed()) {
        impl_->receiveStore_.Consume(length);
    }
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
