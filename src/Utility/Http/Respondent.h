#pragma once

#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Utility/Http/BodyPartInformation.h"
#include "Utility/Http/Errors.h"
#include "Utility/Http/MessageEndpoint.h"
#include "Utility/Http/RequestInformation.h"
#include "Utility/Http/RequestListener.h"
#include "Utility/Http/StatusCode.h"

namespace Orvane {
namespace Utility {
namespace Http {

// Handles the requests that the server sends on the client's connection: refuses
// methods other than POST and GET (400) and user agents outside a non-empty allowed set
// (403), hands the others to the request listener, and writes the one answer each gets.
class Respondent : public MessageEndpoint<RequestListener> {
public:
    enum State { StateIdle = 0, StatePending = 1, StateEnded = 2 };

    // `peer`: "host:port" of the other end.
    static boost::shared_ptr<Respondent> CreateInstance(const std::string& peer, const std::string& userAgent);
    virtual ~Respondent();

    // A complete request from the server, on the receiving thread.
    void NotifyReceived(const RequestInformation& request);
    // Answers the pending request with `status` and a text/plain body of `length` bytes.
    void Send(StatusCode status, const unsigned char* data, unsigned int length);
    // Answers the pending request with 200 and a multipart body.
    void Send(const std::vector<BodyPartInformation>& parts);

    const std::string& GetPeer() const { return peer_; }
    // Compared byte for byte with the request's User-Agent; empty accepts every request.
    const boost::shared_ptr<std::set<std::string>>& GetAllowedUserAgents() const { return allowedUserAgents_; }

private:
    Respondent(const std::string& peer, const std::string& userAgent);

    // Leaves the pending state and writes the answer with `write` for the send function;
    // `buildError` and `sendError` name the failures.
    template <typename Writer>
    void SendAnswer(const Writer& write, const ErrorText& buildError, const ErrorText& sendError);

    const std::string peer_;
    const std::string userAgent_;
    boost::shared_ptr<std::set<std::string>> allowedUserAgents_;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
