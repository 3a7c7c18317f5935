#pragma once

#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

// Writes the server's side of the protocol: multipart replies and requests, bare status
// replies. Every function returns one complete message (or part).
class HttpWriter {
public:
    // A body part: Content-Disposition, Content-Length of the data, the empty line, the data.
    static std::string Part(const std::string& disposition, const std::string& data);
    // "--B" CRLF part CRLF for each part, then "--B--" CRLF.
    static std::string MultipartBody(const std::string& boundary, const std::vector<std::string>& parts);
    // "HTTP/1.0 200 OK" with a multipart body of the given parts.
    static std::string MultipartReply(const std::vector<std::string>& parts);
    // A request (a notification) with a multipart body of the given parts.
    static std::string MultipartRequest(const std::string& method, const std::string& target,
                                        const std::vector<std::string>& parts);
    // A status line and "Content-Length: 0", no body.
    static std::string StatusReply(int status);
    static std::string ReasonPhrase(int status);
    // A boundary that no other message of this process uses.
    static std::string NewBoundary();
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
