#include "Client/Exception.h"

#include "Utility/FormatText.h"

namespace Orvane {
namespace Client {
namespace {
std::string Fill(const char* format, const char* detail)
{
    try {
        return Utility::detail::FormatText(format, detail);
    } catch (const std::exception&) {
        return format ? format : "";
    }
}
} // namespace

Exception::Exception() : errorNo_(0) {}

Exception::Exception(const char* type, int errorNo, const char* message)
    : type_(type ? type : ""), errorNo_(errorNo), message_(message ? message : "")
{
}

Exception::Exception(const char* type, int errorNo, const char* format, const char* detail)
    : type_(type ? type : ""), errorNo_(errorNo), message_(Fill(format, detail))
{
}

Exception::Exception(const char* type, int errorNo, const char* format, const std::string& detail)
    : Exception(type, errorNo, format, detail.c_str())
{
}

Exception::~Exception() = default;

void Exception::Release() { delete this; }

const char* Exception::GetType() { return type_.c_str(); }

int Exception::GetErrorNo() { return errorNo_; }

const char* Exception::GetErrorMessage() { return message_.c_str(); }

const char* Exception::what() const noexcept { return message_.c_str(); }

} // namespace Client
} // namespace Orvane
