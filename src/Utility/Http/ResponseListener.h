#pragma once

#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {
namespace Http {

class ResponseInformation;

// Receives the server's replies and the transport's failures; implemented by the
// recognition client.
class ResponseListener {
public:
    virtual ~ResponseListener();

    // A complete reply to the pending request; called on the thread that runs the receive step.
    virtual void OnReceived(const ResponseInformation& response) = 0;
    // The transport failed; `kind` 0 receive, 1 send, 2 response wait or controller loop.
    virtual void OnError(int kind, const boost::system::error_code& error) = 0;
    // The server closed or reset the connection.
    virtual void OnClosed() = 0;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
