#include "Utility/Tcp/Errors.h"

#include <exception>

namespace Orvane {
namespace Utility {
namespace Tcp {

std::string CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
