#include "support/TinyproxyPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/LoopbackAddress.h"
#include "support/UniqueFd.h"
#include "support/WaitFor.h"

namespace Orvane {
namespace Test {

namespace {

// A port that was free a moment ago; tinyproxy needs a number in its configuration.
unsigned short FreePort()
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free port for tinyproxy");
    }
    return ntohs(address.sin_port);
}

bool Accepts(unsigned short port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(port);
    return ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

} // namespace

TinyproxyPeer::TinyproxyPeer() : directory_("tessival-proxy"), port_(0)
{
    // Another process may take the port between the probe and tinyproxy's bind: retry.
    for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
        const unsigned short port = FreePort();
        std::ostringstream configuration;
        configuration << "Port " << port << "\n"
                      << "Listen 127.0.0.1\n"
                      << "Timeout 30\n"
                      << "MaxClients 16\n"
                      << "Allow 127.0.0.1\n"
                      << "DisableViaHeader Yes\n"
                      << "LogLevel Info\n"
                      << "LogFile \"" << directory_.File("tinyproxy.log") << "\"\n";
        const std::string file = directory_.Write("tinyproxy.conf", configuration.str());
        std::unique_ptr<ChildProcess> process(new ChildProcess({"/usr/bin/tinyproxy", "-d", "-c", file}));
        const bool up = WaitFor([&] { return !process->IsRunning() || Accepts(port); });
        if (up && process->IsRunning()) {
            process_ = std::move(process);
            port_ = port;
        }
    }
    if (port_ == 0) {
        throw std::runtime_error("tinyproxy did not start");
    }
}

TinyproxyPeer::~TinyproxyPeer()
{
    if (process_) {
        process_->Stop();
    }
}

std::string TinyproxyPeer::Uri() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string TinyproxyPeer::Log() const
{
    std::ifstream in(directory_.File("tinyproxy.log"));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace Test
} // namespace Orvane
