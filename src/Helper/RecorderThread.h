#pragma once

#include <atomic>

#include <boost/shared_ptr.hpp>

#include "Helper/VoiceRecorder.h"
#include "Helper/VoiceRecorderListener.h"
#include "Utility/OwnedThread.h"

namespace Orvane {
namespace Helper {

// Runs a recorder on a thread of its own and hands every block to the listener.
class RecorderThread {
public:
    explicit RecorderThread(boost::shared_ptr<VoiceRecorder> recorder);
    RecorderThread(const RecorderThread&) = delete;
    RecorderThread& operator=(const RecorderThread&) = delete;
    // Stops and waits for a thread still running (never the calling thread itself).
    ~RecorderThread();

    void SetListener(VoiceRecorderListener* listener) { listener_ = listener; }
    // The running flag is set before the thread exists, so a Stop right after Start is
    // never lost. Already running: 2000; the thread cannot be made: 7000.
    void Start();
    // Clears the running flag, interrupts the thread and waits for it, also when it has
    // ended by itself; on the recording thread itself the thread is detached instead.
    void Stop();

    bool IsRunning() const { return running_; }

private:
    void Run();
    void Record(VoiceRecorderListener* listener);

    std::atomic<bool> running_;
    std::atomic<VoiceRecorderListener*> listener_;
    Utility::OwnedThread thread_;
    boost::shared_ptr<VoiceRecorder> recorder_;
    int samplesPerRead_;
    int encoding_;
};

} // namespace Helper
} // namespace Orvane
