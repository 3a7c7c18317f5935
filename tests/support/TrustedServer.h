#pragma once

#include "support/ScopedEnvironment.h"
#include "support/TlsAuthority.h"
#include "support/WsPeer.h"

namespace Orvane {
namespace Test {

// A test authority, a server certificate for 127.0.0.1 and the trust in it (SSL_CERT_FILE,
// set before the test starts threads).
struct TrustedServer {
    TrustedServer()
        : certificate(authority.Issue("IP:127.0.0.1,DNS:localhost")),
          trust("SSL_CERT_FILE", authority.CertificateFile())
    {
    }

    WsPeer::Options Peer(WsPeer::Mode mode, unsigned short backendPort = 0) const
    {
        WsPeer::Options options;
        options.certificateFile = certificate.certificateFile;
        options.keyFile = certificate.keyFile;
        options.mode = mode;
        options.backendPort = backendPort;
        return options;
    }

    TlsAuthority authority;
    TlsAuthority::ServerCertificate certificate;
    ScopedEnvironment trust;
};

} // namespace Test
} // namespace Orvane
