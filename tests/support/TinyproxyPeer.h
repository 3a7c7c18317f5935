#pragma once

#include <memory>
#include <string>

#include "support/ChildProcess.h"
#include "support/TemporaryDirectory.h"

namespace Orvane {
namespace Test {

// tinyproxy (Debian) on 127.0.0.1, started on a free port with a generated configuration
// that allows CONNECT to any port, and stopped with this object.
class TinyproxyPeer {
public:
    TinyproxyPeer();
    TinyproxyPeer(const TinyproxyPeer&) = delete;
    TinyproxyPeer& operator=(const TinyproxyPeer&) = delete;
    ~TinyproxyPeer();

    unsigned short Port() const { return port_; }
    // "http://127.0.0.1:<port>".
    std::string Uri() const;
    // The proxy's log so far (one line per request at level Info).
    std::string Log() const;

private:
    TemporaryDirectory directory_;
    std::unique_ptr<ChildProcess> process_;
    unsigned short port_;
};

} // namespace Test
} // namespace Orvane
