#pragma once

#include <atomic>

#include <boost/shared_ptr.hpp>

#include "Helper/DataBuffer.h"

namespace Orvane {
namespace Helper {

// A source of recorded speech, read block by block by the recording thread.
class VoiceRecorder {
public:
    enum State { Created = 0, Recording = 1, Stopped = 2 };

    VoiceRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead);
    VoiceRecorder(const VoiceRecorder&) = delete;
    VoiceRecorder& operator=(const VoiceRecorder&) = delete;

    virtual ~VoiceRecorder();
    virtual void OnStart();
    virtual unsigned int OnRead(short* samples, unsigned int count);
    // Fills `block` and returns the number of samples read; 0 ends the recording.
    virtual unsigned int OnRead(boost::shared_ptr<DataBuffer> block);
    virtual void OnStop();

    // Created: OnStart, then recording; otherwise 2000.
    void Start();

    int GetState() const { return state_; }
    void SetState(int state) { state_ = state; }
    int GetEncoding() const { return encoding_; }
    int GetSamplingRate() const { return samplingRate_; }
    int GetReadPeriod() const { return readPeriod_; }
    int GetSamplesPerRead() const { return samplesPerRead_; }

private:
    std::atomic<int> state_;
    int encoding_;
    int samplingRate_;
    int readPeriod_;
    int samplesPerRead_;
};

} // namespace Helper
} // namespace Orvane
