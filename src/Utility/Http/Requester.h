#pragma once

#include <string>
#include <vector>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "Utility/Http/BodyPartInformation.h"
#include "Utility/Http/ResponseInformation.h"
#include "Utility/Http/ResponseListener.h"
#include "Utility/Http/SendFunction.h"

namespace Orvane {
namespace Utility {
namespace Http {

// Writes the client's own requests (multipart remote calls, audio posts, the proxy
// tunnel request) into new buffers for the send function, and hands each reply to the
// response listener. It keeps no record of its requests.
//
// Its mutex guards the state, the listener and the send function; nothing is called
// while it is held.
class Requester : private boost::noncopyable {
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

    // Installs the send function, once; error 1 for an empty one, 2 for a second one.
    void SetSendFunction(const SendFunction& function);

    void SetListener(const boost::shared_ptr<ResponseListener>& listener);
    boost::shared_ptr<ResponseListener> GetListener() const;
    // The controller sets StateEnded when the connection failed or closed.
    void SetState(int state);
    int GetState() const;

private:
    explicit Requester(const std::string& userAgent);

    // Checks the state, writes the message with `write` and hands it to the send function.
    template <typename Writer>
    void SendMessage(const Writer& write);

    boost::shared_ptr<ResponseListener> listener_;
    const std::string userAgent_;
    SendFunction sendFunction_;
    mutable boost::recursive_mutex mutex_;
    int state_;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
