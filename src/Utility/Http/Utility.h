#pragma once

#include <map>
#include <string>
#include <vector>

#include "Utility/Http/BodyPartInformation.h"
#include "Utility/Http/ContentType.h"
#include "Utility/Http/StatusCode.h"
#include "Utility/Tcp/Buffer.h"

namespace Orvane {
namespace Utility {
namespace Http {

// Header writers and value readers of the HTTP layer. Each writer appends exact bytes,
// each line ending in CRLF, and appends nothing when it raises.
class Utility {
public:
    Utility() = delete;

    // "HTTP/1.0 200 OK", "HTTP/1.0 400 Bad Request" or "HTTP/1.0 403 Forbidden".
    static void AppendStatusLine(Tcp::Buffer& buffer, StatusCode status);
    // "Date: " and the current time in UTC (RFC 1123, for example "Tue, 09 Dec 2014 08:15:03 GMT").
    static void AppendDateHeader(Tcp::Buffer& buffer);
    // The Content-Type line of `type`; `boundary` is required for MultipartFormData (may be empty).
    static void AppendContentTypeHeader(Tcp::Buffer& buffer, ContentType type, const char* boundary);
    static void AppendContentLengthHeader(Tcp::Buffer& buffer, unsigned int length);
    // "User-Agent: " and the agent; an agent with CR, LF or NUL is refused.
    static void AppendUserAgentHeader(Tcp::Buffer& buffer, const std::string& agent);
    // For each part "--" boundary CRLF, its bytes, CRLF; then "--" boundary "--" CRLF.
    // Writes (parts + 1) * (boundary length + 6) bytes plus the parts' lengths.
    static void AppendBody(Tcp::Buffer& buffer, const std::string& boundary,
                           const std::vector<BodyPartInformation>& parts);
    // The number of bytes AppendBody writes; error 5 for a part without bytes or a body
    // beyond 4 GiB.
    static unsigned int BodyLength(const std::string& boundary, const std::vector<BodyPartInformation>& parts);

    // A fresh 31-character boundary from one reading of the local clock:
    // "---" YYYYMMDD HHMMSS mmm "+" and ten digits (microseconds since midnight * 125).
    static void CreateBoundaryString(std::string& out);

    // Refuses a text written into a header or request line that holds CR, LF or NUL
    // (error 5 naming `field`), so that no caller can inject lines into a message.
    static void CheckFieldValue(const std::string& value, const char* field);

    // The value stored under exactly `name`; error 6 when absent.
    static const std::string& GetValue(const std::map<std::string, std::string>& values, const char* name);
    // The ";"-separated name=value parameters of a header value, names lower-cased,
    // double quotes around a value removed; the first of a repeated name stays.
    static void GetHeaderValueParameter(const std::string& value, std::map<std::string, std::string>& parameters);
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
