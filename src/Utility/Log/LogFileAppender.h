#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace Orvane {
namespace Utility {
namespace Log {

// The logger's file sink. The logger is never started, so no file is ever opened:
// the sink only holds its name pattern and size limit.
class LogFileAppender {
public:
    LogFileAppender() = default;
    LogFileAppender(const LogFileAppender&) = delete;
    LogFileAppender& operator=(const LogFileAppender&) = delete;
    virtual ~LogFileAppender();

    const std::string& GetFileNamePattern() const { return pattern_; }
    std::uint32_t GetSizeLimit() const { return sizeLimit_; }
    bool IsOpen() const { return file_.is_open(); }

private:
    bool first_ = true;
    bool second_ = true;
    std::uint32_t sizeLimit_ = 10485760;
    std::uint32_t sizeCount_ = 0;
    std::string pattern_ = "${date}.log";
    std::int32_t marker_ = -2;
    std::ofstream file_;
};

} // namespace Log
} // namespace Utility
} // namespace Orvane
