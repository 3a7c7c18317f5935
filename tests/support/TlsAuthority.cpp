#include "support/TlsAuthority.h"

#include "support/ChildProcess.h"

namespace Orvane {
namespace Test {

namespace {
const char* const kOpenssl = "/usr/bin/openssl";
} // namespace

TlsAuthority::TlsAuthority(const std::string& commonName)
    : directory_("tessival-ca"), certificateFile_(directory_.File("ca.pem")), keyFile_(directory_.File("ca.key")),
      issued_(0)
{
    ChildProcess::Run({kOpenssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                       "-nodes", "-keyout", keyFile_, "-out", certificateFile_, "-days", "2", "-subj",
                       "/CN=" + commonName, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                       "keyUsage=critical,keyCertSign,cRLSign"});
}

TlsAuthority::ServerCertificate TlsAuthority::Issue(const std::string& subjectAltNames)
{
    const std::string name = "server" + std::to_string(++issued_);
    ServerCertificate issued{directory_.File(name + ".pem"), directory_.File(name + ".key")};
    const std::string request = directory_.File(name + ".csr");
    const std::string extensions = directory_.Write(
        name + ".ext", "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                       "extendedKeyUsage=serverAuth\nsubjectAltName=" + subjectAltNames + "\n");
    ChildProcess::Run({kOpenssl, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                       "-keyout", issued.keyFile, "-out", request, "-subj", "/CN=" + name});
    ChildProcess::Run({kOpenssl, "x509", "-req", "-in", request, "-CA", certificateFile_, "-CAkey", keyFile_,
                       "-CAcreateserial", "-out", issued.certificateFile, "-days", "2", "-extfile", extensions});
    return issued;
}

} // namespace Test
} // namespace Orvane
