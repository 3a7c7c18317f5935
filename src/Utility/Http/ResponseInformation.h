#pragma once

#include <string>

#include "Utility/Http/MessageInformation.h"

namespace Orvane {
namespace Utility {
namespace Http {

// A reply of the server to a request of the client.
class ResponseInformation : public MessageInformation {
public:
    ResponseInformation();
    ~ResponseInformation() override;

    int statusCode;      // second field of the status line
    std::string reason;  // the rest of the status line ("OK")
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
