#pragma once

#include <string>

#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/thread/thread.hpp>

namespace Orvane {
namespace Utility {
namespace Log {

// One log record: local time, level, writing thread and finished text.
class Message {
public:
    Message(int level, std::string text);

    const boost::posix_time::ptime& GetTime() const { return time_; }
    int GetLevel() const { return level_; }
    const boost::thread::id& GetThreadId() const { return thread_; }
    const std::string& GetText() const { return text_; }

private:
    boost::posix_time::ptime time_;
    int level_;
    boost::thread::id thread_;
    std::string text_;
};

} // namespace Log
} // namespace Utility
} // namespace Orvane
