#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "Helper/VadDetectListener.h"
#include "Helper/VoiceFilter.h"

namespace Orvane {
namespace Utility {
namespace Vad {
class Detector;
} // namespace Vad
} // namespace Utility

namespace Helper {

// Client-side speech detection: every block goes through a detector, and only the speech
// it returns (noise-reduced when that is on) is passed on, in 640-byte blocks. The start
// of speech and the end of the utterance are reported once each to the detection
// listener. Runs on an asynchronous filter's worker; output and events leave with no
// lock held.
class VadFilter : public VoiceFilter {
public:
    enum DetectionState { NoSpeech = 0, Speaking = 1, Ended = 2, Halted = 3 };

    static const unsigned int OutputBlockBytes = 640;

    // The detector is made at start from the model and configuration files, for preset
    // `mode`; the owner counts the time-outs itself.
    VadFilter(const std::string& configFile, const std::string& modelFile, bool noiseReduction, int mode,
              bool continuous);
    ~VadFilter() override;

    void SetVadFilterListener(VadDetectListener* listener) override;
    // Makes the detector; its errors (Utility::Exception) leave to the caller.
    void OnStart() override;
    // Nothing is flushed: a partial output block is dropped.
    void OnStop(bool discard) override;
    void OnInput(boost::shared_ptr<DataBuffer> block) override;

    int GetDetectionState() const { return state_; }

private:
    enum Event { Output, SpeechStarted, SpeechEnded };
    struct Step {
        Event event;
        boost::shared_ptr<DataBuffer> block;
    };

    void Collect(const char* data, unsigned int size, std::vector<Step>& steps);

    std::string configFile_;
    std::string modelFile_;
    bool continuous_;
    bool noiseReduction_;
    int mode_;
    std::vector<char> pending_;
    std::atomic<VadDetectListener*> listener_;
    boost::shared_ptr<Utility::Vad::Detector> detector_;
    boost::mutex mutex_;
    std::atomic<int> state_;
};

} // namespace Helper
} // namespace Orvane
