#pragma once

#include <atomic>
#include <deque>

#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "Helper/VoiceFilter.h"
#include "Utility/OwnedThread.h"

namespace Orvane {
namespace Helper {

// Runs an inner filter on a worker thread of its own. Blocks wait in an unbounded queue;
// the inner filter's output goes straight on to this filter's output listener, on the
// worker. Errors the inner filter raises there are reported through this filter's error
// listener, after which further blocks are dropped.
class AsyncVoiceFilter : public VoiceFilter, public VoiceFilterErrorListener {
public:
    explicit AsyncVoiceFilter(boost::shared_ptr<VoiceFilter> inner);
    ~AsyncVoiceFilter() override;

    void OnFilterOutput(boost::shared_ptr<DataBuffer> block) override;
    void OnStart() override;
    // Without discard the worker first hands every pending block to the inner filter;
    // with discard it ends after the block in hand. Then the inner filter is stopped.
    void OnStop(bool discard) override;
    void OnInput(boost::shared_ptr<DataBuffer> block) override;
    void OnVoiceFilterError(Orvane::Exception* error) override;

private:
    void Run();
    void Deliver(boost::shared_ptr<DataBuffer> block);

    boost::shared_ptr<VoiceFilter> inner_;
    std::deque<boost::shared_ptr<DataBuffer>> pending_;
    Utility::OwnedThread worker_;
    boost::recursive_mutex mutex_;
    boost::condition_variable_any condition_;
    std::atomic<bool> discard_;
    bool stop_;
};

} // namespace Helper
} // namespace Orvane
