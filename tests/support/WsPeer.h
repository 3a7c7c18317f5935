#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "support/ChildProcess.h"

namespace Orvane {
namespace Test {

// A real TLS WebSocket server on 127.0.0.1 (tests/support/ws_peer.py under Debian's
// python3-websockets), started on a free port and stopped with this object. The test
// scripts it: messages to send, a clean close, an abort; echo, silent or bridge mode.
class WsPeer {
public:
    enum class Mode { Echo, Silent, Bridge };

    struct Options {
        std::string certificateFile;
        std::string keyFile;
        Mode mode = Mode::Echo;
        // Bridge mode: the TCP backend on 127.0.0.1 that each connection is relayed to.
        unsigned short backendPort = 0;
    };

    explicit WsPeer(const Options& options);
    WsPeer(const WsPeer&) = delete;
    WsPeer& operator=(const WsPeer&) = delete;

    unsigned short Port() const { return port_; }
    // "wss://<host>:<port>/".
    std::string Uri(const std::string& host = "127.0.0.1") const;

    // Commands on the newest connection; each returns once the server has done it.
    void SendBinary(const std::string& bytes);
    // One binary message in frames of `frameSize` bytes, one every `interval`; returns once
    // all are out or the connection has ended.
    void SendFragmented(const std::string& bytes, std::size_t frameSize, std::chrono::milliseconds interval);
    // One binary message of `size` bytes: `head`, then "x" up to the size. Returns once it
    // is out or the connection has ended; a large one waits as long as a slow client reads.
    void SendSized(const std::string& head, std::size_t size);
    // `bytes` as the first frame of a binary message whose other frames never come.
    void BeginMessage(const std::string& bytes);
    void Close(int code = 1000);
    void Abort();
    // Ends the server's side of TCP (FIN) with no close frame and no TLS close_notify, and
    // keeps the socket open.
    void Finish();

    // How the server meets the client's close frame, on every connection from now on.
    // Held: websockets never sees it; it is answered with its echo or not at all, and then
    // nothing more is read, so TLS and TCP stay open until the client drops the socket.
    enum class CloseHold { Off, Echo, Ignore };
    void HoldCloses(CloseHold how);
    // The newest connection: whether its close frame was held, and whether the client's
    // side of TCP is still open.
    struct Held {
        bool closeHeld;
        bool tcpOpen;
    };
    Held Holding();
    // Everything received on the newest connection.
    std::string Received();

    int ConnectionCount();
    std::string UserAgent();

private:
    // Sends `line` and waits up to `timeout` for the server's answer.
    std::string Command(const std::string& line, std::chrono::seconds timeout = std::chrono::seconds(30));

    std::unique_ptr<ChildProcess> process_;
    unsigned short port_;
};

} // namespace Test
} // namespace Orvane
