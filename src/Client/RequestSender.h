#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <boost/noncopyable.hpp>
#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>

#include "Client/Exception.h"
#include "Orvane/SessionListener.h"
#include "Utility/Http/BodyPartInformation.h"
#include "Utility/Http/Controller.h"
#include "Utility/Http/ResponseInformation.h"
#include "Utility/Http/ResponseListener.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {

class NotificationHandler;

// Sends remote calls over one connection's HTTP controller, one at a time, and blocks
// each caller until the reply, an error or the end of the connection has been recorded
// by the controller's thread, which reaches it as the requester's response listener.
//
// Locks (see docs/threads.md): the send lock is held across a whole call, wait included;
// the receive lock guards the slots, the flags and the handler, and is released while a
// caller sleeps; the listener lock guards the session listener and is held around each
// call of it, with neither of the others held, so that the listener may call the
// recognizer. The controller is never stopped under any of them. A call that waits for
// its reply is scoped for the notification handler from before it takes the send lock,
// so that the flow control neither buries its reply nor stops its response timer; the
// wait itself has no limit of its own.
//
// One reply answers one call: a call whose wait was given up (its thread interrupted)
// leaves its reply owed, and the next call that waits for a reply goes out only once that
// reply, or the end of the connection, has come.
class RequestSender : public Utility::Http::ResponseListener,
                      public boost::enable_shared_from_this<RequestSender>,
                      private boost::noncopyable {
public:
    // A sender over a started or starting controller; the caller installs it as the
    // requester's response listener.
    static boost::shared_ptr<RequestSender> CreateInstance(const boost::shared_ptr<Utility::Http::Controller>& controller,
                                                           int encodingMode);
    ~RequestSender() override;

    // A remote call; waits for the reply and returns the accepted reply element (a
    // Response element, or the list element that holds them). Throws Exception* for a
    // send failure (5002), a bad or refused reply (4000, 1010, 4004), a server error, a
    // transport error (5002) or the end of the connection (5006).
    boost::shared_ptr<Utility::Xml::Node> Send(const std::string& method, const std::string& targetKind,
                                               const std::string& targetId,
                                               const boost::shared_ptr<Utility::Xml::Node>& argumentList);
    // The same followed by a binary part of `size` bytes (0: std::out_of_range before
    // anything is sent); waits only when `wait` is true, else returns an empty pointer.
    boost::shared_ptr<Utility::Xml::Node> Send(const std::string& method, const std::string& targetKind,
                                               const std::string& targetId,
                                               const boost::shared_ptr<Utility::Xml::Node>& argumentList,
                                               const unsigned char* data, unsigned int size, bool wait);
    // The proxy tunnel request for `host` ("address:port"); any 200 answer opens it.
    boost::shared_ptr<Utility::Xml::Node> SendConnect(const std::string& host, bool wait);
    boost::shared_ptr<Utility::Xml::Node> SendRequest(const std::vector<Utility::Http::BodyPartInformation>& parts,
                                                      bool wait);
    // An audio post: no reply is awaited. Serialised with the calls by the send lock.
    void SendAudio(const Utility::Http::BodyPartInformation& part);
    boost::shared_ptr<Utility::Xml::Node> WaitReceive();

    void CreateRequestBody(std::ostream& out, const std::string& method, const std::string& targetKind,
                           const std::string& targetId, const boost::shared_ptr<Utility::Xml::Node>& argumentList);

    // The session's listener (null: none), told of transport failures; not owned. With a
    // notification handler it is told on the handler's thread, after the notifications
    // read before the failure, and after the waiting call has been given the failure;
    // without one, on the thread that found the failure, before the waiting call is given
    // the very same error. Waits while the listener is being called on another thread.
    void SetListener(SessionListener* listener);
    // The recognizer's notification handler, told of each call that waits for its reply
    // (NotificationHandler::CallScope); not kept alive by the sender.
    void SetNotificationHandler(const boost::shared_ptr<NotificationHandler>& handler);
    // Detaches from the requester and stops the controller; a call waiting then, or
    // later, ends with 5006 unless an error was recorded for it. Then waits while the
    // session listener is being called on another thread.
    void Stop();
    // True while a call given up before its reply came is still owed that reply.
    bool IsReplyOwed();

    void OnReceived(const Utility::Http::ResponseInformation& reply) override;
    void OnError(int kind, const boost::system::error_code& error) override;
    void OnClosed() override;

    // Reads a reply into the slots; true when the connection is to be stopped.
    bool ParseResponseInformation(const Utility::Http::ResponseInformation& reply);
    void CheckResponse(const boost::shared_ptr<Utility::Xml::Node>& element);
    void CreateException(const boost::shared_ptr<Utility::Xml::Node>& element);

private:
    RequestSender(const boost::shared_ptr<Utility::Http::Controller>& controller, int encodingMode);

    // Clears the slots and sets the tunnel flag under the send lock, then sends with
    // `send`; a send failure becomes error 5002.
    template <typename SendFunction>
    boost::shared_ptr<Utility::Xml::Node> Transmit(bool tunnel, bool wait, const SendFunction& send);
    // Puts an error into the slot (which owns it), freeing one left there unread.
    void Record(Exception* error);
    // Records a transport failure, tells the session listener and wakes the caller.
    void RecordFailure(Exception* error);
    // Calls the session listener, if any, under the listener lock.
    void TellListener(Exception& error);
    // Under the receive lock: a reply is owed to a call given up, and has not come.
    bool OwedLocked() const;

    const boost::shared_ptr<Utility::Http::Controller> controller_;
    boost::recursive_mutex listenerLock_;
    SessionListener* listener_;
    boost::weak_ptr<NotificationHandler> handler_;
    boost::recursive_mutex receiveLock_;
    boost::recursive_mutex sendLock_;
    boost::condition_variable_any replyEvent_;
    boost::shared_ptr<Utility::Xml::Node> replySlot_;
    Exception* errorSlot_;
    const int encodingMode_;
    bool tunnel_;
    bool stopped_;
    // A call is waiting for its reply, or was given up while waiting for it.
    bool owed_;
};

} // namespace Client
} // namespace Orvane
