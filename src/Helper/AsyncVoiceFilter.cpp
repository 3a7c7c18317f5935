#include "Helper/AsyncVoiceFilter.h"

#include <exception>

#include <boost/bind/bind.hpp>
#include <boost/thread/locks.hpp>

#include "Helper/Error.h"
#include "Utility/Exception.h"

namespace Orvane {
namespace Helper {
namespace {
const char* const RunFailed = "AsyncVoiceFilterの実行に失敗しました。";
} // namespace

AsyncVoiceFilter::AsyncVoiceFilter(boost::shared_ptr<VoiceFilter> inner) : inner_(inner), discard_(false), stop_(false)
{
}

AsyncVoiceFilter::~AsyncVoiceFilter()
{
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        stop_ = true;
        discard_ = true;
        condition_.notify_all();
    }
    worker_.Join(false);
}

void AsyncVoiceFilter::OnFilterOutput(boost::shared_ptr<DataBuffer> block) { Emit(block); }

void AsyncVoiceFilter::OnStart()
{
    // The flags are set before the worker exists, so a stop that comes before the worker
    // runs is never lost.
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        stop_ = false;
        discard_ = false;
        pending_.clear();
    }
    try {
        inner_->Start();
    } catch (const Utility::Exception& e) {
        throw Error::Internal(Encoding, e.GetErrorMessage());
    }
    inner_->SetOutputListener(this);
    inner_->SetErrorListener(this);
    try {
        worker_.Start(boost::bind(&AsyncVoiceFilter::Run, this));
    } catch (const std::exception&) {
        inner_->OnStop(true);
        inner_->SetState(Stopped);
        throw Error::Internal(Encoding, RunFailed);
    }
}

void AsyncVoiceFilter::OnStop(bool discard)
{
    {
        boost::lock_guard<boost::recursive_mutex> lock(mutex_);
        stop_ = true;
        discard_ = discard;
        if (discard) {
            pending_.clear();
        }
        condition_.notify_all();
    }
    worker_.Join(false);
    if (inner_->GetState() == Filtering) {
        inner_->OnStop(discard);
        inner_->SetState(Stopped);
    }
}

void AsyncVoiceFilter::OnInput(boost::shared_ptr<DataBuffer> block)
{
    boost::lock_guard<boost::recursive_mutex> lock(mutex_);
    if (stop_) {
        return;
    }
    pending_.push_back(block);
    condition_.notify_all();
}

void AsyncVoiceFilter::OnVoiceFilterError(Orvane::Exception* error) { ReportError(error); }

void AsyncVoiceFilter::Run()
{
    try {
        while (!discard_) {
            boost::shared_ptr<DataBuffer> block;
            {
                boost::unique_lock<boost::recursive_mutex> lock(mutex_);
                while (pending_.empty()) {
                    if (stop_) {
                        return;
                    }
                    condition_.wait(lock);
                }
                block = pending_.front();
                pending_.pop_front();
            }
            if (!HasError()) {
                Deliver(block);
            }
        }
    } catch (const boost::thread_interrupted&) {
    } catch (...) {
        try {
            ReportError(Error::Internal(Encoding, RunFailed));
        } catch (...) {
        }
    }
}

void AsyncVoiceFilter::Deliver(boost::shared_ptr<DataBuffer> block)
{
    try {
        inner_->Add(block);
    } catch (Orvane::Exception* error) {
        OnVoiceFilterError(error);
    } catch (const Utility::Exception& e) {
        OnVoiceFilterError(Error::Internal(Encoding, e.GetErrorMessage()));
    } catch (const std::exception& e) {
        OnVoiceFilterError(Error::Internal(Encoding, e.what()));
    }
}

} // namespace Helper
} // namespace Orvane
