#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/weak_ptr.hpp>

#include "Orvane/Session.h"

namespace Orvane {
namespace Utility {
namespace Http {
class Controller;
} // namespace Http
namespace Tcp {
class Connection;
class WsConnection;
} // namespace Tcp
} // namespace Utility

namespace Client {

class RequestSender;

// The client's session: collects the timers and the way to the server (TCP entries, each
// direct or through one HTTP proxy, or a WebSocket route), and Connect turns them into a
// connection, its HTTP controller and request sender, and a recognizer made on the server.
//
// Its operations are called by one thread at a time; the parameter lock only keeps the
// timer texts and the controller consistent with a timer change made after Connect while
// the connection's threads run.
class Session : public Orvane::Session, private boost::noncopyable {
public:
    // `encodingMode`: 1 for Shift_JIS, 2 otherwise.
    explicit Session(int encodingMode);

    void Release() override;
    Orvane::Recognizer* Connect(const char* name) override;
    void SetListener(SessionListener* listener) override;
    void SetServerInformation(const char* ws_proxy_uri, const char* user_agent, const char* proxy_host,
                              const char* proxy_port) override;
    void InsertServerInformation(int index, const char* ip_address, const char* port, const char* user_agent,
                                 const char* proxy_host, const char* proxy_port) override;
    void ClearServerInformation() override;
    void InsertResourceInformation(const char* type, const char* name) override;
    void ClearResourceInformation() override;
    void SetParameter(const char* name, const char* value) override;
    const char* GetParameter(const char* name) override;

    // A timer value: a decimal int above 0, else error 7000.
    static int ConvertTimerValue(const char* value);

    typedef std::pair<std::string, std::string> Entry;
    const std::vector<Entry>& ServerEntries() const { return servers_; }
    const std::vector<Entry>& ResourceEntries() const { return resources_; }
    int EncodingMode() const { return encodingMode_; }

private:
    virtual ~Session();

    // A TCP connection to the proxy, or to the first server entry that answers.
    boost::shared_ptr<Utility::Tcp::Connection> ConnectServer();
    boost::shared_ptr<Utility::Tcp::WsConnection> ConnectWsServer();
    // The timer text of `name` as an int; boost::bad_lexical_cast when it is none.
    int TimerValue(const char* name);
    // The proxy host and port that both server-information operations store.
    void StoreProxy(const char* proxyHost, const char* proxyPort);
    // The HTTP controller, sender and recognizer over a new connection.
    template <typename ConnectionPointer>
    Orvane::Recognizer* Open(const ConnectionPointer& connection, const char* name);

    std::vector<Entry> servers_;
    std::vector<Entry> resources_;
    std::map<std::string, std::string> parameters_;
    SessionListener* listener_;
    boost::shared_ptr<Utility::Http::Controller> controller_;
    boost::shared_ptr<RequestSender> sender_;
    std::string parameterAnswer_;
    std::string userAgent_;
    std::string address_;
    unsigned short port_;
    std::string wsUri_;
    bool wsRoute_;
    std::string proxyHost_;
    unsigned short proxyPort_;
    const int encodingMode_;
    // Every sender made by Connect that still lives: each gets the session listener.
    std::vector<boost::weak_ptr<RequestSender>> senders_;
    // Guards the parameter map and the controller reference.
    boost::recursive_mutex parameterLock_;
};

} // namespace Client
} // namespace Orvane
