#pragma once

#include <websocketpp/transport/asio/security/tls.hpp>

#include "Utility/Tcp/ReadCountingStream.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

// websocketpp's TLS socket policy, with every connection's reads, failed ones included,
// shown to the observers set on the endpoint (ReadCountingStream). websocketpp reads and
// writes the WebSocket stream through the connection's get_socket(); the TLS handshake and a
// proxy's tunnel use the layers below it and are not shown.
class CountingTlsSocket : public websocketpp::transport::asio::tls_socket::endpoint {
public:
    class connection : public websocketpp::transport::asio::tls_socket::connection {
    public:
        ReadCountingStream& get_socket()
        {
            counting_.Attach(websocketpp::transport::asio::tls_socket::connection::get_socket());
            return counting_;
        }

        void SetObservers(const ReadCountingStream::Observers& observers) { counting_.Observe(observers); }

    private:
        ReadCountingStream counting_;
    };
    typedef connection socket_con_type;
    typedef websocketpp::lib::shared_ptr<connection> socket_con_ptr;

    // For the connections made from now on.
    void SetReadObservers(const ReadCountingStream::Observers& observers) { observers_ = observers; }

protected:
    websocketpp::lib::error_code init(socket_con_ptr socket)
    {
        socket->SetObservers(observers_);
        return websocketpp::transport::asio::tls_socket::endpoint::init(socket);
    }

private:
    ReadCountingStream::Observers observers_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
