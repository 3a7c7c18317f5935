#pragma once

#include "support/loopback/HttpMessage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace Orvane {
namespace Test {
namespace Loopback {

class HttpReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Cuts the bytes of one connection into HTTP messages: a start line, header lines ended by
// CRLF, a body of Content-Length bytes, split into parts when it is multipart/form-data.
// Framing faults throw HttpReadError; the reader is unusable afterwards.
class HttpReader {
public:
    static constexpr std::uint64_t kMaxHeaderBytes = 64 * 1024;
    static constexpr std::uint64_t kMaxBodyBytes = 256ull * 1024 * 1024;

    void Append(const char* data, std::size_t size);
    // The next complete message, or nothing while bytes are missing.
    std::optional<HttpMessage> Next();
    std::size_t Buffered() const { return buffer_.size(); }

private:
    std::optional<std::size_t> FindHeaderEnd();

    std::string buffer_;
    std::size_t scanned_ = 0;   // bytes searched for line ends so far
    std::size_t lineStart_ = 0; // start of the header line being searched
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
