#pragma once

#include <string>

#include "Client/Exception.h"
#include "Helper/Exception.h"

namespace Orvane {
namespace Helper {

// The helper's errors, one function per error number. Each returns a new helper error
// over a client error of type "Orvane::Client", for the caller to throw (or hand on) by
// pointer; `encoding` is the code the helper was created with.
class Error {
public:
    // Takes over `error` and wraps it.
    static Exception* Wrap(int encoding, Client::Exception* error);
    // Takes over any error and gives it in `encoding` (Exception::ForEncoding).
    static Orvane::Exception* Adopt(int encoding, Orvane::Exception* error);

    static Exception* NoServerAddress(int encoding);                            // 1000
    static Exception* InvalidServerPort(int encoding);                          // 1001
    static Exception* InvalidCompleteTimeout(int encoding);                     // 1002
    static Exception* InvalidRecognitionTimeout(int encoding);                  // 1003
    static Exception* InvalidSentenceTimeout(int encoding);                     // 1004
    static Exception* InvalidOstrelEnvMode(int encoding);                       // 1005
    static Exception* NoUserAgent(int encoding);                                // 1009
    static Exception* InvalidOption(int encoding, const std::string& detail);   // 1011
    static Exception* InvalidState(int encoding, const std::string& detail);    // 2000
    static Exception* SpeechStartNotDetected(int encoding);                     // 3000
    static Exception* SpeechEndNotDetected(int encoding);                       // 3001
    static Exception* CannotConnect(int encoding, const std::string& detail);   // 5000
    static Exception* CaptureDeviceFailed(int encoding, const std::string& detail); // 6000
    static Exception* Internal(int encoding, const std::string& detail);        // 7000
};

} // namespace Helper
} // namespace Orvane
