#include "Helper/VoiceBuffer.h"

#include <utility>

#include <boost/thread/locks.hpp>

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {
VoiceBuffer::VoiceBuffer(int encoding)
    : state_(Created), queue_(new BlockQueue()), queuedCount_(0), errorListener_(nullptr), pendingError_(nullptr),
      encoding_(encoding)
{
}

VoiceBuffer::~VoiceBuffer()
{
    if (pendingError_ != nullptr) {
        pendingError_->Release();
    }
}

void VoiceBuffer::AppendFilter(boost::shared_ptr<VoiceFilter> filter)
{
    if (!filter) {
        throw Error::Internal(encoding_, "VoiceFilterに要素がありません。");
    }
    filters_.push_back(filter);
}

void VoiceBuffer::Start()
{
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        if (state_ != Created) {
            throw Error::InvalidState(encoding_, "VoiceBuffer is already started.");
        }
    }
    // No block enters before the started state, so the filters start without the lock;
    // stopping a started asynchronous filter joins its worker.
    try {
        for (std::size_t i = 0; i < filters_.size(); ++i) {
            VoiceFilter& filter = *filters_[i];
            if (filter.GetState() != VoiceFilter::Created) {
                throw Error::InvalidState(encoding_, "VoiceFilter is already started.");
            }
            filter.OnStart();
            filter.SetState(VoiceFilter::Filtering);
            filter.SetErrorListener(this);
            if (i + 1 < filters_.size()) {
                filter.SetOutputListener(filters_[i + 1].get());
            } else {
                filter.SetOutputListener(this);
            }
        }
    } catch (...) {
        // Whatever the failure (the codec's and the detector's errors included), the
        // filters already started are stopped.
        for (const auto& filter : filters_) {
            if (filter->GetState() == VoiceFilter::Filtering) {
                filter->OnStop(true);
                filter->SetState(VoiceFilter::Stopped);
            }
        }
        state_ = Stopped;
        throw;
    }
    state_ = Started;
}

void VoiceBuffer::OnFilterOutput(boost::shared_ptr<DataBuffer> block) { AddData(block); }

void VoiceBuffer::AddData(boost::shared_ptr<DataBuffer> block)
{
    Orvane::Exception* refused = nullptr;
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        refused = Queue(block);
        if (refused != nullptr && KeepForInput(refused)) {
            return;
        }
    }
    if (refused != nullptr) {
        Report(refused);
    }
}

bool VoiceBuffer::KeepForInput(Orvane::Exception* error)
{
    if (inputThread_ != boost::this_thread::get_id()) {
        return false;
    }
    // Called from the chain inside Input, which holds the lock: Input reports the first
    // error once it has let go of the lock.
    if (pendingError_ == nullptr) {
        pendingError_ = error;
    } else {
        error->Release();
    }
    return true;
}

Orvane::Exception* VoiceBuffer::Queue(boost::shared_ptr<DataBuffer> block)
{
    if (queue_->Size() >= MaxQueued) {
        // Wrapped in the controller's encoding like every error the application receives.
        return Error::Internal(encoding_, "音声データのバッファが最大値を超えました。");
    }
    const int state = state_;
    if (state == Started || state == Stopping) {
        queue_->Push(block);
        ++queuedCount_;
    }
    return nullptr;
}

void VoiceBuffer::OnVoiceFilterError(Orvane::Exception* error)
{
    if (error == nullptr) {
        return;
    }
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        if (KeepForInput(error)) {
            return;
        }
    }
    Report(error);
}

void VoiceBuffer::Report(Orvane::Exception* error)
{
    if (errorListener_) {
        errorListener_->OnVoiceBufferError(error);
    } else if (error) {
        error->Release();
    }
}

void VoiceBuffer::Input(boost::shared_ptr<DataBuffer> block)
{
    Orvane::Exception* refused = nullptr;
    {
        // The only place that holds the lock across a call out: the synchronous filters run
        // under it, and the last one comes back into AddData (depth two).
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        if (state_ != Started) {
            return;
        }
        inputThread_ = boost::this_thread::get_id();
        try {
            if (filters_.empty()) {
                refused = Queue(block);
            } else {
                filters_.front()->Add(block);
            }
        } catch (...) {
            // The thrown error ends the recording; a kept one is not reported as well.
            inputThread_ = boost::thread::id();
            if (pendingError_ != nullptr) {
                pendingError_->Release();
                pendingError_ = nullptr;
            }
            throw;
        }
        inputThread_ = boost::thread::id();
        if (refused == nullptr) {
            std::swap(refused, pendingError_);
        }
    }
    if (refused != nullptr) {
        Report(refused);
    }
}

void VoiceBuffer::Stop(bool discard)
{
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        if (state_ != Started) {
            return;
        }
        state_ = Stopping;
    }
    // The asynchronous filter's worker delivers through AddData, which takes this
    // buffer's lock: the filters are stopped without it.
    for (const auto& filter : filters_) {
        if (filter->GetState() == VoiceFilter::Filtering) {
            filter->OnStop(discard);
            filter->SetState(VoiceFilter::Stopped);
        }
        filter->SetOutputListener(nullptr);
    }
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    state_ = Stopped;
    if (discard) {
        queue_->Clear();
        queue_->Abort();
    } else {
        queue_->Finish();
    }
}

} // namespace Helper
} // namespace Orvane
