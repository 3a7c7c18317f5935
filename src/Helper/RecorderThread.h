#pragma once

#include <atomic>

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "Helper/VoiceRecorder.h"
#include "Helper/VoiceRecorderListener.h"
#include "Utility/OwnedThread.h"

namespace Orvane {
namespace Helper {

// Runs a recorder on a thread of its own and hands every block to the listener.
//
// A source may block in a call that no interruption ends (a capture device that stalls, a
// pipe whose writer never writes). The thread therefore keeps what it uses (the recorder,
// its flags) by shared ownership, and a stop waits for a call into the recorder only a
// limited time: after that the thread is left to end by itself, when the call returns,
// without calling the listener again.
class RecorderThread {
public:
    // How long a stop waits for a recorder call that has not returned.
    static constexpr int StallMilliseconds = 1000;

    explicit RecorderThread(boost::shared_ptr<VoiceRecorder> recorder);
    RecorderThread(const RecorderThread&) = delete;
    RecorderThread& operator=(const RecorderThread&) = delete;
    // Stops as Stop does.
    ~RecorderThread();

    void SetListener(VoiceRecorderListener* listener) { listener_ = listener; }
    // The running flag is set before the thread exists, so a Stop right after Start is
    // never lost. Already running: 2000; the thread cannot be made: 7000.
    void Start();
    // Clears the running flag, interrupts the thread and waits for it, also when it has
    // ended by itself; on the recording thread itself the thread is detached instead. A
    // thread stalled in a recorder call is left to end by itself (see above).
    void Stop();

    bool IsRunning() const;

private:
    struct Run;

    static void Body(const boost::shared_ptr<Run>& run);
    static void Record(Run& run);
    boost::shared_ptr<Run> Current() const;

    std::atomic<VoiceRecorderListener*> listener_;
    boost::shared_ptr<VoiceRecorder> recorder_;
    int samplesPerRead_;
    int encoding_;
    // Guards `run_`, the state of the latest thread.
    mutable boost::mutex mutex_;
    boost::shared_ptr<Run> run_;
    Utility::OwnedThread thread_;
};

} // namespace Helper
} // namespace Orvane
