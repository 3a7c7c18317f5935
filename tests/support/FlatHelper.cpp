#include "support/FlatHelper.h"

#include <deque>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace Orvane {
namespace Test {
namespace {
std::mutex registryMutex;
std::deque<std::unique_ptr<FlatHelper>>& Registry()
{
    static std::deque<std::unique_ptr<FlatHelper>>* helpers = new std::deque<std::unique_ptr<FlatHelper>>();
    return *helpers;
}
std::map<_quor_helper*, FlatHelper*>& Owners()
{
    static std::map<_quor_helper*, FlatHelper*>* owners = new std::map<_quor_helper*, FlatHelper*>();
    return *owners;
}

std::string ThisThread()
{
    std::ostringstream text;
    text << std::this_thread::get_id();
    return text.str();
}
} // namespace

FlatHelper& FlatHelper::Create(const char* encoding)
{
    std::unique_ptr<FlatHelper> helper(new FlatHelper(encoding));
    FlatHelper& made = *helper;
    std::lock_guard<std::mutex> lock(registryMutex);
    Owners()[made.handle_] = &made;
    Registry().push_back(std::move(helper));
    return made;
}

FlatHelper::FlatHelper(const char* encoding)
{
    handle_ = quor_helper_create2(&error_, encoding);
    if (handle_ == nullptr) {
        throw std::runtime_error("quor_helper_create2 failed: " + std::string(error_.message));
    }
    record_.owner = temp_.owner = final_.owner = completion_.owner = this;
    const quor_helper_callback functions[6] = {
        [](_quor_helper* h, void* d) { OnCallback(1, h, d); }, [](_quor_helper* h, void* d) { OnCallback(2, h, d); },
        [](_quor_helper* h, void* d) { OnCallback(3, h, d); }, [](_quor_helper* h, void* d) { OnCallback(4, h, d); },
        [](_quor_helper* h, void* d) { OnCallback(5, h, d); }, [](_quor_helper* h, void* d) { OnCallback(6, h, d); }};
    void* const data[6] = {this, &record_, this, &temp_, &final_, &completion_};
    for (int kind = 1; kind <= 6; ++kind) {
        if (quor_helper_regist_callback(handle_, kind, functions[kind - 1], data[kind - 1], &error_) != 0) {
            throw std::runtime_error("quor_helper_regist_callback failed: " + std::string(error_.message));
        }
    }
}

void FlatHelper::OnCallback(int kind, _quor_helper* handle, void* data)
{
    FlatHelper* owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        owner = Owners().at(handle);
    }
    Event event;
    event.kind = kind;
    event.thread = ThisThread();
    switch (kind) {
    case 2: {
        const quor_helper_record& record = *static_cast<quor_helper_record*>(data);
        std::lock_guard<std::mutex> lock(owner->mutex_);
        owner->samples_.insert(owner->samples_.end(), record.samples, record.samples + record.count);
        break;
    }
    case 4:
    case 5: {
        const quor_helper_result& result = *static_cast<quor_helper_result*>(data);
        event.text = result.text;
        event.xml = result.xml;
        event.time = result.time;
        break;
    }
    case 6:
        if (data != nullptr) {
            const quor_helper_error& error = *static_cast<quor_helper_error*>(data);
            event.error = true;
            event.number = error.number;
            event.type = error.type;
            event.message = error.message;
        }
        break;
    default:
        break;
    }
    std::function<void(FlatHelper&)> action;
    {
        std::lock_guard<std::mutex> lock(owner->mutex_);
        action.swap(owner->onNext_[kind]);
    }
    owner->Add(event);
    if (action) {
        action(*owner);
    }
}

void FlatHelper::Add(Event event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
    changed_.notify_all();
}

int FlatHelper::Initialize(const std::string& path) { return quor_helper_initialize(handle_, path.c_str(), &error_); }

int FlatHelper::SetOption(const std::string& key, const std::string& value)
{
    return quor_helper_set_option(handle_, key.c_str(), value.c_str(), &error_);
}

int FlatHelper::Start() { return quor_helper_start(handle_, &error_); }
int FlatHelper::Stop() { return quor_helper_stop(handle_, &error_); }
int FlatHelper::Cancel() { return quor_helper_cancel(handle_, &error_); }
int FlatHelper::Release() { return quor_helper_release(handle_, &error_); }

std::vector<FlatHelper::Event> FlatHelper::Events() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<int> FlatHelper::Kinds() const
{
    std::vector<int> kinds;
    for (const Event& event : Events()) {
        kinds.push_back(event.kind);
    }
    return kinds;
}

std::vector<int> FlatHelper::KindsWithoutRecord() const
{
    std::vector<int> kinds;
    for (const Event& event : Events()) {
        if (event.kind != 2) {
            kinds.push_back(event.kind);
        }
    }
    return kinds;
}

std::size_t FlatHelper::Completions() const
{
    std::size_t count = 0;
    for (const Event& event : Events()) {
        count += event.kind == 6 ? 1 : 0;
    }
    return count;
}

FlatHelper::Event FlatHelper::LastCompletion() const
{
    const std::vector<Event> events = Events();
    for (auto event = events.rbegin(); event != events.rend(); ++event) {
        if (event->kind == 6) {
            return *event;
        }
    }
    return Event();
}

bool FlatHelper::WaitForCompletions(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        std::size_t seen = 0;
        for (const Event& event : events_) {
            seen += event.kind == 6 ? 1 : 0;
        }
        return seen >= count;
    });
}

bool FlatHelper::WaitForKind(int kind, std::chrono::milliseconds timeout, std::size_t count) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        std::size_t seen = 0;
        for (const Event& event : events_) {
            seen += event.kind == kind ? 1 : 0;
        }
        return seen >= count;
    });
}

bool FlatHelper::WaitForEvents(const std::function<bool(const std::vector<Event>&)>& predicate,
                               std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return predicate(events_); });
}

std::vector<short> FlatHelper::RecordedSamples() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
}

void FlatHelper::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
    samples_.clear();
}

void FlatHelper::OnNextCompletion(std::function<void(FlatHelper&)> action) { OnNext(6, std::move(action)); }

void FlatHelper::OnNext(int kind, std::function<void(FlatHelper&)> action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    onNext_[kind] = std::move(action);
}

} // namespace Test
} // namespace Orvane
