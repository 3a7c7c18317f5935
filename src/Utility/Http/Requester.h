#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Utility/Http/BodyPartInformation.h"
#include "Utility/Http/MessageEndpoint.h"
#include "Utility/Http/ResponseInformation.h"
#include "Utility/Http/ResponseListener.h"

namespace Orvane {
namespace Utility {
namespace Http {

// Writes the client's own requests (multipart remote calls, audio posts, the proxy
// tunnel request) into new buffers for the send function, and hands each reply to the
// response listener. It counts the requests that await a reply (remote calls and the
// tunnel request; audio posts get none), so that the controller can tell a reply from
// the server's own requests while one is awaited.
class Requester : public MessageEndpoint<ResponseListener> {
public:
    enum State { StateReady = 0, StateEnded = 1 };

    static boost::shared_ptr<Requester> CreateInstance(const std::string& userAgent);
    virtual ~Requester();

    // A multipart POST of `parts` to `target`.
    void Send(const std::string& target, const std::vector<BodyPartInformation>& parts);
    // A POST to `target` whose whole body is the part's bytes ("audiodata").
    void SendAudio(const std::string& target, const BodyPartInformation& part);
    // A CONNECT request for an HTTP proxy tunnel to `target` ("host:port").
    void SendConnect(const std::string& target);
    // Writes the multipart POST that Send sends into `buffer`.
    void CreateMessage(const std::string& target, const std::vector<BodyPartInformation>& parts,
                       Tcp::Buffer& buffer);

    // A complete reply: passed to the listener on the calling thread; error 2 without one.
    void NotifyReceived(const ResponseInformation& response);

    // True while a request sent awaits its reply.
    bool IsAwaitingReply() const;
    // How many requests that await a reply were handed to the send function so far,
    // counted before the hand-over.
    std::uint64_t RepliedRequestsSent() const;

private:
    explicit Requester(const std::string& userAgent);

    // Checks the state, writes the message with `write` and hands it to the send function.
    template <typename Writer>
    void SendRequest(const Writer& write, bool replied);

    const std::string userAgent_;
    // Requests sent and not yet replied to, and all those sent; under the endpoint's mutex.
    unsigned int awaiting_;
    std::uint64_t repliedSent_;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
