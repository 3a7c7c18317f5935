#include "Utility/ErrorCategory.h"

namespace Orvane {
namespace Utility {

const ErrorCategory& ErrorCategory::GetInstance()
{
    static const ErrorCategory* const instance = new ErrorCategory();
    return *instance;
}

const char* ErrorCategory::name() const noexcept { return "Pellum"; }

std::string ErrorCategory::message(int) const { return "Pellum error"; }

} // namespace Utility
} // namespace Orvane
