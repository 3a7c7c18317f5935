#pragma once

#include "Utility/Log/Logger.h"

namespace Orvane {
namespace Utility {
namespace Log {

// Owner of the process-wide logger named "application".
class ApplicationLoggerManager {
public:
    // Built on first use and never destroyed: threads that still run during exit may log.
    static Logger& Instance();

    static Logger& APPLICAATION_LOGGER_INSTANCE;
};

} // namespace Log
} // namespace Utility
} // namespace Orvane

// Level-1 records carry the source position; the other levels the message alone.
#define ORVANE_LOG_TRACE(...) \
    ::Orvane::Utility::Log::ApplicationLoggerManager::Instance().WriteLog(1, __FILE__, __LINE__, __VA_ARGS__)
#define ORVANE_LOG(level, ...) \
    ::Orvane::Utility::Log::ApplicationLoggerManager::Instance().WriteLog(level, nullptr, 0, __VA_ARGS__)
