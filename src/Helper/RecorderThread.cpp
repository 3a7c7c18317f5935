#include "Helper/RecorderThread.h"

#include <exception>

#include <boost/bind/bind.hpp>
#include <boost/thread/locks.hpp>

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {
namespace {
const char* const RunFailed = "RecorderThreadの実行に失敗しました。";
} // namespace

RecorderThread::RecorderThread(boost::shared_ptr<VoiceRecorder> recorder)
    : running_(false), listener_(nullptr), recorder_(recorder),
      samplesPerRead_(recorder ? recorder->GetSamplesPerRead() : 0), encoding_(2)
{
}

RecorderThread::~RecorderThread()
{
    running_ = false;
    thread_.Join(true);
}

void RecorderThread::Start()
{
    if (running_.exchange(true)) {
        throw Error::InvalidState(encoding_, "RecorderThread is already started.");
    }
    // A thread that ended by itself may still be finishing: Start joins it first.
    try {
        thread_.Start(boost::bind(&RecorderThread::Run, this));
    } catch (const std::exception&) {
        running_ = false;
        throw Error::Internal(encoding_, RunFailed);
    }
}

void RecorderThread::Stop()
{
    // A thread that ended by itself is joined too (never from that thread).
    running_ = false;
    thread_.Join(true);
}

void RecorderThread::Record(VoiceRecorderListener* listener)
{
    if (samplesPerRead_ <= 0) {
        throw Error::Internal(encoding_, RunFailed);
    }
    const uint32_t blockSize = 2u * static_cast<uint32_t>(samplesPerRead_);
    while (running_) {
        boost::shared_ptr<DataBuffer> block(new DataBuffer(blockSize));
        if (recorder_->GetState() != VoiceRecorder::Recording) {
            throw Error::InvalidState(encoding_, "VoiceRecorder is not recording.");
        }
        unsigned int samples = 0;
        try {
            samples = recorder_->OnRead(block);
        } catch (const boost::thread_interrupted&) {
            // A stop ended the wait; the running test decides.
            continue;
        }
        if (samples == 0) {
            break;
        }
        if (listener && !listener->OnRecordVoice(block)) {
            break;
        }
    }
}

void RecorderThread::Run()
{
    VoiceRecorderListener* const listener = listener_;
    Orvane::Exception* error = nullptr;
    bool started = false;
    try {
        if (!recorder_) {
            throw Error::Internal(encoding_, RunFailed);
        }
        recorder_->Start();
        started = true;
        Record(listener);
    } catch (Orvane::Exception* e) {
        error = e;
    } catch (const boost::thread_interrupted&) {
    } catch (const std::exception& e) {
        error = Error::Internal(encoding_, e.what());
    } catch (...) {
        error = Error::Internal(encoding_, RunFailed);
    }

    // A stop's interruption must not land in the listener's code.
    boost::this_thread::disable_interruption noInterruption;
    if (started) {
        try {
            recorder_->OnStop();
            recorder_->SetState(VoiceRecorder::Stopped);
        } catch (Orvane::Exception* e) {
            if (error) {
                e->Release();
            } else {
                error = e;
            }
        } catch (...) {
            if (!error) {
                error = Error::Internal(encoding_, RunFailed);
            }
        }
    }
    running_ = false;
    // Last: the listener may drop the last reference to this object.
    if (listener) {
        listener->OnFinishRecording(error);
    } else if (error) {
        error->Release();
    }
}

} // namespace Helper
} // namespace Orvane
