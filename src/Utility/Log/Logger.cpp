#include "Utility/Log/Logger.h"

#include <boost/make_shared.hpp>

namespace Orvane {
namespace Utility {
namespace Log {
namespace {
const int NotStarted = 0;
const int Stopping = 3;

bool IsStarted(int state) { return state == 1 || state == 2; }
} // namespace

Logger::Logger(std::string) : threshold_(Threshold), state_(NotStarted) {}

Logger::~Logger()
{
    try {
        boost::unique_lock<boost::recursive_mutex> lock(queueLock_);
        if (IsStarted(state_)) {
            state_ = Stopping;
            wakeUp_.notify_all();
            while (state_ == Stopping) {
                wakeUp_.wait(lock);
            }
        }
    } catch (...) {
        // A destructor never throws; there is nothing left to stop.
    }
}

void Logger::Write(int level, const std::string& text)
{
    boost::shared_ptr<Message> message = boost::make_shared<Message>(level, text);
    boost::lock_guard<boost::recursive_mutex> lock(queueLock_);
    if (IsStarted(state_)) {
        queue_.push_back(message);
        wakeUp_.notify_all();
    }
}

void Logger::WriteOnError(const char* file, int line, const char* format)
{
    try {
        std::string text = "ログ出力に失敗しました。[";
        text += format ? format : "";
        text += "]";
        AppendSource(text, file, line);
        if (threshold_ <= 4) {
            Write(4, text);
        }
    } catch (...) {
        // Nothing more can be reported.
    }
}

void Logger::SetState(int state)
{
    boost::lock_guard<boost::recursive_mutex> lock(queueLock_);
    state_ = state;
    wakeUp_.notify_all();
}

std::deque<boost::shared_ptr<Message>> Logger::TakeQueued()
{
    boost::lock_guard<boost::recursive_mutex> lock(queueLock_);
    std::deque<boost::shared_ptr<Message>> taken;
    taken.swap(queue_);
    return taken;
}

void Logger::AppendSource(std::string& text, const char* file, int line)
{
    if (file) {
        text += " : ";
        text += file;
        text += ':';
        text += std::to_string(line);
    }
}

} // namespace Log
} // namespace Utility
} // namespace Orvane
