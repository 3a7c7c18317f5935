#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "Client/NotificationHandler.h"
#include "Client/RequestSender.h"
#include "Utility/Http/Controller.h"
#include "Utility/Tcp/Connection.h"
#include "Utility/Tcp/Connector.h"

namespace Orvane {
namespace Test {

// The client side of one connection as a connected session builds it: a TCP connection to
// `host`:`port`, its HTTP controller, a request sender installed as the requester's
// listener and, with `AttachHandler`, a notification handler as the respondent's. The
// destructor stops the sender (and with it the controller).
class ClientConnection {
public:
    struct Options {
        std::string host = "127.0.0.1";
        unsigned short port = 0;
        std::string userAgent = "TessivalTest/1.0";
        int receiveTimer = 60000;
        int sendTimer = 5000;
        int responseTimer = -1;  // never
        int encodingMode = 2;
    };

    explicit ClientConnection(const Options& options) : options_(options)
    {
        Utility::Tcp::Connector connector;
        connector.host = options.host;
        connector.port = options.port;
        connector.receiveBufferSize = 32768;
        connection = connector.Connect(5000);
        controller = Utility::Http::Controller::CreateInstance(connection, options.userAgent, options.receiveTimer,
                                                               options.sendTimer, options.responseTimer);
        sender = Client::RequestSender::CreateInstance(controller, options.encodingMode);
        controller->GetRequester()->SetListener(sender);
    }

    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    ~ClientConnection()
    {
        sender->Stop();
        if (handler) {
            controller->GetRespondent()->SetListener(boost::shared_ptr<Utility::Http::RequestListener>());
        }
    }

    // Installs a notification handler with `hook` as the respondent's request listener;
    // call before Start.
    void AttachHandler(const Client::NotificationHandler::CompletionHook& hook)
    {
        handler = Client::NotificationHandler::CreateInstance(hook, options_.encodingMode);
        controller->GetRespondent()->SetListener(handler);
    }

    void Start() { controller->Start(); }

    boost::shared_ptr<Utility::Tcp::Connection> connection;
    boost::shared_ptr<Utility::Http::Controller> controller;
    boost::shared_ptr<Client::RequestSender> sender;
    boost::shared_ptr<Client::NotificationHandler> handler;

private:
    Options options_;
};

} // namespace Test
} // namespace Orvane
