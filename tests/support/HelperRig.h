#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/FlatHelper.h"
#include "support/ProcessCounts.h"
#include "support/TemporaryDirectory.h"
#include "support/TinyproxyPeer.h"
#include "support/TrustedServer.h"
#include "support/WsPeer.h"
#include "support/loopback/LoopbackServer.h"

namespace Orvane {
namespace Test {

// How the helper reaches the loopback server.
enum class HelperRoute { Tcp, TcpProxy, WebSocket, WebSocketProxy };
const char* ToString(HelperRoute route);

// A loopback recognition server reached over `route` (a TLS WebSocket bridge and tinyproxy
// where the route needs them), a temporary directory for parameter and audio files, and
// the parameter options that reach the server from the flat interface.
class HelperRig {
public:
    explicit HelperRig(HelperRoute route = HelperRoute::Tcp);

    // Server entry, user agent and id, PCM, no detection, short timers; `changes` applied
    // on top (an empty value removes the key).
    std::map<std::string, std::string> Options(const std::map<std::string, std::string>& changes = {}) const;
    std::string WriteParameters(const std::map<std::string, std::string>& changes = {}) const;
    std::string WriteAudio(const std::string& name, const std::vector<short>& samples) const;
    // The WebSocket bridge in front of the server, or null on the TCP routes.
    WsPeer* Bridge() const { return bridge_.get(); }

    Loopback::LoopbackServer server;
    TemporaryDirectory directory;

private:
    HelperRoute route_;
    std::unique_ptr<TrustedServer> trust_;
    std::unique_ptr<WsPeer> bridge_;
    std::unique_ptr<TinyproxyPeer> proxy_;
};

// `seconds` of a 440 Hz tone at 16 kHz, half scale.
std::vector<short> Tone(double seconds);
// The final result "今日は" (one sentence of two words).
const std::vector<Loopback::ResultSentence>& TodayResult();
// A success answer followed by the final result and the completion.
Loopback::Reply ResultAndCompletion();

// Opus records ("4-byte big-endian size, 4-byte big-endian final range, packet") decoded
// at 16 kHz; throws on a malformed record.
std::vector<short> DecodeOpusRecords(const std::string& records, std::size_t* recordCount = nullptr);

} // namespace Test
} // namespace Orvane
