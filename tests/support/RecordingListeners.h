#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/GrammarListener.h"
#include "Orvane/RecognizerListener.h"
#include "Orvane/SessionListener.h"

namespace Orvane {
namespace Test {

// A thread-safe list of event texts in arrival order, with a bounded wait.
class EventLog {
public:
    // Notifies under the lock, so that a reader that has seen the event may destroy the log.
    void Add(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        changed_.notify_all();
    }

    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    std::size_t Count() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_.size();
    }

    // Waits until `count` events have arrived.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> events_;
};

// "type number message" of an error object.
inline std::string Describe(Orvane::Exception* error)
{
    return std::string(error->GetType()) + " " + std::to_string(error->GetErrorNo()) + " " + error->GetErrorMessage();
}

inline std::string Number(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

// Writes each grammar event to a log: "StartPoint t", "EndPoint t id text",
// "TempPoint t id text" (text: the result's ToString). `action`, when set, runs inside
// every call after the event is logged (to block, throw or release from a listener).
class RecordingGrammarListener : public Orvane::GrammarListener {
public:
    explicit RecordingGrammarListener(EventLog& log, std::string name = std::string())
        : log_(log), name_(std::move(name))
    {
    }

    void StartPoint(double point) override { Record("StartPoint " + Number(point)); }
    void EndPoint(double point, const char* id, Orvane::Result::Nbest* result) override
    {
        Record("EndPoint " + Number(point) + " " + id + " " + result->ToString());
    }
    void TempPoint(double point, const char* id, Orvane::Result::Nbest* result) override
    {
        Record("TempPoint " + Number(point) + " " + id + " " + result->ToString());
    }

    std::function<void()> action;

private:
    // The action is copied first: once the event is logged the test may change or drop it.
    void Record(const std::string& event)
    {
        const std::function<void()> act = action;
        log_.Add(name_.empty() ? event : name_ + ": " + event);
        if (act) {
            act();
        }
    }

    EventLog& log_;
    std::string name_;
};

// Writes each recognizer event to a log: "Error type number message" (the error is
// released), "SentenceEnd", "Completed", "Match name score". `action` as above.
class RecordingRecognizerListener : public Orvane::RecognizerListener {
public:
    explicit RecordingRecognizerListener(EventLog& log) : log_(log) {}

    void Error(Orvane::Exception* error) override
    {
        const std::string text = "Error " + Describe(error);
        error->Release();
        Record(text);
    }
    void SentenceEnd() override { Record("SentenceEnd"); }
    void Completed() override { Record("Completed"); }
    void Match(Orvane::Result::Match* result) override
    {
        Record(std::string("Match ") + result->GetName() + " " + Number(result->GetScore()));
    }

    std::function<void()> action;

private:
    // The action is copied first: once the event is logged the test may change or drop it.
    void Record(const std::string& event)
    {
        const std::function<void()> act = action;
        log_.Add(event);
        if (act) {
            act();
        }
    }

    EventLog& log_;
};

// Writes each session error to a log as "SessionError type number message"; the error
// stays the library's.
class RecordingSessionListener : public Orvane::SessionListener {
public:
    explicit RecordingSessionListener(EventLog& log) : log_(log) {}

    void Error(Orvane::Exception* error) override { log_.Add("SessionError " + Describe(error)); }

private:
    EventLog& log_;
};

} // namespace Test
} // namespace Orvane
