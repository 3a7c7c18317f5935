#pragma once

#include <deque>
#include <exception>
#include <string>
#include <type_traits>

#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "Utility/FormatText.h"
#include "Utility/Log/LogFileAppender.h"
#include "Utility/Log/Message.h"

namespace Orvane {
namespace Utility {
namespace Log {

// Leveled log front end. Records below the threshold are dropped before any formatting;
// the others are built and queued only while the logger is started, which the library
// itself never does, so no log file is ever written.
//
// Levels: 1 detail trace (with source position), 2 start of an operation,
// 3 rejected arguments and failed releases, 4 failures of an operation.
class Logger {
public:
    static const int Threshold = 4;

    explicit Logger(std::string name);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;
    virtual ~Logger();

    // Writes `format` with its numbered placeholders filled from `args` (taken as it
    // stands when there are none). A level-1 caller passes its source position.
    // Never throws: a failure is replaced by the WriteOnError record.
    template <typename... Args>
    void WriteLog(int level, const char* file, int line, const char* format, const Args&... args)
    {
        if (threshold_ > level) {
            return;
        }
        try {
            Write(level, Compose(file, line, format, args...));
        } catch (const std::exception&) {
            WriteOnError(file, line, format);
        }
    }

    // The text of a record: the message, then " : file:line" when a source is given.
    template <typename... Args>
    static std::string Compose(const char* file, int line, const char* format, const Args&... args)
    {
        std::string text;
        if constexpr (sizeof...(Args) == 0) {
            text = format ? format : "";
        } else {
            text = detail::FormatText(format, args...);
        }
        AppendSource(text, file, line);
        return text;
    }

    // Appends a finished record; queued only while started.
    void Write(int level, const std::string& text);

    // Writes the level-4 record that reports a failed log write.
    void WriteOnError(const char* file, int line, const char* format);

protected:
    // Seams for tests: the library never starts the logger and nothing drains it.
    void SetState(int state);
    std::deque<boost::shared_ptr<Message>> TakeQueued();

private:
    static void AppendSource(std::string& text, const char* file, int line);

    const int threshold_;
    int state_;
    boost::shared_ptr<boost::thread> writer_;
    boost::recursive_mutex queueLock_;
    boost::condition_variable_any wakeUp_;
    std::deque<boost::shared_ptr<Message>> queue_;
    LogFileAppender fileSink_;
};

} // namespace Log
} // namespace Utility
} // namespace Orvane
