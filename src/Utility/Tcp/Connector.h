#pragma once

#include <chrono>
#include <exception>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

namespace Orvane {
namespace Utility {
namespace Tcp {

class Connection;
class WsConnection;

// Turns a host and port into a connected TCP connection, or a WebSocket URI (and an
// optional proxy URI) into a started WebSocket connection. Its user fills the fields,
// calls Connect or WsConnect once and keeps the connection. Deadlines run on the
// monotonic clock.
class Connector : private boost::noncopyable {
public:
    Connector();
    virtual ~Connector();

    // Resolves and connects within `timeout` ms together (negative: no limit). Errors:
    // 21 resolution failed, 22 connect failed, 23 timed out (the socket is closed).
    boost::shared_ptr<Connection> Connect(int timeout);

    // Creates a WebSocket connection and starts it, waiting up to `timeout` ms for it to
    // open (0 or negative: no wait). Errors: 1 receive buffer size 0, 25 creation
    // failed, 22 failed or not open in time.
    boost::shared_ptr<WsConnection> WsConnect(int timeout);

    std::string host;               // server or proxy host (TCP route)
    unsigned short port;            // its port (TCP route)
    unsigned int receiveBufferSize; // for the new connection
    std::string wsUri;              // WebSocket route target
    std::string proxyUri;           // "http://host:port" of a proxy for the WebSocket route, or empty

private:
    typedef std::chrono::steady_clock::time_point Deadline;

    // The state of one resolve or connect step, shared with its completion handlers.
    struct Step {
        bool done = false;
        std::exception_ptr failure;
    };

    boost::asio::ip::tcp::endpoint ResolveAddress(bool hasDeadline, Deadline deadline);
    boost::shared_ptr<Connection> Connect(const boost::asio::ip::tcp::endpoint& endpoint, bool hasDeadline,
                                          Deadline deadline);
    void HandleResolve(Step& step, boost::asio::ip::tcp::endpoint& endpoint, const boost::system::error_code& error,
                       const boost::asio::ip::tcp::resolver::results_type& results);
    void HandleConnect(Step& step, Connection& connection, const boost::system::error_code& error);
    // On expiry records error 23 and abandons the step through `abandon`.
    template <typename Abandon>
    void HandleTimeout(Step& step, const boost::system::error_code& error, Abandon abandon);
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
