#pragma once

#include <boost/noncopyable.hpp>
#include <boost/thread/recursive_mutex.hpp>

namespace Orvane {
namespace Client {

class Exception;
class Recognizer;

// The completion hook's way to its recognizer. The notification handler may outlive the
// recognizer (grammars share it), so its hook reaches the recognizer only through this
// link, which the recognizer cuts when it is released: a hook call then does nothing, and
// Cut waits for a call in progress on another thread.
class CompletionLink : private boost::noncopyable {
public:
    explicit CompletionLink(Recognizer* recognizer);

    void Call(Exception* error);
    void Cut();

private:
    boost::recursive_mutex lock_;
    Recognizer* recognizer_;
};

} // namespace Client
} // namespace Orvane
