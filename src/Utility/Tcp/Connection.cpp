#include "Utility/Tcp/Connection.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <utility>

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/chrono.hpp>

#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Tcp/Errors.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

namespace {
typedef boost::recursive_mutex::scoped_lock Lock;
} // namespace

boost::shared_ptr<Connection> Connection::CreateInstance(unsigned int receiveBufferSize)
{
    if (receiveBufferSize == 0) {
        throw MakeError(Errors::kReceiveBufferSizeArgument);
    }
    try {
        return boost::shared_ptr<Connection>(new Connection(receiveBufferSize));
    } catch (const std::exception& e) {
        throw MakeError(Errors::kCreateFailed, e.what());
    }
}

Connection::Connection(unsigned int receiveBufferSize)
    : socket_(io_),
      timers_(io_, [this](const boost::system::error_code& e, const TimeoutFunction& function) {
          HandleTimeout(e, function);
      }),
      sendTimer_(io_), receiveStore_(receiveBufferSize), closed_(false), readStopped_(false),
      readPaused_(false), failed_(false)
{
}

Connection::~Connection() = default;

void Connection::Run(ReceivedFunction received)
{
    if (!received) {
        throw MakeError(Errors::kReceivedCallbackArgument);
    }
    try {
        Lock lock(mutex_);
        if (closed_) {
            throw MakeError(Errors::kNotConnected);
        }
        socket_.set_option(boost::asio::ip::tcp::no_delay(true));
        socket_.set_option(boost::asio::socket_base::reuse_address(true));
        received_ = received;
        loopThread_ = boost::this_thread::get_id();
        // While reading is paused nothing may be pending at all: the loop waits on until Close.
        running_.reset(new WorkGuard(io_.get_executor()));
        StartRead();
    } catch (const Exception&) {
        Lock lock(mutex_);
        received_.clear();
        running_.reset();
        loopThread_ = boost::thread::id();
        throw;
    } catch (const std::exception& e) {
        Lock lock(mutex_);
        received_.clear();
        running_.reset();
        loopThread_ = boost::thread::id();
        throw MakeError(Errors::kRunPrepareFailed, RemoteAddress(), e.what());
    }
    {
        boost::system::error_code ignored;
        Lock lock(mutex_);
        ORVANE_LOG_TRACE("コネクションの送受信処理を開始します。[%1%<->%2%]", socket_.local_endpoint(ignored),
                         RemoteAddress());
    }

    try {
        io_.run();
    } catch (...) {
        // Completions catch their own failures; this covers the service itself.
        Lock lock(mutex_);
        if (!failed_) {
            failed_ = true;
            failure_ = CurrentExceptionText();
        }
    }

    Lock lock(mutex_);
    loopThread_ = boost::thread::id();
    if (failed_) {
        received_.clear();
        throw MakeError(Errors::kRunFailed, RemoteAddress(), failure_);
    }
    ORVANE_LOG_TRACE("コネクションの送受信処理を終了します。");
}

void Connection::StartRead()
{
    receiveStore_.EnsureRoom();
    // The handler keeps the buffer it reads into alive, should it be replaced meanwhile.
    const boost::shared_ptr<Buffer> buffer = receiveStore_.GetBuffer();
    const unsigned int offset = buffer->dataLength;
    socket_.async_read_some(
        boost::asio::buffer(buffer->storage.data() + offset, buffer->storage.size() - offset),
        [this, buffer, offset](const boost::system::error_code& error, std::size_t received) {
            HandleReceive(buffer, offset, error, received);
        });
}

void Connection::HandleReceive(const boost::shared_ptr<Buffer>& target, unsigned int offset,
                               const boost::system::error_code& error, std::size_t received)
{
    try {
        if (error == boost::asio::error::operation_aborted) {
            ORVANE_LOG_TRACE("受信処理が中断されました。");
            return;
        }
        if (error == boost::asio::error::eof) {
            ORVANE_LOG_TRACE("切断を検知しました。リモートホスト=%1%", RemoteAddress());
        } else if (error) {
            ORVANE_LOG_TRACE("受信処理が失敗しました。リモートホスト=%1%, 原因=[%2%]", RemoteAddress(), error);
        }
        ReceivedFunction function;
        // Held through the call: a Close on another thread drops the store's buffer.
        boost::shared_ptr<Buffer> buffer;
        const unsigned char* data = nullptr;
        unsigned int length = 0;
        {
            Lock lock(mutex_);
            if (!error) {
                receiveStore_.Commit(target, offset, static_cast<unsigned int>(received));
            }
            function = received_;
            buffer = receiveStore_.GetBuffer();
            data = buffer->storage.data();
            length = buffer->dataLength;
        }
        if (function) {
            function(data, length, static_cast<unsigned int>(received), error);
        }
        if (error) {
            Close();
            return;
        }

        Lock lock(mutex_);
        if (closed_) {
            return;
        }
        if (readPaused_ || sendQueue_.size() > kMaxQueuedSends) {
            ORVANE_LOG_TRACE("受信を一時停止します。送信待ち=%1%", static_cast<unsigned int>(sendQueue_.size()));
            readStopped_ = true;
            return;
        }
        StartRead();
    } catch (...) {
        Fail();
    }
}

void Connection::PauseReading(bool paused, bool holdTimers)
{
    Lock lock(mutex_);
    if (closed_) {
        return;
    }
    readPaused_ = paused;
    // A message the application stopped reading cannot arrive: its receive time waits too.
    timers_.Hold(paused || holdTimers, holdTimers);
    if (!paused) {
        ResumeReading();
    }
}

void Connection::ResumeReading()
{
    if (!readStopped_ || closed_ || readPaused_ || sendQueue_.size() > kMaxQueuedSends / 2) {
        return;
    }
    readStopped_ = false;
    ORVANE_LOG_TRACE("受信を再開します。");
    // The read starts on the loop thread, like every other socket operation of a running
    // connection's receive side.
    boost::asio::post(io_, [this] {
        try {
            Lock lock(mutex_);
            if (!closed_) {
                StartRead();
            }
        } catch (...) {
            Fail();
        }
    });
}

void Connection::Send(boost::shared_ptr<Buffer> buffer, int sendTimeout, unsigned int chunkSize,
                      SendData::CompletionFunction completion)
{
    if (!buffer) {
        throw MakeError(Errors::kBufferArgument);
    }
    try {
        Send(SendData::CreateInstance(buffer, sendTimeout, chunkSize, completion));
    } catch (const std::exception& e) {
        throw MakeError(Errors::kSendFailed, RemoteAddress(), e.what());
    }
}

void Connection::Send(boost::shared_ptr<SendData> data)
{
    if (!data || !data->buffer) {
        throw MakeError(Errors::kBufferArgument);
    }
    Lock lock(mutex_);
    if (closed_) {
        throw MakeError(Errors::kNotConnected);
    }
    sendQueue_.push_back(data);
    if (sendQueue_.size() > 1 || writing_) {
        // Starts once the sends before it, or a write left over from a timed-out send, end.
        return;
    }
    try {
        WriteStep(data);
    } catch (...) {
        sendTimer_.Cancel();
        sendQueue_.pop_back();
        throw;
    }
}

void Connection::WriteStep(const boost::shared_ptr<SendData>& data)
{
    const Buffer& buffer = *data->buffer;
    if (data->sendTimeout >= 0) {
        sendTimer_.Arm(data->sendTimeout, [this](const boost::system::error_code& e) {
            HandleTimeout(e, [this] { HandleSendTimeout(); });
        });
    }
    const std::uint64_t left = buffer.dataLength >= data->sent ? buffer.dataLength - data->sent : 0;
    // A chunk size of 0 writes the rest at once.
    const std::uint64_t chunk = data->chunkSize == 0 ? left : std::min<std::uint64_t>(data->chunkSize, left);
    if (data->sent > buffer.dataLength || data->sent + chunk > buffer.storage.size()) {
        throw MakeError(Errors::kChunkOutOfRange, static_cast<unsigned int>(buffer.storage.size()), data->sent,
                        static_cast<unsigned int>(chunk));
    }
    writing_ = data;
    boost::asio::async_write(socket_, boost::asio::buffer(buffer.storage.data() + data->sent, chunk),
                             [this, data](const boost::system::error_code& error, std::size_t written) {
                                 HandleSend(data, error, written);
                             });
}

void Connection::HandleSend(const boost::shared_ptr<SendData>& data, const boost::system::error_code& error,
                            std::size_t written)
{
    try {
        if (error) {
            if (error == boost::asio::error::operation_aborted) {
                ORVANE_LOG_TRACE("送信処理が中断されました。リモートホスト=%1%", RemoteAddress());
            } else {
                ORVANE_LOG_TRACE("送信処理が失敗しました。リモートホスト=%1%, 原因=[%2%]", RemoteAddress(), error);
            }
            {
                Lock lock(mutex_);
                writing_.reset();
                sendTimer_.Cancel();
            }
            DispatchSendError(error);
            return;
        }

        boost::shared_ptr<SendData> finished;
        boost::shared_ptr<SendData> next;
        {
            Lock lock(mutex_);
            writing_.reset();
            if (sendQueue_.empty() || sendQueue_.front() != data) {
                // An error already ended this send; sends queued since then start now.
                ORVANE_LOG_TRACE("エラー処理されています。リモートホスト=%1%", RemoteAddress());
                if (sendQueue_.empty() || closed_) {
                    return;
                }
                next = sendQueue_.front();
            } else {
                const std::uint64_t sent = std::uint64_t(data->sent) + written;
                if (sent > data->buffer->dataLength) {
                    throw MakeError(Errors::kSentOutOfRange, data->buffer->dataLength, data->sent,
                                    static_cast<unsigned int>(written));
                }
                data->sent = static_cast<unsigned int>(sent);
                if (data->sent == data->buffer->dataLength) {
                    sendTimer_.Cancel();
                    sendQueue_.pop_front();
                    ResumeReading();
                    finished = data;
                    if (!sendQueue_.empty()) {
                        next = sendQueue_.front();
                    }
                } else {
                    next = data;
                }
            }
        }

        if (finished && finished->completion) {
            finished->completion(finished->buffer->storage.data(), finished->sent, boost::system::error_code());
        }
        if (next) {
            Lock lock(mutex_);
            // Close or an error may have ended it meanwhile, or a Send may have started it.
            if (!closed_ && !writing_ && !sendQueue_.empty() && sendQueue_.front() == next) {
                WriteStep(next);
            }
        }
    } catch (...) {
        Fail();
    }
}

void Connection::HandleSendTimeout()
{
    ORVANE_LOG_TRACE("Sendでタイムアウトが発生しました。リモートホスト=%1%", RemoteAddress());
    DispatchSendError(boost::asio::error::timed_out);
}

void Connection::DispatchSendError(const boost::system::error_code& error)
{
    std::deque<boost::shared_ptr<SendData>> ended;
    {
        Lock lock(mutex_);
        ended.swap(sendQueue_);
    }
    for (const boost::shared_ptr<SendData>& data : ended) {
        if (data->completion) {
            data->completion(data->buffer->storage.data(), data->sent, error);
        }
    }
}

void Connection::StartReceiveTimer(int milliseconds, TimeoutFunction function)
{
    StartTimer(&ConnectionTimers::StartReceive, milliseconds, function, Errors::kReceiveTimeoutCallbackArgument,
               Errors::kStartReceiveTimerFailed);
}

void Connection::StopReceiveTimer()
{
    Lock lock(mutex_);
    try {
        timers_.StopReceive();
    } catch (const std::exception& e) {
        throw MakeError(Errors::kStopReceiveTimerFailed, RemoteAddress(), e.what());
    }
}

void Connection::StartEtcTimer(int milliseconds, TimeoutFunction function)
{
    StartTimer(&ConnectionTimers::StartUser, milliseconds, function, Errors::kEtcTimeoutCallbackArgument,
               Errors::kStartEtcTimerFailed);
}

void Connection::StartTimer(void (ConnectionTimers::*start)(int, const TimeoutFunction&), int milliseconds,
                            const TimeoutFunction& function, const ErrorText& argumentError, const ErrorText& failure)
{
    if (!function) {
        throw MakeError(argumentError);
    }
    Lock lock(mutex_);
    if (closed_) {
        throw MakeError(Errors::kNotConnected);
    }
    try {
        (timers_.*start)(milliseconds, function);
    } catch (const std::exception& e) {
        throw MakeError(failure, RemoteAddress(), e.what());
    }
}

void Connection::HandleTimeout(const boost::system::error_code& error, const TimeoutFunction& function)
{
    try {
        if (error == boost::asio::error::operation_aborted) {
            return;
        }
        if (error) {
            ORVANE_LOG_TRACE("タイマ監視処理に失敗しました。リモートホスト=%1%", RemoteAddress());
            throw MakeError(Errors::kTimerWaitFailed, RemoteAddress());
        }
        ORVANE_LOG_TRACE("タイムアウトが発生しました。リモートホスト=%1%", RemoteAddress());
        function();
    } catch (...) {
        Fail();
    }
}

void Connection::Close()
{
    {
        Lock lock(mutex_);
        if (closed_) {
            return;
        }
        ORVANE_LOG_TRACE("コネクションを切断します。リモートホスト=%1%", RemoteAddress());
        closed_ = true;
        running_.reset();

        struct Step {
            OneShotTimer& timer;
            const char* failure;
        };
        const Step timers[] = {
            {timers_.ReceiveTimer(), "受信タイマのキャンセルに失敗しました。原因=[%1%]"},
            {sendTimer_, "送信タイマのキャンセルに失敗しました。原因=[%1%]"},
            {timers_.UserTimer(), "ユーザタイマのキャンセルに失敗しました。原因=[%1%]"},
        };
        for (const Step& step : timers) {
            try {
                step.timer.Cancel();
            } catch (const std::exception& e) {
                ORVANE_LOG_TRACE(step.failure, e.what());
            }
        }

        ORVANE_LOG_TRACE("ソケットをクローズします。");
        if (socket_.is_open()) {
            boost::system::error_code error;
            socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, error);
            if (!error) {
                socket_.close(error);
            }
            if (error) {
                // Pending operations end all the same; the descriptor is released too.
                boost::system::error_code ignored;
                socket_.cancel(ignored);
                socket_.close(ignored);
                ORVANE_LOG_TRACE("ソケットのclose()に失敗しました。原因=[%1%]", error);
            }
        } else {
            ORVANE_LOG_TRACE("socket::is_open() false!!");
        }
        received_.clear();
        receiveStore_.Discard();
        try {
            timers_.CancelAll();
        } catch (const std::exception& e) {
            ORVANE_LOG_TRACE("タイマのキャンセルに失敗しました。原因=[%1%]", e.what());
        }
    }
    DispatchSendError(boost::asio::error::eof);
}

void Connection::OnRelease()
{
    ORVANE_LOG_TRACE("OnReleaseが呼び出されました。");
    boost::this_thread::sleep_for(boost::chrono::milliseconds(500));
    Close();
}

boost::asio::ip::tcp::endpoint Connection::RemoteAddress()
{
    Lock lock(mutex_);
    boost::system::error_code error;
    const boost::asio::ip::tcp::endpoint remote = socket_.remote_endpoint(error);
    if (error) {
        return boost::asio::ip::tcp::endpoint(boost::asio::ip::address_v4(), 0);
    }
    return remote;
}

std::string Connection::GetRemoteHost()
{
    std::ostringstream text;
    text << RemoteAddress();
    return text.str();
}

bool Connection::IsEventLoopThread()
{
    Lock lock(mutex_);
    return loopThread_ != boost::thread::id() && loopThread_ == boost::this_thread::get_id();
}

unsigned int Connection::GetReceiveBufferSize()
{
    Lock lock(mutex_);
    return receiveStore_.GetSize();
}

boost::shared_ptr<Buffer> Connection::GetReceiveBuffer()
{
    Lock lock(mutex_);
    return receiveStore_.GetBuffer();
}

void Connection::SetReceiveBuffer(boost::shared_ptr<Buffer> buffer)
{
    Lock lock(mutex_);
    receiveStore_.SetBuffer(buffer);
}

bool Connection::IsReceiveBufferExtended()
{
    Lock lock(mutex_);
    return receiveStore_.IsExtended();
}

void Connection::SetReceiveBufferExtended(bool extended)
{
    Lock lock(mutex_);
    receiveStore_.SetExtended(extended);
}

void Connection::ExpectReceived(unsigned int length)
{
    Lock lock(mutex_);
    if (!closed_) {
        receiveStore_.Expect(length);
    }
}

void Connection::ConsumeReceived(unsigned int length)
{
    Lock lock(mutex_);
    if (!closed_) {
        receiveStore_.Consume(length);
    }
}

void Connection::Fail()
{
    Lock lock(mutex_);
    if (!failed_) {
        failed_ = true;
        failure_ = CurrentExceptionText();
    }
    io_.stop();
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
