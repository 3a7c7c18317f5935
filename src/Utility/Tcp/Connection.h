#pragma once

#include <deque>
#include <memory>
#include <string>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "Server/ReleaseNoticeListener.h"
#include "Utility/ErrorText.h"
#include "Utility/Tcp/Buffer.h"
#include "Utility/Tcp/ConnectionFunctions.h"
#include "Utility/Tcp/ConnectionTimers.h"
#include "Utility/Tcp/OneShotTimer.h"
#include "Utility/Tcp/ReceiveStore.h"
#include "Utility/Tcp/SendData.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

class Connector;

// One connected TCP stream. The connector connects it; the HTTP controller's thread then
// calls Run, which receives until Close. Every socket and timer completion runs on the
// thread inside Run; Send, the timers and Close may be called from any thread. The
// received function, the send completions and the timer functions are called with no
// lock of the connection held, so they may call back into it (Close included).
class Connection : public Server::ReleaseNoticeListener, private boost::noncopyable {
public:
    // A receive buffer size of 0 is error 1; a failure while building is error 25.
    static boost::shared_ptr<Connection> CreateInstance(unsigned int receiveBufferSize);

    virtual ~Connection();

    // Receives until the connection is closed: error 1 for an empty function, 2 when
    // closed, 26 when the set-up fails, 27 when a completion fails while running.
    void Run(ReceivedFunction received);

    // Queues `buffer`'s data, written in chunks of at most `chunkSize` bytes, each chunk
    // within `sendTimeout` ms (negative: no limit). Every failure is error 24.
    void Send(boost::shared_ptr<Buffer> buffer, int sendTimeout, unsigned int chunkSize,
              SendData::CompletionFunction completion);

    // Queues a prepared send: error 1 without a buffer, 2 when closed.
    void Send(boost::shared_ptr<SendData> data);

    // Arms the receive timer once (negative: nothing); StopReceiveTimer cancels it.
    void StartReceiveTimer(int milliseconds, TimeoutFunction function);
    void StopReceiveTimer();

    // Arms the user timer once (negative: nothing).
    void StartEtcTimer(int milliseconds, TimeoutFunction function);

    // Stops reading from the socket (the read in progress still delivers), or reads again:
    // the peer meets TCP's flow control while the application catches up. The receive
    // timer is held while reading is stopped, keeping the time it has left; `holdTimers`
    // holds both the receive and the user timer besides. Callable from any thread;
    // nothing once closed.
    void PauseReading(bool paused, bool holdTimers);

    // Closes once: timers cancelled, socket shut down and closed, every pending send
    // ended with end of file. Never waits for another thread.
    void Close();

    void OnRelease() override;

    // The peer's address, or 0.0.0.0:0 when the socket has none.
    boost::asio::ip::tcp::endpoint RemoteAddress();

    // The peer's address as "address:port".
    std::string GetRemoteHost();

    // True on the thread that runs the connection's event loop (inside Run).
    bool IsEventLoopThread();

    // The receive buffer, for the HTTP controller's receive step on the loop thread.
    unsigned int GetReceiveBufferSize();
    boost::shared_ptr<Buffer> GetReceiveBuffer();
    void SetReceiveBuffer(boost::shared_ptr<Buffer> buffer);
    bool IsReceiveBufferExtended();
    void SetReceiveBufferExtended(bool extended);

    // Reading also stops while more sends than this wait, and resumes once no more than
    // half as many are left, so that a peer sending requests faster than it reads their
    // answers cannot make the send queue grow without bound.
    static const std::size_t kMaxQueuedSends = 256;

    // Drops a consumed message of `length` bytes from the front of the receive buffer;
    // a buffer that had to grow is replaced by one of the configured size. Nothing once
    // closed: Close drops the whole buffer.
    void ConsumeReceived(unsigned int length);
    // The message at the front of the buffer is `length` bytes long: the buffer grows
    // with its bytes up to that size and no further. Nothing once closed.
    void ExpectReceived(unsigned int length);

private:
    friend class Connector;

    explicit Connection(unsigned int receiveBufferSize);

    void StartRead();
    // Starts reading again, on the loop thread, when reading stopped and may go on.
    void ResumeReading();
    void HandleReceive(const boost::shared_ptr<Buffer>& target, unsigned int offset,
                       const boost::system::error_code& error, std::size_t received);
    void WriteStep(const boost::shared_ptr<SendData>& data);
    void HandleSend(const boost::shared_ptr<SendData>& data, const boost::system::error_code& error,
                    std::size_t written);
    // Starts a timer with `start`: `argumentError` for an empty function, 2 when closed,
    // `failure` when arming fails.
    void StartTimer(void (ConnectionTimers::*start)(int, const TimeoutFunction&), int milliseconds,
                    const TimeoutFunction& function, const ErrorText& argumentError, const ErrorText& failure);
    void HandleTimeout(const boost::system::error_code& error, const TimeoutFunction& function);
    void HandleSendTimeout();
    void DispatchSendError(const boost::system::error_code& error);
    // Records an exception that left a completion and ends the event loop; Run raises it.
    void Fail();

    typedef boost::asio::executor_work_guard<boost::asio::io_context::executor_type> WorkGuard;

    boost::asio::io_context io_;
    // Keeps the loop running from Run until Close.
    std::unique_ptr<WorkGuard> running_;
    boost::asio::ip::tcp::socket socket_;
    ConnectionTimers timers_;
    OneShotTimer sendTimer_;
    ReceivedFunction received_;
    ReceiveStore receiveStore_;
    std::deque<boost::shared_ptr<SendData>> sendQueue_;
    // The send whose chunk is being written; a second write never starts beside it.
    boost::shared_ptr<SendData> writing_;
    bool closed_;
    // No read is pending: reading was paused or the send queue was full.
    bool readStopped_;
    // Reading paused by the application.
    bool readPaused_;
    bool failed_;
    std::string failure_;
    boost::thread::id loopThread_;
    boost::recursive_mutex mutex_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
