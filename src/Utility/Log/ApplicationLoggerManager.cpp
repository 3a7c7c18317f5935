#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Utility {
namespace Log {

Logger& ApplicationLoggerManager::Instance()
{
    static Logger* const instance = new Logger("application");
    return *instance;
}

Logger& ApplicationLoggerManager::APPLICAATION_LOGGER_INSTANCE = ApplicationLoggerManager::Instance();

} // namespace Log
} // namespace Utility
} // namespace Orvane
