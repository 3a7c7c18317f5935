#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/PeerSocket.h"
#include "support/UniqueFd.h"

namespace Orvane {
namespace Test {

// A TCP server on 127.0.0.1 for the transport tests: it accepts on demand and the test
// scripts each connection (any byte split, FIN, RST, silence, slow reading).
class SocketPeer {
public:
    // `receiveBuffer` > 0 shrinks the accepted sockets' receive buffers, so that a client
    // writing to a peer that does not read stalls quickly.
    explicit SocketPeer(int backlog = 16, int receiveBuffer = 0);
    ~SocketPeer();
    SocketPeer(const SocketPeer&) = delete;
    SocketPeer& operator=(const SocketPeer&) = delete;

    unsigned short Port() const { return port_; }
    std::unique_ptr<PeerSocket> Accept(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // A listener that never accepts and whose queue is full: a connect to it neither
    // completes nor fails.
    static std::unique_ptr<SocketPeer> NonAnswering();

    // A port on 127.0.0.1 held bound but not listening: a connect to it is refused.
    static std::unique_ptr<SocketPeer> Refusing();

private:
    SocketPeer(UniqueFd listener, unsigned short port);

    UniqueFd listener_;
    unsigned short port_;
    std::vector<UniqueFd> fillers_;
};

} // namespace Test
} // namespace Orvane
