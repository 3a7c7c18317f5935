#pragma once

#include <exception>
#include <string>

#include <boost/exception/exception.hpp>

#include "Utility/FormatText.h"

namespace Orvane {
namespace Utility {

// The internal error of the utility library, the detector and the speech codec:
// a type text naming the raising part, a number within it and a finished message.
class Exception : public boost::exception, public std::exception {
public:
    Exception();
    Exception(const Exception& other);
    Exception(const char* type, int errorNo, const char* message);

    // The message is `format` with its placeholders filled; a formatting failure leaves
    // the format text followed directly by the formatter's description of the failure.
    template <typename First, typename... Rest>
    Exception(const char* type, int errorNo, const char* format, const First& first,
              const Rest&... rest)
        : type_(type ? type : ""), errorNo_(errorNo)
    {
        try {
            message_ = detail::FormatText(format, first, rest...);
        } catch (const std::exception& e) {
            message_ = std::string(format ? format : "") + e.what();
        }
    }

    ~Exception() noexcept override;

    virtual const char* GetType() const;
    virtual int GetErrorNo() const;
    virtual const char* GetErrorMessage() const;
    const char* what() const noexcept override;

private:
    std::string type_;
    int errorNo_;
    std::string message_;
};

} // namespace Utility
} // namespace Orvane
