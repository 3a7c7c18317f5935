#pragma once

#include <string>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/thread.hpp>

#include "Utility/Tcp/Buffer.h"
#include "Utility/Tcp/ConnectionFunctions.h"
#include "Utility/OwnedThread.h"
#include "Utility/Tcp/SendData.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

// One WebSocket client connection over TLS, optionally through an HTTP proxy (CONNECT),
// with the operation shape of the TCP connection: each send is one binary message and
// received messages accumulate in the receive buffer. The server's certificate is
// verified against OpenSSL's default verify paths (SSL_CERT_FILE and SSL_CERT_DIR select
// others) and must name the URI's host.
//
// The constructor starts the WebSocket thread, the only thread that runs the event loop:
// completions, the received function and the timer functions all run on it, one at a
// time, never with a lock of the connection held. Run waits for the loop's end.
//
// An end that Close did not start reaches the received function once, as soon as a read
// fails or websocketpp has closed: connection reset (104) for the end of the stream or the
// server's normal close, "Pellum" 48 for a message over kMaxMessageSize, and the code of
// any other close frame of the server in the "WebSocket close" category.
class WsConnection : private boost::noncopyable {
public:
    explicit WsConnection(unsigned int receiveBufferSize);

    // Closes, then frees everything.
    virtual ~WsConnection();

    // Opens the connection to `uri` (through `proxyUri` when not empty) and, for a
    // positive `timeout` in ms, waits until it is open. Error 22 when it fails, does not
    // open in time or cannot be started; the caller closes the connection.
    void Start(const std::string& uri, const std::string& proxyUri, int timeout);

    // Hands the received function to the WebSocket thread and waits, holding no lock,
    // until that thread has left the event loop. Error 1 for an empty function, 2 when
    // closed, 27 when a completion failed. Bytes or an end of the connection that arrived
    // before Run are delivered first (on this thread if the loop had already ended).
    void Run(ReceivedFunction received);

    // Told of each read's payload bytes of a data message still arriving, on the WebSocket
    // thread after the bytes before them were handled; set before Run.
    void SetArrivingFunction(ArrivingFunction arriving);

    // The largest message taken, as the HTTP parser's; a larger one ends the connection,
    // reported to the received function as "Pellum" 48 (message too large).
    static const std::size_t kMaxMessageSize = 64 * 1024 * 1024;

    // Sends the buffer's data as one binary message: error 24 on any failure. The send
    // time limit and chunk size are not used and the completion is not called; a failed
    // write ends the connection, which reaches the received function.
    void Send(boost::shared_ptr<Buffer> buffer, int sendTimeout, unsigned int chunkSize,
              SendData::CompletionFunction completion);

    // The timers, each armed once (negative: nothing armed). An expiry stops the event
    // loop, then calls the function.
    void StartReceiveTimer(int milliseconds, TimeoutFunction function);
    void StopReceiveTimer();
    void StartEtcTimer(int milliseconds, TimeoutFunction function);

    // As the TCP connection's: stops reading (after the message being delivered and those
    // read with it) or reads again, holding the receive timer meanwhile, and holds both
    // timers with `holdTimers` or lets them run again. Reading also stops while more than
    // kMaxBufferedBytes wait in websocketpp's send queue, and resumes once no more than
    // half as many are left (websocketpp tells of no written message, so the queue is
    // looked at again every kSendQueuePoll ms meanwhile).
    void PauseReading(bool paused, bool holdTimers);
    static const std::size_t kMaxBufferedBytes = 256 * 1024;
    static const int kSendQueuePoll = 20;

    // Closes once with status 1001 and waits for the WebSocket thread, except on that
    // thread, which cannot wait for itself. A server that has not ended the closing
    // handshake and TCP within kCloseGrace ms (it may answer the close and keep TCP open,
    // or ignore it) finds the socket closed by the client: Close waits no longer.
    void Close();
    static const int kCloseGrace = 2000;

    // "host:port" of the URI.
    std::string GetRemoteHost();

    // True on the WebSocket thread, the one that runs the connection's event loop.
    bool IsEventLoopThread();

    // The receive buffer, for the HTTP controller's receive step inside the received
    // function.
    unsigned int GetReceiveBufferSize();
    boost::shared_ptr<Buffer> GetReceiveBuffer();
    void SetReceiveBuffer(boost::shared_ptr<Buffer> buffer);
    bool IsReceiveBufferExtended();
    void SetReceiveBufferExtended(bool extended);
    // As the TCP connection's: nothing once closed, and Close drops the whole buffer.
    void ConsumeReceived(unsigned int length);
    void ExpectReceived(unsigned int length);

private:
    class Impl;

    // Shared with the WebSocket thread, so that a connection released on that thread
    // outlives the loop it is running.
    boost::shared_ptr<Impl> impl_;
    OwnedThread thread_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
