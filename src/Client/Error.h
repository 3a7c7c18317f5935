#pragma once

#include <string>

#include "Client/Exception.h"
#include "Utility/Exception.h"

namespace Orvane {
namespace Client {

// The recognition client's errors, one function per error number. Each returns a new
// exception of type "Orvane::Client" for the caller to throw (or hand on) by pointer.
class Error {
public:
    static const char* const Type;

    static Exception* UserAgentRefused();                         // 1010
    static Exception* InvalidState(const std::string& detail);    // 2000
    static Exception* RecognitionTimeout();                       // 3002
    static Exception* InvalidResponse(const std::string& detail); // 4000
    static Exception* MissingNode();                              // 4001
    static Exception* InvalidRequest(const std::string& detail);  // 4002
    static Exception* ServerFault(const std::string& detail);     // 4004
    static Exception* CannotConnect(const std::string& detail);   // 5000
    static Exception* CommunicationFailed(const std::string& detail); // 5002
    static Exception* Disconnected();                             // 5006
    static Exception* Internal(const std::string& detail);        // 7000
    static Exception* Unsupported();                              // 7001

    // The internal error for a reply, notification or error element that lacks a child
    // it must have; the caller reports it as a malformed message.
    static Utility::Exception MissingElement(const std::string& parent, const std::string& child);
};

} // namespace Client
} // namespace Orvane
