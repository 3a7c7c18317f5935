#include "Vad/OSTRELError.h"

namespace Orvane {
namespace Utility {
namespace Vad {

OSTRELError::OSTRELError(const std::string& message) : message_(message), file_(nullptr), function_(nullptr), line_(0)
{
}

OSTRELError::OSTRELError(const std::string& message, const char* file, const char* function, int line)
    : message_(message), file_(file), function_(function), line_(line)
{
}

OSTRELError::~OSTRELError() noexcept = default;

const char* OSTRELError::what() const noexcept
{
    return message_.c_str();
}

const char* OSTRELError::__str__() const noexcept
{
    return message_.c_str();
}

const char* OSTRELError::getFileName() const
{
    return file_;
}

const char* OSTRELError::getFunctionName() const
{
    return function_;
}

int OSTRELError::getLineNumber() const
{
    return line_;
}

} // namespace Vad
} // namespace Utility
} // namespace Orvane
