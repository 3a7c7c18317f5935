#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/system/error_code.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>
#include <boost/weak_ptr.hpp>

#include "Utility/Http/Parser.h"
#include "Utility/Http/Requester.h"
#include "Utility/Http/Respondent.h"
#include "Utility/Tcp/Buffer.h"
#include "Utility/Tcp/Connection.h"
#include "Utility/Tcp/ConnectionFunctions.h"
#include "Utility/Tcp/WsConnection.h"

namespace Orvane {
namespace Utility {
namespace Http {

// The HTTP/1.0 engine of one server connection, TCP or WebSocket: its thread runs the
// connection's event loop, the receive step parses what arrives and hands replies to the
// requester and the server's requests to the respondent, and sends go out under the send
// timer. Every transport failure reaches the listeners once, as OnError(kind, error) or
// OnClosed(): kind 0 receive failure or time-out, 1 send failure, 2 response-wait time-out
// or a failure of the thread's loop (code 41 of "Pellum"). What was wrong with a message
// being received is said by the code: "Pellum" 47 malformed, 48 too large (both kind 2),
// 49 cut short by the end of the connection, 50 stalled past the receive time (kind 0).
// The first failure closes the connection before the listeners hear of it.
//
// Listener calls run on the thread that found the failure: the controller thread for
// TCP, the WebSocket thread for WebSocket, and the caller of Stop for the OnClosed that
// Stop sends. No lock of the controller is held while a listener runs, while the
// connection is closed or while a thread is joined, so listeners may send and may stop
// the controller from any thread.
class Controller : public boost::enable_shared_from_this<Controller>, private boost::noncopyable {
public:
    enum State { StateCreated = 0, StateRunning = 1, StateFailed = 2, StateStopped = 3 };
    enum FailureKind { FailureReceive = 0, FailureSend = 1, FailureResponseWait = 2 };

    static const unsigned int kChunkSize = 32768;
    // A message must arrive at least this much further within each receive time: its
    // first byte arms the receive timer, and each time it has grown by this many bytes
    // since the timer was last armed, the timer is armed again.
    static const unsigned int kReceiveProgress = 64 * 1024;

    // A null connection is error 1; any other failure while building is error 40.
    static boost::shared_ptr<Controller> CreateInstance(boost::shared_ptr<Tcp::Connection> connection,
                                                        const std::string& userAgent, int receiveTimer,
                                                        int sendTimer, int responseTimer);
    static boost::shared_ptr<Controller> CreateInstance(boost::shared_ptr<Tcp::WsConnection> connection,
                                                        const std::string& userAgent, int receiveTimer,
                                                        int sendTimer, int responseTimer);

    // Stops.
    virtual ~Controller();

    // Arms the receive timer, installs the send functions and starts the thread: error 2
    // unless newly created, error 7 (after stopping) when the set-up fails.
    void Start();

    // Closes the connection and ends the thread; OnClosed() to both listeners when it was
    // running, then removes them. Callable from any thread, more than once; waits for the
    // controller thread except on that thread itself or the connection's event-loop thread.
    void Stop();

    // The requester's and the respondent's send functions: error 2 unless running.
    void SendRequest(boost::shared_ptr<Tcp::Buffer> message);
    void SendResponse(boost::shared_ptr<Tcp::Buffer> message);

    // For a listener whose received messages wait: stops reading from the connection
    // (`hold` true) so that TCP's flow control slows the server down, or reads again; and
    // holds the receive and response-wait timers (`holdTimers` true), keeping the time
    // they have left, or lets them run again. The receive timer is also held while the
    // reading is: no message can progress that the client does not read. Any thread;
    // nothing once closed.
    void HoldReceive(bool hold, bool holdTimers);

    // New timer values in ms, counted from the next arming or send.
    void SetReceiveTimer(int milliseconds);
    void SetSendTimer(int milliseconds);
    void SetResponseTimer(int milliseconds);

    const boost::shared_ptr<Requester>& GetRequester() const { return requester_; }
    const boost::shared_ptr<Respondent>& GetRespondent() const { return respondent_; }

private:
    Controller(boost::shared_ptr<Tcp::Connection> connection, boost::shared_ptr<Tcp::WsConnection> wsConnection,
               const std::string& userAgent, int receiveTimer, int sendTimer, int responseTimer);

    template <typename ConnectionPointer>
    static boost::shared_ptr<Controller> Create(const ConnectionPointer& tcp,
                                                const boost::shared_ptr<Tcp::WsConnection>& ws,
                                                const std::string& userAgent, int receiveTimer, int sendTimer,
                                                int responseTimer);

    // Calls `action` with whichever connection the controller was built over.
    template <typename Action>
    auto WithConnection(const Action& action) -> decltype(action(std::declval<Tcp::Connection&>()));

    void Initialize();
    // A timer function for the connection that calls `handler` while the controller lives.
    Tcp::TimeoutFunction Callback(void (Controller::*handler)());
    void Run();
    void Send(const boost::shared_ptr<Tcp::Buffer>& message, bool request);

    void HandleRecv(const unsigned char* data, unsigned int size, unsigned int,
                    const boost::system::error_code& error);
    // Over WebSocket, the bytes of a message still arriving (whole messages reach
    // HandleRecv): they count as TCP's partial reads do for the receive timer's progress
    // rule, and re-arm the response-wait timer unless a reply is awaited.
    void HandleProgress(std::uint64_t total, std::uint64_t fresh);
    void HandleSend(bool request, const boost::system::error_code& error);
    void HandleTimeoutReceive();
    void HandleTimeoutResponseWait();
    void HandleError(int kind, const boost::system::error_code& error);
    void Dispatch(int kind, const boost::system::error_code& error);

    bool IsStopped();
    void ArmReceiveTimer();
    void ArmResponseWaitTimer();
    // Lets go of the thread object from the thread itself.
    void DropThread();
    // Waits for the controller thread unless called on it or on the event-loop thread.
    void JoinThread();

    const boost::shared_ptr<Tcp::Connection> connection_;
    const boost::shared_ptr<Tcp::WsConnection> wsConnection_;
    const std::string userAgent_;
    // Set without a lock by the owner, read by the loop thread.
    std::atomic<int> receiveTimer_;
    std::atomic<int> sendTimer_;
    std::atomic<int> responseTimer_;
    // Made by Start, before the thread exists; read-only afterwards.
    Tcp::TimeoutFunction receiveTimeout_;
    Tcp::TimeoutFunction responseTimeout_;
    boost::shared_ptr<Requester> requester_;
    boost::shared_ptr<Respondent> respondent_;
    // What was wrong with a message the receive step could not read (a code of the
    // "Pellum" category, 0 for none); set on the receive step's thread, read by Run.
    std::atomic<int> receiveFailure_;
    // The requester's count of requests awaiting a reply when the response-wait timer was
    // last armed for one; the sending threads arm it once per such request.
    std::atomic<std::uint64_t> repliedArmed_;
    // Used by the receive step and the timers, which run on one thread at a time: the
    // parser, whether the buffer ends in the first bytes of a message, and how many of
    // them were there when the receive timer was last armed for it.
    Parser parser_;
    bool messageStarted_;
    unsigned int progressMark_;
    // Whether a WebSocket message is still arriving, and how much of it had arrived when
    // the receive timer was last armed for it.
    bool arriving_;
    std::uint64_t arrivingMark_;
    const bool webSocket_;
    int state_;
    // Lock order: stateMutex_, then threadMutex_; both before the requester's, the
    // respondent's and the connection's locks. Neither is held while a listener runs,
    // while the connection closes or while the thread is joined.
    boost::recursive_mutex stateMutex_;
    boost::mutex threadMutex_;
    boost::condition_variable threadJoined_;
    bool joining_;
    boost::shared_ptr<boost::thread> thread_;
    boost::weak_ptr<boost::thread> threadObserver_;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
