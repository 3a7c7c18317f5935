#pragma once

// Builders of HTTP/1.0 wire messages and a text description of a parsed message, for the
// HTTP tests, the parser fuzzer and the HTTP benchmarks. Header-only.

#include <cstdio>
#include <string>
#include <vector>

#include "Utility/Http/Parser.h"

namespace Orvane {
namespace Test {

// The bytes of `text`, as the parser and the writers take them.
inline const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// One multipart part: its header lines (each ending in CRLF, without the empty line) and data.
struct WirePart {
    std::string headers;
    std::string data;
};

// "Content-Length: n" CRLF "Content-Type: ..." CRLF for a part of `data`.
inline WirePart MakeWirePart(const std::string& name, const std::string& data)
{
    return {"Content-Disposition: form-data; name=\"" + name + "\"\r\nContent-Length: " +
                std::to_string(data.size()) + "\r\n",
            data};
}

// The body: each part as "--B" CRLF headers CRLF data CRLF, then "--B--" CRLF.
inline std::string MultipartBody(const std::string& boundary, const std::vector<WirePart>& parts)
{
    std::string body;
    for (const WirePart& part : parts) {
        body += "--" + boundary + "\r\n" + part.headers + "\r\n" + part.data + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

// A whole message: start line, `headers` (lines ending in CRLF), Content-Length of
// `body`, the empty line and the body.
inline std::string WireMessage(const std::string& startLine, const std::string& headers, const std::string& body)
{
    return startLine + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

inline std::string MultipartMessage(const std::string& startLine, const std::string& boundary,
                                    const std::vector<WirePart>& parts)
{
    return WireMessage(startLine, "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n",
                       MultipartBody(boundary, parts));
}

// `count` small text replies, back to back, as they arrive pipelined in one read.
inline std::string PipelinedReplies(std::size_t count)
{
    const std::string one = WireMessage("HTTP/1.0 200 OK", "Content-Type: text/plain\r\n", "OK");
    std::string wire;
    wire.reserve(one.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        wire += one;
    }
    return wire;
}

inline std::string Escaped(const unsigned char* bytes, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = bytes[i];
        if (c >= 32 && c < 127 && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            text += escape;
        }
    }
    return text;
}

inline std::string Escaped(const std::string& text)
{
    return Escaped(Bytes(text), text.size());
}

// Everything a listener can read of the parser's complete message, including the bytes
// of its parts; call it while the parts' bytes are still in place.
inline std::string DescribeMessage(const Utility::Http::Parser& parser)
{
    std::string text;
    const std::map<std::string, std::string>* headers = nullptr;
    const std::vector<Utility::Http::BodyPartInformation>* parts = nullptr;
    if (parser.GetKind() == Utility::Http::Parser::KindRequest) {
        const Utility::Http::RequestInformation& request = *parser.GetRequest();
        text = "request [" + Escaped(request.method) + "] [" + Escaped(request.uri) + "] [" +
               Escaped(request.version) + "]\n";
        headers = &request.headers;
        parts = &request.bodyParts;
    } else {
        const Utility::Http::ResponseInformation& response = *parser.GetResponse();
        text = "response " + std::to_string(response.statusCode) + " [" + Escaped(response.reason) + "] [" +
               Escaped(response.version) + "]\n";
        headers = &response.headers;
        parts = &response.bodyParts;
    }
    for (const auto& header : *headers) {
        text += "header [" + Escaped(header.first) + "]=[" + Escaped(header.second) + "]\n";
    }
    for (const Utility::Http::BodyPartInformation& part : *parts) {
        text += "part [" + Escaped(part.GetPartBytes(), part.GetPartLength()) + "]";
        if (part.GetData() != nullptr) {
            text += " data [" + Escaped(part.GetData(), part.GetDataLength()) + "]";
        }
        for (const auto& header : part.GetPartHeaders()) {
            text += " [" + Escaped(header.first) + "]=[" + Escaped(header.second) + "]";
        }
        text += "\n";
    }
    return text;
}

} // namespace Test
} // namespace Orvane
