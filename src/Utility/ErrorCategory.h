#pragma once

#include <string>

#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {

// The category "Pellum": its code 41 reports that the HTTP controller's thread ended
// with an exception; the others say what was wrong with a message being received.
class ErrorCategory : public boost::system::error_category {
public:
    static const int ThreadFailed = 41;
    // The message could not be parsed.
    static const int MessageMalformed = 47;
    // Its header block or its declared length is beyond the reader's limits.
    static const int MessageTooLarge = 48;
    // The connection ended before the whole message had arrived.
    static const int MessageTruncated = 49;
    // The message stopped arriving: the receive time ran out in the middle of it.
    static const int MessageStalled = 50;

    // Built on first use and never destroyed, so threads still running at exit can use it.
    static const ErrorCategory& GetInstance();

    const char* name() const noexcept override;
    std::string message(int value) const override;

private:
    ErrorCategory() = default;
};

} // namespace Utility
} // namespace Orvane
