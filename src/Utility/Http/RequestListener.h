#pragma once

#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {
namespace Http {

class RequestInformation;
class Respondent;

// Receives the server's own requests and the transport's failures; implemented by the
// recognition client.
class RequestListener {
public:
    virtual ~RequestListener();

    // A complete request from the server, answered through `respondent` (during the call
    // or later); called on the thread that runs the receive step.
    virtual void OnReceived(Respondent& respondent, const RequestInformation& request) = 0;
    // The transport failed; `kind` as for ResponseListener::OnError.
    virtual void OnError(int kind, const boost::system::error_code& error) = 0;
    // The server closed or reset the connection.
    virtual void OnClosed() = 0;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
