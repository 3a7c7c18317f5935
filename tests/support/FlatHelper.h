#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "quor_helper.h"

namespace Orvane {
namespace Test {

// A helper handle of the flat interface with all six callbacks recording what they
// receive. Handles live as long as the process (the interface never destroys them), so
// FlatHelper objects are made by Create and never freed: a late callback always finds its
// recorder.
class FlatHelper {
public:
    struct Event {
        int kind = 0;
        std::string text;   // kinds 4, 5: the result's text
        std::string xml;    // kinds 4, 5
        double time = 0.0;  // kind 4
        bool error = false; // kind 6: data was the error record
        int number = 0;     // kind 6 with an error
        std::string type;
        std::string message;
        std::string thread; // the calling thread, as text
    };

    // A new handle (quor_helper_create2 with `encoding`), callbacks registered with data.
    static FlatHelper& Create(const char* encoding = "UTF-8");

    _quor_helper* Handle() const { return handle_; }
    // The record of the last call below.
    const quor_helper_error& Error() const { return error_; }

    int Initialize(const std::string& path);
    int SetOption(const std::string& key, const std::string& value);
    int Start();
    int Stop();
    int Cancel();
    int Release();

    std::vector<Event> Events() const;
    std::vector<int> Kinds() const;
    // Kinds 1..6 seen, without kind 2 (recorded blocks are counted apart).
    std::vector<int> KindsWithoutRecord() const;
    std::size_t Completions() const;
    // The last completion (kind 6).
    Event LastCompletion() const;
    bool WaitForCompletions(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // `count` callbacks of `kind` have arrived.
    bool WaitForKind(int kind, std::chrono::milliseconds timeout = std::chrono::seconds(20),
                     std::size_t count = 1) const;
    // `predicate` holds for the events seen so far (checked at each callback).
    bool WaitForEvents(const std::function<bool(const std::vector<Event>&)>& predicate,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // Samples delivered through kind 2, in order.
    std::vector<short> RecordedSamples() const;
    void Clear();

    // Runs `action` (once) inside the next kind-6 callback, on the library's thread.
    void OnNextCompletion(std::function<void(FlatHelper&)> action);
    // Runs `action` (once) inside the next callback of `kind`, on the library's thread.
    void OnNext(int kind, std::function<void(FlatHelper&)> action);

private:
    explicit FlatHelper(const char* encoding);
    void Add(Event event);
    static void OnCallback(int kind, _quor_helper* handle, void* data);

    struct Record {
        quor_helper_record record;
        FlatHelper* owner;
    };
    struct Result {
        quor_helper_result result;
        FlatHelper* owner;
    };
    struct ErrorRecord {
        quor_helper_error error;
        FlatHelper* owner;
    };

    _quor_helper* handle_ = nullptr;
    quor_helper_error error_{};
    Record record_{};
    Result temp_{};
    Result final_{};
    ErrorRecord completion_{};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Event> events_;
    std::vector<short> samples_;
    // By kind; used once each.
    std::function<void(FlatHelper&)> onNext_[7];
};

} // namespace Test
} // namespace Orvane
