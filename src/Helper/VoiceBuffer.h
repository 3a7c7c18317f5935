#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "Helper/DataBuffer.h"
#include "Helper/VoiceBufferErrorListener.h"
#include "Helper/VoiceFilter.h"
#include "Helper/VoiceFilterErrorListener.h"
#include "Helper/VoiceFilterListener.h"
#include "Utility/Queue.h"

namespace Orvane {
namespace Helper {

// The end of the chain: owns the filters and the bounded queue of blocks that the sender
// empties. The error listener is always called with this buffer's lock released: an error
// met inside Input (a synchronous filter's, or a refusal of the queue) is reported when
// Input lets go.
class VoiceBuffer : public VoiceFilterListener, public VoiceFilterErrorListener {
public:
    enum State { Created = 0, Started = 1, Stopping = 2, Stopped = 3 };
    typedef Utility::Queue<boost::shared_ptr<DataBuffer>> BlockQueue;

    // Blocks waiting beyond this count are refused.
    static const std::size_t MaxQueued = 500;

    explicit VoiceBuffer(int encoding);
    VoiceBuffer(const VoiceBuffer&) = delete;
    VoiceBuffer& operator=(const VoiceBuffer&) = delete;

    void OnFilterOutput(boost::shared_ptr<DataBuffer> block) override;
    virtual ~VoiceBuffer();
    void OnVoiceFilterError(Orvane::Exception* error) override;

    void AppendFilter(boost::shared_ptr<VoiceFilter> filter);
    void SetErrorListener(VoiceBufferErrorListener* listener) { errorListener_ = listener; }
    // Starts the filters in chain order and links them; a failure stops those already
    // started (discarding), leaves the buffer stopped and is thrown on.
    void Start();
    // Queues a block in the started and stopping states; with 500 blocks waiting the block
    // is refused and the error listener receives a 7000 error.
    void AddData(boost::shared_ptr<DataBuffer> block);

    // A recorded block: while started, handed to the first filter (or queued when there
    // is no filter), under this buffer's lock so that a stop waits for it.
    void Input(boost::shared_ptr<DataBuffer> block);
    // Stops the chain once, from the started state: the filters are stopped in order
    // without this buffer's lock (a worker may need it to deliver), then the queue is
    // finished (drained by the sender) or, with discard, cleared and aborted.
    void Stop(bool discard);

    int GetState() const { return state_; }
    boost::shared_ptr<BlockQueue> GetQueue() const { return queue_; }
    uint64_t GetQueuedCount() const { return queuedCount_; }
    int GetEncoding() const { return encoding_; }

private:
    // Pushes `block` in the started and stopping states; a full queue gives the error.
    Orvane::Exception* Queue(boost::shared_ptr<DataBuffer> block);
    // Under the lock: on the thread inside Input, keeps `error` for Input to report (true).
    bool KeepForInput(Orvane::Exception* error);
    // Calls the error listener; never with the lock held.
    void Report(Orvane::Exception* error);

    std::atomic<int> state_;
    boost::shared_ptr<BlockQueue> queue_;
    std::atomic<uint64_t> queuedCount_;
    std::vector<boost::shared_ptr<VoiceFilter>> filters_;
    VoiceBufferErrorListener* errorListener_;
    boost::recursive_mutex mutex_;
    // The thread inside Input (holding the lock), and the refusal it is to report.
    boost::thread::id inputThread_;
    Orvane::Exception* pendingError_;
    int encoding_;
};

} // namespace Helper
} // namespace Orvane
