#pragma once

#include "support/loopback/Reply.h"

#include <deque>
#include <map>
#include <string>

namespace Orvane {
namespace Test {
namespace Loopback {

// The replies a test has scripted, by key: a remote method name ("Recognizer::Recognize"),
// kAnyCall for every remote call, kConnect for proxy tunnel requests, kAudio for audio posts.
// A one-shot reply wins over a standing one; an exact method wins over kAnyCall.
class Script {
public:
    static constexpr const char* kAnyCall = "*";
    static constexpr const char* kConnect = "CONNECT";
    static constexpr const char* kAudio = "audiodata";

    // Every later request of that key gets this reply.
    void Always(const std::string& key, Reply reply);
    // The next request of that key gets this reply; several queue up in order.
    void Once(const std::string& key, Reply reply);
    void Clear();
    // The reply for a request of that key; Reply::Default() when nothing is scripted.
    Reply Take(const std::string& key, bool isCall);

private:
    std::map<std::string, std::deque<Reply>> once_;
    std::map<std::string, Reply> always_;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
