#include "Utility/Log/LogFileAppender.h"

namespace Orvane {
namespace Utility {
namespace Log {

LogFileAppender::~LogFileAppender()
{
    if (file_.is_open()) {
        file_.close();
    }
}

} // namespace Log
} // namespace Utility
} // namespace Orvane
