#pragma once

#include "support/loopback/HttpMessage.h"
#include "support/loopback/Recording.h"

#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

// Compares what the client sent with the exact wire format of each message kind and lists
// every difference as one line of text. An empty list means a byte-exact message.
class Conformance {
public:
    // Decodes the Request element and the binary part of a remote call.
    static RemoteCall DecodeCall(const HttpMessage& message, std::vector<std::string>& problems);
    static std::vector<std::string> CheckCall(const HttpMessage& message, const RemoteCall& call);
    static std::vector<std::string> CheckAudio(const HttpMessage& message);
    static std::vector<std::string> CheckConnect(const HttpMessage& message);
    // Also reads the Success text of a "200" answer into `success`.
    static std::vector<std::string> CheckAcknowledgement(const HttpMessage& message, std::string& success);
    // "---" YYYYMMDD HHMMSS mmm "+" and ten digits.
    static bool IsClientBoundary(const std::string& boundary);
    // An RFC 1123 date such as "Tue, 09 Dec 2014 08:15:03 GMT".
    static bool IsHttpDate(const std::string& date);
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
