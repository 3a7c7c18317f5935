#include "support/loopback/HttpReader.h"

#include <algorithm>
#include <cctype>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A decimal length: digits only, at most `limit`.
std::uint64_t ParseLength(const std::string& text, std::uint64_t limit, const std::string& what)
{
    if (text.empty() || text.size() > 19 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        throw HttpReadError(what + " is not a decimal number: '" + text + "'");
    }
    const std::uint64_t value = std::stoull(text);
    if (value > limit) {
        throw HttpReadError(what + " too large: " + text);
    }
    return value;
}

HttpHeader SplitHeader(const std::string& line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
        throw HttpReadError("header line without a name and ':': '" + line + "'");
    }
    return HttpHeader{line.substr(0, colon), Trim(line.substr(colon + 1))};
}

void ReadStartLine(const std::string& line, HttpMessage& message)
{
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos) {
        throw HttpReadError("start line without three fields: '" + line + "'");
    }
    const std::string a = line.substr(0, first);
    const std::string b = line.substr(first + 1, second - first - 1);
    const std::string c = line.substr(second + 1);
    if (a.rfind("HTTP/", 0) == 0) {
        message.isResponse = true;
        message.version = a;
        if (b.size() != 3 || !std::all_of(b.begin(), b.end(), [](unsigned char ch) { return std::isdigit(ch); })) {
            throw HttpReadError("bad status code in '" + line + "'");
        }
        message.status = std::stoi(b);
        message.reason = c;
    } else {
        if (a.empty() || b.empty() || c.rfind("HTTP/", 0) != 0) {
            throw HttpReadError("bad request line: '" + line + "'");
        }
        message.method = a;
        message.target = b;
        message.version = c;
    }
}

std::string BoundaryOf(const std::string& contentType)
{
    std::size_t pos = contentType.find(';');
    while (pos != std::string::npos) {
        const std::size_t next = contentType.find(';', pos + 1);
        const std::string param = contentType.substr(pos + 1, next == std::string::npos ? next : next - pos - 1);
        const std::size_t eq = param.find('=');
        if (eq != std::string::npos && Lower(Trim(param.substr(0, eq))) == "boundary") {
            std::string value = Trim(param.substr(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            if (!value.empty()) {
                return value;
            }
        }
        pos = next;
    }
    throw HttpReadError("multipart Content-Type without a boundary: '" + contentType + "'");
}

void SplitParts(HttpMessage& message)
{
    const std::string& body = message.body;
    const std::string delimiter = "--" + message.boundary;
    if (body.compare(0, delimiter.size(), delimiter) != 0) {
        throw HttpReadError("multipart body does not start with its delimiter");
    }
    std::size_t pos = delimiter.size();
    for (;;) {
        if (body.compare(pos, 2, "--") == 0) {
            if (body.compare(pos + 2, 2, "\r\n") != 0 || pos + 4 != body.size()) {
                throw HttpReadError("closing delimiter not followed by CRLF and the end of the body");
            }
            return;
        }
        if (body.compare(pos, 2, "\r\n") != 0) {
            throw HttpReadError("delimiter not followed by CRLF or --");
        }
        pos += 2;
        HttpPart part;
        for (;;) {
            const std::size_t eol = body.find("\r\n", pos);
            if (eol == std::string::npos) {
                throw HttpReadError("part header block not ended by an empty line");
            }
            const std::string line = body.substr(pos, eol - pos);
            pos = eol + 2;
            if (line.empty()) {
                break;
            }
            if (line.find('\n') != std::string::npos) {
                throw HttpReadError("part header line ended by a bare LF");
            }
            part.headers.push_back(SplitHeader(line));
            part.headerBlock += line + "\r\n";
        }
        const std::string tail = "\r\n" + delimiter;
        std::uint64_t length = 0;
        if (const HttpHeader* header = part.Find("Content-Length")) {
            length = ParseLength(header->value, HttpReader::kMaxBodyBytes, "part Content-Length");
            if (std::uint64_t(pos) + length + tail.size() > body.size()) {
                throw HttpReadError("part Content-Length " + header->value + " runs past the body");
            }
        } else {
            const std::size_t found = body.find(tail, pos);
            if (found == std::string::npos) {
                throw HttpReadError("part without Content-Length and without a following delimiter");
            }
            length = found - pos;
        }
        part.data = body.substr(pos, static_cast<std::size_t>(length));
        pos += static_cast<std::size_t>(length);
        if (body.compare(pos, tail.size(), tail) != 0) {
            throw HttpReadError("part data not followed by CRLF and the delimiter");
        }
        pos += tail.size();
        message.parts.push_back(std::move(part));
    }
}

} // namespace

void HttpReader::Append(const char* data, std::size_t size)
{
    buffer_.append(data, size);
}

std::optional<std::size_t> HttpReader::FindHeaderEnd()
{
    for (; scanned_ < buffer_.size(); ++scanned_) {
        if (buffer_[scanned_] != '\n') {
            continue;
        }
        if (scanned_ == 0 || buffer_[scanned_ - 1] != '\r') {
            throw HttpReadError("header line ended by a bare LF");
        }
        if (scanned_ - 1 == lineStart_) {
            return scanned_ + 1;
        }
        lineStart_ = scanned_ + 1;
    }
    if (buffer_.size() > kMaxHeaderBytes) {
        throw HttpReadError("header block longer than " + std::to_string(kMaxHeaderBytes) + " bytes");
    }
    return std::nullopt;
}

std::optional<HttpMessage> HttpReader::Next()
{
    const std::optional<std::size_t> headerEnd = FindHeaderEnd();
    if (!headerEnd) {
        return std::nullopt;
    }
    HttpMessage message;
    std::size_t pos = 0;
    bool first = true;
    while (pos + 2 < *headerEnd) {
        const std::size_t eol = buffer_.find("\r\n", pos);
        const std::string line = buffer_.substr(pos, eol - pos);
        pos = eol + 2;
        if (first) {
            message.startLine = line;
            ReadStartLine(line, message);
            first = false;
        } else {
            message.headers.push_back(SplitHeader(line));
        }
    }
    if (first) {
        throw HttpReadError("empty start line");
    }
    std::uint64_t length = 0;
    if (const HttpHeader* header = message.Find("Content-Length")) {
        length = ParseLength(header->value, kMaxBodyBytes, "Content-Length");
    }
    if (std::uint64_t(*headerEnd) + length > buffer_.size()) {
        return std::nullopt;
    }
    const std::size_t end = *headerEnd + static_cast<std::size_t>(length);
    message.raw = buffer_.substr(0, end);
    message.body = buffer_.substr(*headerEnd, static_cast<std::size_t>(length));
    buffer_.erase(0, end);
    scanned_ = 0;
    lineStart_ = 0;
    if (message.MediaType() == "multipart/form-data") {
        message.boundary = BoundaryOf(message.Value("Content-Type"));
        SplitParts(message);
    }
    return message;
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
