#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <boost/asio/error.hpp>
#include <boost/shared_ptr.hpp>

#include "Utility/Tcp/Connection.h"
#include "Utility/Tcp/Connector.h"
#include "Utility/Tcp/WsConnection.h"
#include "support/PeerSocket.h"
#include "support/ScopedEnvironment.h"
#include "support/SocketPeer.h"
#include "support/TlsAuthority.h"
#include "support/TrustedServer.h"
#include "support/WaitFor.h"
#include "support/WsPeer.h"

namespace Orvane {
namespace Test {

// A TCP connection made by the connector to a SocketPeer, and the accepted peer side.
struct TcpRig {
    typedef Utility::Tcp::Connection ConnectionType;

    explicit TcpRig(unsigned int receiveBufferSize = 32768, int peerReceiveBuffer = 0)
        : server(16, peerReceiveBuffer)
    {
        Utility::Tcp::Connector connector;
        connector.host = "127.0.0.1";
        connector.port = server.Port();
        connector.receiveBufferSize = receiveBufferSize;
        connection = connector.Connect(5000);
        peer = server.Accept();
    }

    void PeerSends(const std::string& bytes) { peer->Send(bytes); }
    // `bytes` in pieces of `piece` bytes, one every `interval` (the peer's pace); what is
    // left once the client has closed is dropped.
    void PeerSendsPaced(const std::string& bytes, std::size_t piece, std::chrono::milliseconds interval)
    {
        for (std::size_t start = 0; start < bytes.size(); start += piece) {
            if (start != 0) {
                std::this_thread::sleep_for(interval);
            }
            if (!SentUntilClosed(bytes.substr(start, piece))) {
                return;
            }
        }
    }
    // `size` bytes: `head`, then "x" up to the size; dropped once the client has closed.
    void PeerSendsSized(const std::string& head, std::size_t size)
    {
        SentUntilClosed(head + std::string(size - head.size(), 'x'));
    }
    // Bytes that the connection sent and the peer has not read yet: at least one.
    std::string PeerReceivesSome() { return peer->ReceiveSome(1 << 20); }
    // The first bytes of a message whose rest never comes.
    void PeerBeginsMessage(const std::string& bytes) { PeerSends(bytes); }
    void PeerCloses() { peer->Close(); }
    void PeerResets() { peer->Reset(); }
    static boost::system::error_code CloseError() { return boost::asio::error::eof; }
    static boost::system::error_code ResetError() { return boost::asio::error::connection_reset; }

    bool SentUntilClosed(const std::string& bytes)
    {
        try {
            peer->Send(bytes);
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    }

    SocketPeer server;
    std::unique_ptr<PeerSocket> peer;
    boost::shared_ptr<ConnectionType> connection;
};

// A WebSocket connection made by the connector to a silent WsPeer that sends only what
// the test tells it to.
struct WsRig {
    typedef Utility::Tcp::WsConnection ConnectionType;

    explicit WsRig(unsigned int receiveBufferSize = 32768) : peer(server.Peer(WsPeer::Mode::Silent))
    {
        Utility::Tcp::Connector connector;
        connector.wsUri = peer.Uri();
        connector.receiveBufferSize = receiveBufferSize;
        connection = connector.WsConnect(10000);
    }

    void PeerSends(const std::string& bytes) { peer.SendBinary(bytes); }
    // One message: fragmented, or of `size` bytes (as the TCP rig's).
    void PeerSendsPaced(const std::string& bytes, std::size_t piece, std::chrono::milliseconds interval)
    {
        peer.SendFragmented(bytes, piece, interval);
    }
    void PeerSendsSized(const std::string& head, std::size_t size) { peer.SendSized(head, size); }
    // Bytes that the connection sent and the test has not taken yet: at least one,
    // whatever the message boundaries.
    std::string PeerReceivesSome()
    {
        std::string all;
        if (!WaitFor([&] { return (all = peer.Received()).size() > taken; })) {
            throw std::runtime_error("the WebSocket peer received nothing in time");
        }
        const std::string bytes = all.substr(taken);
        taken = all.size();
        return bytes;
    }
    // The first frame of a WebSocket message whose other frames never come.
    void PeerBeginsMessage(const std::string& bytes) { peer.BeginMessage(bytes); }
    void PeerCloses() { peer.Close(); }
    void PeerResets() { peer.Abort(); }
    // Any end of an open WebSocket connection that Close did not start reads as a reset.
    static boost::system::error_code CloseError() { return boost::asio::error::connection_reset; }
    static boost::system::error_code ResetError() { return boost::asio::error::connection_reset; }

    TrustedServer server;
    WsPeer peer;
    boost::shared_ptr<ConnectionType> connection;
    std::size_t taken = 0;
};

} // namespace Test
} // namespace Orvane
