#pragma once

#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

// One header line as it arrived: name and value as written (the value without the blanks
// around it).
struct HttpHeader {
    std::string name;
    std::string value;
};

// Finds a header by name, ignoring letter case; null when absent.
const HttpHeader* FindHeader(const std::vector<HttpHeader>& headers, const std::string& name);

// One part of a multipart body.
struct HttpPart {
    std::vector<HttpHeader> headers;
    std::string headerBlock; // the part's header lines with their CRLFs, without the empty line
    std::string data;        // the bytes after the part's empty line

    const HttpHeader* Find(const std::string& name) const { return FindHeader(headers, name); }
    // The whole part as it stood between its delimiters: header lines, empty line, data.
    std::string Raw() const { return headerBlock + "\r\n" + data; }
};

// One complete HTTP message read from a connection.
struct HttpMessage {
    bool isResponse = false;
    std::string startLine;
    std::string method;  // requests
    std::string target;  // requests
    std::string version; // the third field of a request line, the first of a status line
    int status = 0;      // responses
    std::string reason;  // responses
    std::vector<HttpHeader> headers;
    std::string body;
    std::string boundary;        // multipart bodies only
    std::vector<HttpPart> parts; // multipart bodies only
    std::string raw;             // every byte of the message

    const HttpHeader* Find(const std::string& name) const { return FindHeader(headers, name); }
    // Header value, or empty when absent.
    std::string Value(const std::string& name) const;
    // The media type of Content-Type, lower case, without parameters.
    std::string MediaType() const;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
