#include "Utility/Exception.h"

namespace Orvane {
namespace Utility {

Exception::Exception() : errorNo_(0) {}

Exception::Exception(const Exception& other)
    : boost::exception(other), std::exception(other), type_(other.type_),
      errorNo_(other.errorNo_), message_(other.message_)
{
}

Exception::Exception(const char* type, int errorNo, const char* message)
    : type_(type ? type : ""), errorNo_(errorNo), message_(message ? message : "")
{
}

Exception::~Exception() noexcept = default;

const char* Exception::GetType() const { return type_.c_str(); }

int Exception::GetErrorNo() const { return errorNo_; }

const char* Exception::GetErrorMessage() const { return what(); }

const char* Exception::what() const noexcept { return message_.c_str(); }

} // namespace Utility
} // namespace Orvane
