#include "support/loopback/HttpWriter.h"

#include <atomic>
#include <cstdio>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

const char* const kUserAgent = "LoopbackRecognitionServer";

std::string MultipartHeaders(const std::string& boundary, const std::string& body)
{
    return "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
}

} // namespace

std::string HttpWriter::Part(const std::string& disposition, const std::string& data)
{
    return "Content-Disposition: " + disposition + "\r\n" + "Content-Length: " + std::to_string(data.size()) +
           "\r\n\r\n" + data;
}

std::string HttpWriter::MultipartBody(const std::string& boundary, const std::vector<std::string>& parts)
{
    std::string body;
    for (const std::string& part : parts) {
        body += "--" + boundary + "\r\n" + part + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

std::string HttpWriter::MultipartReply(const std::vector<std::string>& parts)
{
    const std::string boundary = NewBoundary();
    const std::string body = MultipartBody(boundary, parts);
    return "HTTP/1.0 200 OK\r\n" + MultipartHeaders(boundary, body) + body;
}

std::string HttpWriter::MultipartRequest(const std::string& method, const std::string& target,
                                         const std::vector<std::string>& parts)
{
    const std::string boundary = NewBoundary();
    const std::string body = MultipartBody(boundary, parts);
    return method + " " + target + " HTTP/1.0\r\n" + "User-Agent: " + kUserAgent + "\r\n" +
           MultipartHeaders(boundary, body) + body;
}

std::string HttpWriter::StatusReply(int status)
{
    return "HTTP/1.0 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\nContent-Length: 0\r\n\r\n";
}

std::string HttpWriter::ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

std::string HttpWriter::NewBoundary()
{
    static std::atomic<unsigned> counter{0};
    char text[48];
    std::snprintf(text, sizeof text, "LoopbackBoundary%08u", ++counter);
    return text;
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
