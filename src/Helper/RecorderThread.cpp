#include "Helper/RecorderThread.h"

#include <algorithm>
#include <exception>

#include <boost/bind/bind.hpp>
#include <boost/chrono/duration.hpp>
#include <boost/chrono/system_clocks.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {
namespace {
const char* const RunFailed = "RecorderThreadの実行に失敗しました。";
typedef boost::chrono::steady_clock Clock;
} // namespace

// What one recording thread shares with its owner; the thread holds it by shared ownership
// and touches nothing else of the RecorderThread.
struct RecorderThread::Run {
    Run(boost::shared_ptr<VoiceRecorder> recorder, VoiceRecorderListener* listener, int samplesPerRead, int encoding)
        : recorder(recorder), listener(listener), samplesPerRead(samplesPerRead), encoding(encoding), running(true)
    {
    }

    // Marks a call into the recorder for the length of its scope.
    class Call {
    public:
        explicit Call(Run& run) : run_(run)
        {
            boost::lock_guard<boost::mutex> lock(run_.mutex);
            run_.inRecorder = true;
            run_.callStarted = Clock::now();
        }
        ~Call()
        {
            boost::lock_guard<boost::mutex> lock(run_.mutex);
            run_.inRecorder = false;
            run_.changed.notify_all();
        }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        Run& run_;
    };

    // True on the recording thread itself, which may run before its handle is stored.
    bool IsOwnThread()
    {
        boost::lock_guard<boost::mutex> lock(mutex);
        return thread == boost::this_thread::get_id();
    }

    // True once a stop has given the thread up: it calls no listener any more.
    bool IsLeft()
    {
        boost::lock_guard<boost::mutex> lock(mutex);
        return left;
    }

    void End()
    {
        boost::lock_guard<boost::mutex> lock(mutex);
        ended = true;
        changed.notify_all();
    }

    // Waits for the thread's end. A recorder call still running StallMilliseconds after the
    // stop (or after its own start, if later) gives the thread up: false.
    bool WaitEnd()
    {
        const Clock::time_point stopped = Clock::now();
        // A stop, destructors included, is not to be interrupted half-way through its wait.
        boost::this_thread::disable_interruption noInterruption;
        boost::unique_lock<boost::mutex> lock(mutex);
        while (!ended && !left) {
            if (!inRecorder) {
                changed.wait(lock);
                continue;
            }
            const Clock::time_point deadline =
                std::max(stopped, callStarted) + boost::chrono::milliseconds(StallMilliseconds);
            if (Clock::now() >= deadline) {
                left = true;
                break;
            }
            changed.wait_until(lock, deadline);
        }
        return !left;
    }

    const boost::shared_ptr<VoiceRecorder> recorder;
    VoiceRecorderListener* const listener;
    const int samplesPerRead;
    const int encoding;
    std::atomic<bool> running;

    // Guards the fields below.
    boost::mutex mutex;
    boost::condition_variable changed;
    boost::thread::id thread;
    bool inRecorder = false;
    Clock::time_point callStarted;
    bool left = false;
    bool ended = false;
};

RecorderThread::RecorderThread(boost::shared_ptr<VoiceRecorder> recorder)
    : listener_(nullptr), recorder_(recorder), samplesPerRead_(recorder ? recorder->GetSamplesPerRead() : 0),
      encoding_(2)
{
}

RecorderThread::~RecorderThread() { Stop(); }

boost::shared_ptr<RecorderThread::Run> RecorderThread::Current() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return run_;
}

bool RecorderThread::IsRunning() const
{
    const boost::shared_ptr<Run> run = Current();
    return run && run->running;
}

void RecorderThread::Start()
{
    boost::shared_ptr<Run> run;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (run_ && run_->running) {
            throw Error::InvalidState(encoding_, "RecorderThread is already started.");
        }
        run.reset(new Run(recorder_, listener_, samplesPerRead_, encoding_));
        run_ = run;
    }
    // A thread that ended by itself may still be finishing: Start joins it first.
    try {
        thread_.Start(boost::bind(&RecorderThread::Body, run));
    } catch (const std::exception&) {
        run->running = false;
        throw Error::Internal(encoding_, RunFailed);
    }
}

void RecorderThread::Stop()
{
    const boost::shared_ptr<Run> run = Current();
    if (run) {
        run->running = false;
    }
    if (!run || run->IsOwnThread() || thread_.IsCurrent()) {
        // On the recording thread itself nothing is waited for; a handle stored already is
        // detached.
        thread_.Join(true);
        return;
    }
    thread_.Interrupt();
    if (run->WaitEnd()) {
        thread_.Join(false);
    } else {
        thread_.Detach();
    }
}

void RecorderThread::Record(Run& run)
{
    if (run.samplesPerRead <= 0) {
        throw Error::Internal(run.encoding, RunFailed);
    }
    const uint32_t blockSize = 2u * static_cast<uint32_t>(run.samplesPerRead);
    while (run.running) {
        boost::shared_ptr<DataBuffer> block(new DataBuffer(blockSize));
        if (run.recorder->GetState() != VoiceRecorder::Recording) {
            throw Error::InvalidState(run.encoding, "VoiceRecorder is not recording.");
        }
        unsigned int samples = 0;
        try {
            Run::Call call(run);
            samples = run.recorder->OnRead(block);
        } catch (const boost::thread_interrupted&) {
            // A stop ended the wait; the running test decides.
            continue;
        }
        if (samples == 0 || run.IsLeft()) {
            break;
        }
        if (run.listener && !run.listener->OnRecordVoice(block)) {
            break;
        }
    }
}

void RecorderThread::Body(const boost::shared_ptr<Run>& run)
{
    {
        boost::lock_guard<boost::mutex> lock(run->mutex);
        run->thread = boost::this_thread::get_id();
    }
    Orvane::Exception* error = nullptr;
    bool started = false;
    try {
        if (!run->recorder) {
            throw Error::Internal(run->encoding, RunFailed);
        }
        {
            Run::Call call(*run);
            run->recorder->Start();
        }
        started = true;
        Record(*run);
    } catch (Orvane::Exception* e) {
        error = e;
    } catch (const boost::thread_interrupted&) {
    } catch (const std::exception& e) {
        error = Error::Internal(run->encoding, e.what());
    } catch (...) {
        error = Error::Internal(run->encoding, RunFailed);
    }

    // A stop's interruption must not land in the listener's code.
    boost::this_thread::disable_interruption noInterruption;
    if (started) {
        try {
            Run::Call call(*run);
            run->recorder->OnStop();
            run->recorder->SetState(VoiceRecorder::Stopped);
        } catch (Orvane::Exception* e) {
            if (error) {
                e->Release();
            } else {
                error = e;
            }
        } catch (...) {
            if (!error) {
                error = Error::Internal(run->encoding, RunFailed);
            }
        }
    }
    run->running = false;
    // A thread given up by a stop ends quietly: its listener may be gone.
    VoiceRecorderListener* const listener = run->IsLeft() ? nullptr : run->listener;
    if (listener) {
        listener->OnFinishRecording(error);
    } else if (error) {
        error->Release();
    }
    run->End();
}

} // namespace Helper
} // namespace Orvane
