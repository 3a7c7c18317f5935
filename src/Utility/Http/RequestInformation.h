#pragma once

#include <string>

#include "Utility/Http/MessageInformation.h"

namespace Orvane {
namespace Utility {
namespace Http {

// A request that the server sent to the client (a notification).
class RequestInformation : public MessageInformation {
public:
    RequestInformation();
    ~RequestInformation() override;

    std::string method;  // first field of the request line ("POST", "GET", ...)
    std::string uri;     // second field of the request line
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
