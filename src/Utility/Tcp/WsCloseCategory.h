#pragma once

#include <string>

#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {
namespace Tcp {

// The category "WebSocket close": the code of a close frame by which the server ended the
// WebSocket connection for a reason other than a normal end (RFC 6455, 7.4).
class WsCloseCategory : public boost::system::error_category {
public:
    // Built on first use and never destroyed, so threads still running at exit can use it.
    static const WsCloseCategory& GetInstance();

    const char* name() const noexcept override;
    std::string message(int value) const override;

private:
    WsCloseCategory() = default;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
