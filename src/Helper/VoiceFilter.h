#pragma once

#include <atomic>

#include <boost/shared_ptr.hpp>

#include "Helper/DataBuffer.h"
#include "Helper/VadDetectListener.h"
#include "Helper/VoiceFilterErrorListener.h"
#include "Helper/VoiceFilterListener.h"
#include "Orvane/Exception.h"

namespace Orvane {
namespace Helper {

// One stage of the voice buffer's chain. A filter receives blocks through Add (or, as
// the listener of the filter before it, through OnFilterOutput) and passes what it
// makes to its output listener.
class VoiceFilter : public VoiceFilterListener {
public:
    enum State { Created = 0, Filtering = 1, Stopped = 2 };

    VoiceFilter();
    VoiceFilter(const VoiceFilter&) = delete;
    VoiceFilter& operator=(const VoiceFilter&) = delete;

    void OnFilterOutput(boost::shared_ptr<DataBuffer> block) override;
    virtual ~VoiceFilter();
    virtual void SetVadFilterListener(VadDetectListener* listener);
    virtual void OnStart();
    virtual void OnStop(bool discard);
    virtual void OnInput(boost::shared_ptr<DataBuffer> block);

    // Created: OnStart, then filtering; otherwise 2000.
    void Start();
    // Filtering without an error, or stopped: OnInput. Filtering after an error: the
    // block is dropped. Created: 2000.
    void Add(boost::shared_ptr<DataBuffer> block);

    int GetState() const { return state_; }
    void SetState(int state) { state_ = state; }
    bool HasError() const { return errorSeen_; }
    void SetErrorListener(VoiceFilterErrorListener* listener) { errorListener_ = listener; }
    void SetOutputListener(VoiceFilterListener* listener) { outputListener_ = listener; }

protected:
    // Hands `block` to the output listener, if one is set.
    void Emit(boost::shared_ptr<DataBuffer> block);
    // Marks the error seen (later blocks are dropped while filtering) and hands the error
    // to the error listener, or frees it when there is none.
    void ReportError(Orvane::Exception* error);

    // Filters raise their errors in UTF-8: their texts are never re-encoded.
    static const int Encoding = 2;

private:
    std::atomic<int> state_;
    std::atomic<bool> errorSeen_;
    std::atomic<VoiceFilterErrorListener*> errorListener_;
    std::atomic<VoiceFilterListener*> outputListener_;
};

} // namespace Helper
} // namespace Orvane
