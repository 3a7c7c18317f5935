#include "support/WsPeer.h"

#include <stdexcept>

#include <boost/algorithm/hex.hpp>

namespace Orvane {
namespace Test {

namespace {
const char* ModeName(WsPeer::Mode mode)
{
    switch (mode) {
    case WsPeer::Mode::Silent:
        return "silent";
    case WsPeer::Mode::Bridge:
        return "bridge";
    case WsPeer::Mode::Echo:
        break;
    }
    return "echo";
}
} // namespace

WsPeer::WsPeer(const Options& options) : port_(0)
{
    process_.reset(new ChildProcess({"/usr/bin/python3", TESSIVAL_SOURCE_DIR "/tests/support/ws_peer.py",
                                     "--certificate", options.certificateFile, "--key", options.keyFile, "--mode",
                                     ModeName(options.mode), "--backend-port",
                                     std::to_string(options.backendPort)}));
    const std::string line = process_->ReadLine(std::chrono::seconds(20));
    if (line.compare(0, 5, "PORT ") != 0) {
        throw std::runtime_error("unexpected first line from the WebSocket peer: " + line);
    }
    port_ = static_cast<unsigned short>(std::stoi(line.substr(5)));
}

std::string WsPeer::Uri(const std::string& host) const
{
    return "wss://" + host + ":" + std::to_string(port_) + "/";
}

void WsPeer::SendBinary(const std::string& bytes) { Command("send " + boost::algorithm::hex(bytes)); }

void WsPeer::SendFragmented(const std::string& bytes, std::size_t frameSize, std::chrono::milliseconds interval)
{
    Command("fragments " + std::to_string(frameSize) + " " + std::to_string(interval.count()) + " " +
            boost::algorithm::hex(bytes));
}

void WsPeer::SendSized(const std::string& head, std::size_t size)
{
    // 64 MiB through TLS to a client under a sanitizer on a loaded machine take a while.
    Command("sized " + std::to_string(size) + " " + boost::algorithm::hex(head), std::chrono::seconds(180));
}

void WsPeer::BeginMessage(const std::string& bytes) { Command("begin " + boost::algorithm::hex(bytes)); }

void WsPeer::Close(int code) { Command("close " + std::to_string(code)); }

void WsPeer::Abort() { Command("abort"); }

void WsPeer::Finish() { Command("finish"); }

void WsPeer::HoldCloses(CloseHold how)
{
    Command(std::string("hold ") + (how == CloseHold::Echo ? "echo" : how == CloseHold::Ignore ? "ignore" : "off"));
}

WsPeer::Held WsPeer::Holding()
{
    const std::string answer = Command("holding");
    return Held{answer.compare(0, 1, "1") == 0, answer.find("open") != std::string::npos};
}

std::string WsPeer::Received() { return boost::algorithm::unhex(Command("received")); }

int WsPeer::ConnectionCount() { return std::stoi(Command("count")); }

std::string WsPeer::UserAgent() { return Command("useragent"); }

std::string WsPeer::Command(const std::string& line, std::chrono::seconds timeout)
{
    process_->WriteLine(line);
    const std::string answer = process_->ReadLine(timeout);
    if (answer == "OK") {
        return std::string();
    }
    if (answer.compare(0, 3, "OK ") == 0) {
        return answer.substr(3);
    }
    throw std::runtime_error("WebSocket peer refused \"" + line + "\": " + answer);
}

} // namespace Test
} // namespace Orvane
