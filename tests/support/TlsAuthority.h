#pragma once

#include <string>

#include "support/TemporaryDirectory.h"

namespace Orvane {
namespace Test {

// A certificate authority made at test time with the openssl command (P-256 keys, valid
// for two days), which issues server certificates. A client trusts it by pointing
// SSL_CERT_FILE at CertificateFile() (see ScopedEnvironment).
class TlsAuthority {
public:
    struct ServerCertificate {
        std::string certificateFile;
        std::string keyFile;
    };

    explicit TlsAuthority(const std::string& commonName = "Tessival Test CA");
    TlsAuthority(const TlsAuthority&) = delete;
    TlsAuthority& operator=(const TlsAuthority&) = delete;

    // The authority's own certificate (PEM).
    const std::string& CertificateFile() const { return certificateFile_; }

    // A server certificate signed by this authority for `subjectAltNames`, written as
    // openssl does ("IP:127.0.0.1,DNS:localhost").
    ServerCertificate Issue(const std::string& subjectAltNames);

private:
    TemporaryDirectory directory_;
    std::string certificateFile_;
    std::string keyFile_;
    int issued_;
};

} // namespace Test
} // namespace Orvane
