#pragma once

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

namespace Orvane {
namespace Utility {

// One thread that its owner starts and ends. The rule for ending it is kept here: the
// thread is interrupted (when asked) and joined, unless the caller is that very thread,
// which is detached instead, so no thread ever joins itself. The handle is taken out under
// a lock of its own and the join happens without it; a second caller meanwhile waits until
// the first has joined.
class OwnedThread {
public:
    OwnedThread() = default;
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;
    // Interrupts and ends a thread still held (detached when destroyed on that thread).
    ~OwnedThread()
    {
        try {
            Join(true);
        } catch (...) {
        }
    }

    // Starts `body` on a new thread; a thread still held is ended first. Throws what
    // boost::thread throws when no thread can be made (boost::thread_resource_error).
    // The thread is made under the lock, so it is held from its first instruction: a Join
    // that its early end sets off on another thread waits for the handle and joins it,
    // instead of finding none and leaving it unjoined.
    void Start(const boost::function<void()>& body)
    {
        Join(false);
        boost::lock_guard<boost::mutex> lock(mutex_);
        thread_.reset(new boost::thread(body));
    }

    // Ends the held thread: interrupted when `interrupt`, then joined. False when called on
    // that thread itself, which is detached and still running; true otherwise (also when no
    // thread is held, or another caller has just joined it).
    bool Join(bool interrupt)
    {
        boost::shared_ptr<boost::thread> thread;
        {
            boost::unique_lock<boost::mutex> lock(mutex_);
            if (!thread_) {
                while (joining_) {
                    joined_.wait(lock);
                }
                return true;
            }
            if (thread_->get_id() == boost::this_thread::get_id()) {
                thread_->detach();
                thread_.reset();
                return false;
            }
            thread.swap(thread_);
            joining_ = true;
        }
        if (interrupt) {
            thread->interrupt();
        }
        {
            // The joining thread is not to be interrupted half-way through the join.
            boost::this_thread::disable_interruption noInterruption;
            thread->join();
        }
        boost::lock_guard<boost::mutex> lock(mutex_);
        joining_ = false;
        joined_.notify_all();
        return true;
    }

    // True when called on the held thread itself.
    bool IsCurrent()
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        return thread_ && thread_->get_id() == boost::this_thread::get_id();
    }

    // Interrupts the held thread, which stays held.
    void Interrupt()
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (thread_) {
            thread_->interrupt();
        }
    }

    // Lets go of the held thread without waiting for it: it ends by itself, and must own
    // by shared ownership whatever it still uses.
    void Detach()
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (thread_) {
            thread_->detach();
            thread_.reset();
        }
    }

private:
    boost::mutex mutex_;
    boost::condition_variable joined_;
    boost::shared_ptr<boost::thread> thread_;
    bool joining_ = false;
};

} // namespace Utility
} // namespace Orvane
