#pragma once

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

namespace Orvane {
namespace Utility {

// One thread that its owner starts and ends. The rule for ending it is kept here: the
// thread is interrupted (when asked) and joined, unless the caller is that very thread,
// which is detached instead, so no thread ever joins itself. The handle is taken out under
// a lock of its own and the join happens without it.
class OwnedThread {
public:
    OwnedThread() = default;
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;
    // Interrupts and ends a thread still held.
    ~OwnedThread() { Join(true); }

    // Starts `body` on a new thread; a thread still held is ended first. Throws what
    // boost::thread throws when no thread can be made (boost::thread_resource_error).
    void Start(const boost::function<void()>& body)
    {
        Join(false);
        boost::shared_ptr<boost::thread> thread(new boost::thread(body));
        boost::lock_guard<boost::mutex> lock(mutex_);
        thread_ = thread;
    }

    // Ends the held thread, if any: interrupted when `interrupt`, then joined (detached on
    // the thread itself). Returns at once when no thread is held.
    void Join(bool interrupt)
    {
        boost::shared_ptr<boost::thread> thread;
        {
            boost::lock_guard<boost::mutex> lock(mutex_);
            thread.swap(thread_);
        }
        if (!thread) {
            return;
        }
        if (thread->get_id() == boost::this_thread::get_id()) {
            thread->detach();
            return;
        }
        if (interrupt) {
            thread->interrupt();
        }
        // The joining thread is not to be interrupted half-way through the join.
        boost::this_thread::disable_interruption noInterruption;
        thread->join();
    }

    bool IsHeld() const
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        return thread_ != nullptr;
    }

private:
    mutable boost::mutex mutex_;
    boost::shared_ptr<boost::thread> thread_;
};

} // namespace Utility
} // namespace Orvane
