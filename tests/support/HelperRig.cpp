#include "support/HelperRig.h"

#include <fstream>
#include <stdexcept>

#include <opus/opus.h>

#include "support/AudioFixture.h"
#include "support/ParameterFile.h"
#include "support/SignalTools.h"

namespace Orvane {
namespace Test {

const char* ToString(HelperRoute route)
{
    switch (route) {
    case HelperRoute::Tcp:
        return "Tcp";
    case HelperRoute::TcpProxy:
        return "TcpProxy";
    case HelperRoute::WebSocket:
        return "WebSocket";
    case HelperRoute::WebSocketProxy:
        return "WebSocketProxy";
    }
    return "?";
}

HelperRig::HelperRig(HelperRoute route) : directory("helper"), route_(route)
{
    const bool webSocket = route == HelperRoute::WebSocket || route == HelperRoute::WebSocketProxy;
    // The trust is put in the environment before any thread starts.
    if (webSocket) {
        trust_.reset(new TrustedServer);
    }
    server.Start();
    if (webSocket) {
        bridge_.reset(new WsPeer(trust_->Peer(WsPeer::Mode::Bridge, server.Port())));
    }
    if (route == HelperRoute::TcpProxy || route == HelperRoute::WebSocketProxy) {
        proxy_.reset(new TinyproxyPeer);
    }
}

std::map<std::string, std::string> HelperRig::Options(const std::map<std::string, std::string>& changes) const
{
    std::map<std::string, std::string> options = {
        {"user_agent", "TessivalHelperTest/1.0"},
        {"user_id", "tester"},
        {"codec", "PCM"},
        {"detection_mode", "false"},
        {"noise_reduction_mode", "false"},
        {"ostrel_model_file", ModelPath()},
        {"ostrel_config_file", ConfigPath()},
        {"connection_timeout", "10000"},
        {"send_timer", "10000"},
        {"receive_timer", "10000"},
        {"response_timer", "10000"},
        {"recognition_timeout", "0"},
        {"sentence_timeout", "60000"},
    };
    if (bridge_) {
        options["ws_proxy_uri"] = bridge_->Uri();
    } else {
        options["server_address"] = server.Host();
        options["server_port"] = std::to_string(server.Port());
    }
    if (proxy_) {
        options["proxy_address"] = "127.0.0.1";
        options["proxy_port"] = std::to_string(proxy_->Port());
    }
    for (const auto& change : changes) {
        if (change.second.empty() && change.first != "user_id") {
            options.erase(change.first);
        } else {
            options[change.first] = change.second;
        }
    }
    return options;
}

std::string HelperRig::WriteParameters(const std::map<std::string, std::string>& changes) const
{
    return WriteParameterFile(directory.File("parameters.ini"), Options(changes));
}

std::string HelperRig::WriteAudio(const std::string& name, const std::vector<short>& samples) const
{
    return directory.Write(name, SignalTools::ToBytes(samples));
}

std::vector<short> Tone(double seconds)
{
    return SignalTools::Sine(440.0, 8000.0, static_cast<std::size_t>(seconds * 16000));
}

const std::vector<Loopback::ResultSentence>& TodayResult()
{
    static const std::vector<Loopback::ResultSentence> result = {
        {0.9, {{"今日;きょう", "ky o u", 0, 10, 0.8}, {"は", "w a", 10, 15, 0.7}}}};
    return result;
}

Loopback::Reply ResultAndCompletion()
{
    return Loopback::Reply::Ok()
        .Then(Loopback::Notice::EndPoint("", 1.0, TodayResult(), "r1"))
        .Then(Loopback::Notice::Completed());
}

std::vector<short> DecodeOpusRecords(const std::string& records, std::size_t* recordCount)
{
    int status = 0;
    OpusDecoder* decoder = opus_decoder_create(16000, 1, &status);
    if (decoder == nullptr || status != OPUS_OK) {
        throw std::runtime_error("opus_decoder_create failed");
    }
    std::vector<short> samples;
    std::size_t count = 0;
    std::size_t at = 0;
    const auto byteAt = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(records[i])); };
    try {
        while (at < records.size()) {
            if (records.size() - at < 8) {
                throw std::runtime_error("truncated record header");
            }
            const uint32_t size = byteAt(at) << 24 | byteAt(at + 1) << 16 | byteAt(at + 2) << 8 | byteAt(at + 3);
            at += 8;
            if (size > records.size() - at) {
                throw std::runtime_error("truncated record");
            }
            short frame[5760];
            const int decoded = opus_decode(decoder, reinterpret_cast<const unsigned char*>(records.data() + at),
                                            static_cast<opus_int32>(size), frame, 5760, 0);
            if (decoded < 0) {
                throw std::runtime_error("opus_decode failed");
            }
            samples.insert(samples.end(), frame, frame + decoded);
            at += size;
            ++count;
        }
    } catch (...) {
        opus_decoder_destroy(decoder);
        throw;
    }
    opus_decoder_destroy(decoder);
    if (recordCount != nullptr) {
        *recordCount = count;
    }
    return samples;
}

} // namespace Test
} // namespace Orvane
