#pragma once

#include <cstddef>
#include <queue>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/recursive_mutex.hpp>

namespace Orvane {
namespace Utility {

// A blocking queue between one producer side and one consumer. Abort makes every Pop
// fail at once; Finish lets Pop drain what is held and then fail. Pop's wait is a
// thread interruption point.
template <typename T>
class Queue {
public:
    Queue() : aborted_(false), finished_(false) {}
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    virtual ~Queue() = default;

    void Push(const T& element)
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        elements_.push(element);
        condition_.notify_all();
    }

    std::size_t Size()
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        return elements_.size();
    }

    // Returns false only after Abort, or after Finish once nothing is left.
    bool Pop(T& out)
    {
        boost::unique_lock<boost::recursive_mutex> lock(mutex_);
        for (;;) {
            if (aborted_) {
                return false;
            }
            if (!elements_.empty()) {
                out = elements_.front();
                elements_.pop();
                return true;
            }
            if (finished_) {
                return false;
            }
            condition_.wait(lock);
        }
    }

    void Clear()
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        std::queue<T>().swap(elements_);
    }

    void Abort()
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        aborted_ = true;
        condition_.notify_all();
    }

    void Finish()
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        finished_ = true;
        condition_.notify_all();
    }

private:
    boost::recursive_mutex mutex_;
    boost::condition_variable_any condition_;
    std::queue<T> elements_;
    bool aborted_;
    bool finished_;
};

} // namespace Utility
} // namespace Orvane
