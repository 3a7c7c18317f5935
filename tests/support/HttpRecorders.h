#pragma once

// Listeners of the HTTP controller that record every call with its thread, and can run a
// hook inside each call (to answer, send, stop or fail from the listener's own thread).

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/system/error_code.hpp>

#include "Utility/Http/RequestInformation.h"
#include "Utility/Http/RequestListener.h"
#include "Utility/Http/Respondent.h"
#include "Utility/Http/ResponseInformation.h"
#include "Utility/Http/ResponseListener.h"
#include "support/WaitFor.h"

namespace Orvane {
namespace Test {

// An OnError call as the tests write it: "error <kind> <category>:<value>".
inline std::string ErrorCallText(int kind, const boost::system::error_code& error)
{
    return "error " + std::to_string(kind) + " " + error.category().name() + ":" + std::to_string(error.value());
}

// One listener call: "received", "error" or "closed".
struct ListenerCall {
    std::string name;
    int kind;                          // OnError's kind, else -1
    boost::system::error_code error;   // OnError's error
    std::string text;                  // a received message in short (start line and first body part)
    std::thread::id thread;

    // The name, or ErrorCallText for an error.
    std::string Describe() const { return name == "error" ? ErrorCallText(kind, error) : name; }
};

// The calls one listener received, in order.
class ListenerLog {
public:
    std::vector<ListenerCall> Calls() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    std::size_t Count(const std::string& name) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t count = 0;
        for (const ListenerCall& call : calls_) {
            count += call.name == name;
        }
        return count;
    }

    // The names of the calls, in order ("received error" ...).
    std::string Names() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string names;
        for (const ListenerCall& call : calls_) {
            names += (names.empty() ? "" : " ") + call.name;
        }
        return names;
    }

    // The texts of the received messages, in order.
    std::vector<std::string> Texts() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> texts;
        for (const ListenerCall& call : calls_) {
            if (call.name == "received") {
                texts.push_back(call.text);
            }
        }
        return texts;
    }

    // Waits until `count` calls named `name` have been recorded.
    bool WaitForCount(const std::string& name, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        return WaitFor([&] { return Count(name) >= count; }, timeout);
    }

    // Waits until the listener heard of the end (error or close).
    bool WaitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        return WaitFor([&] { return Count("error") + Count("closed") > 0; }, timeout);
    }

protected:
    void Add(const std::string& name, int kind, const boost::system::error_code& error, const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(ListenerCall{name, kind, error, text, std::this_thread::get_id()});
    }

    template <typename Hook, typename... Args>
    void RunHook(const Hook& hook, Args&... args) const
    {
        Hook copy;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            copy = hook;
        }
        if (copy) {
            copy(args...);
        }
    }

    mutable std::mutex mutex_;

private:
    std::vector<ListenerCall> calls_;
};

inline std::string FirstPartText(const std::vector<Utility::Http::BodyPartInformation>& parts)
{
    if (parts.empty()) {
        return std::string();
    }
    const Utility::Http::BodyPartInformation& part = parts.front();
    return part.GetData() != nullptr
               ? std::string(reinterpret_cast<const char*>(part.GetData()), part.GetDataLength())
               : std::string(reinterpret_cast<const char*>(part.GetPartBytes()), part.GetPartLength());
}

// A listener of either kind that records every call and runs the hooks set for it.
template <typename Listener, typename ReceivedHookType>
class RecordingListener : public Listener, public ListenerLog {
public:
    typedef ReceivedHookType ReceivedHook;
    typedef std::function<void()> EndHook;

    void OnError(int kind, const boost::system::error_code& error) override
    {
        Add("error", kind, error, std::string());
        RunHook(end_);
    }

    void OnClosed() override
    {
        Add("closed", -1, boost::system::error_code(), std::string());
        RunHook(end_);
    }

    void SetReceivedHook(ReceivedHook hook)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_ = hook;
    }

    // Runs inside OnError and OnClosed.
    void SetEndHook(EndHook hook)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        end_ = hook;
    }

protected:
    // Records a received message as `text`, then runs the received hook with `args`.
    template <typename... Args>
    void Received(const std::string& text, Args&... args)
    {
        Add("received", -1, boost::system::error_code(), text);
        RunHook(received_, args...);
    }

private:
    ReceivedHook received_;
    EndHook end_;
};

// Records replies as "<status> <first part's data>".
class RecordingResponseListener
    : public RecordingListener<Utility::Http::ResponseListener,
                               std::function<void(const Utility::Http::ResponseInformation&)>> {
public:
    void OnReceived(const Utility::Http::ResponseInformation& response) override
    {
        Received(std::to_string(response.statusCode) + " " + FirstPartText(response.bodyParts), response);
    }
};

// Records requests as "<method> <uri> <first part's data>"; the hook may answer.
class RecordingRequestListener
    : public RecordingListener<Utility::Http::RequestListener,
                               std::function<void(Utility::Http::Respondent&, const Utility::Http::RequestInformation&)>> {
public:
    void OnReceived(Utility::Http::Respondent& respondent, const Utility::Http::RequestInformation& request) override
    {
        Received(request.method + " " + request.uri + " " + FirstPartText(request.bodyParts), respondent, request);
    }
};

} // namespace Test
} // namespace Orvane
