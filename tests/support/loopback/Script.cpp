#include "support/loopback/Script.h"

#include <utility>

namespace Orvane {
namespace Test {
namespace Loopback {

void Script::Always(const std::string& key, Reply reply)
{
    always_[key] = std::move(reply);
}

void Script::Once(const std::string& key, Reply reply)
{
    once_[key].push_back(std::move(reply));
}

void Script::Clear()
{
    once_.clear();
    always_.clear();
}

Reply Script::Take(const std::string& key, bool isCall)
{
    for (const std::string& candidate : {key, std::string(isCall ? kAnyCall : "")}) {
        auto queued = once_.find(candidate);
        if (!candidate.empty() && queued != once_.end() && !queued->second.empty()) {
            Reply reply = std::move(queued->second.front());
            queued->second.pop_front();
            return reply;
        }
    }
    for (const std::string& candidate : {key, std::string(isCall ? kAnyCall : "")}) {
        auto standing = always_.find(candidate);
        if (!candidate.empty() && standing != always_.end()) {
            return standing->second;
        }
    }
    return Reply::Default();
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
