#pragma once

#include <string>

#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {

// The category "Pellum": its code 41 reports that the HTTP controller's thread ended
// with an exception.
class ErrorCategory : public boost::system::error_category {
public:
    static const int ThreadFailed = 41;

    // Built on first use and never destroyed, so threads still running at exit can use it.
    static const ErrorCategory& GetInstance();

    const char* name() const noexcept override;
    std::string message(int value) const override;

private:
    ErrorCategory() = default;
};

} // namespace Utility
} // namespace Orvane
