#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Vad/VadBuffer.h"

namespace Orvane {
namespace Utility {
namespace Vad {

class Ostrel;

// Turns 16-bit mono PCM bytes into chunks of detected speech with their statuses. Every
// error of its operations is an Orvane::Utility::Exception of type "Orvane::Utility::Vad".
// Used by one thread at a time; it takes no locks.
class Detector {
public:
    // Loads the model file whole, applies preset `mode` (0..3), the output kind and the
    // continuous-speech switch, then the section "Environment" of `configFile` (if named).
    static boost::shared_ptr<Detector> CreateDetector(int mode, bool noiseReduction, bool continuousSpeech,
                                                      const std::string& modelFile, const std::string& configFile);
    virtual ~Detector();
    Detector(const Detector&) = delete;
    Detector& operator=(const Detector&) = delete;

    // The chunks made from `size` bytes of input, in order. Without continuous speech,
    // nothing follows the chunk that ends the first utterance.
    std::deque<boost::shared_ptr<VadBuffer>> Detect(const char* data, unsigned int size);
    // Limits in seconds of input before speech starts and of speech before it ends, for
    // `rate` samples per second.
    void SetDetectTimer(double startSeconds, double endSeconds, double rate);
    // A chunk of `count` samples with the status the utterance has reached.
    boost::shared_ptr<VadBuffer> RefillVadBuffer(const char* samples, unsigned int count);
    void ShowOstrelParameter();

private:
    Detector(int mode, bool noiseReduction, bool continuousSpeech, const std::string& modelFile,
             const std::string& configFile);
    boost::shared_ptr<Ostrel> PrepareOstrel();
    void DetectSteps(const char* data, unsigned int size, std::deque<boost::shared_ptr<VadBuffer>>& result);
    void Collect(const short* samples, int count);

    boost::shared_ptr<Ostrel> engine_;
    int mode_;
    int startedUtterances_;
    std::uint64_t inputSinceEnd_;   // bytes fed since creation or the last utterance end
    std::uint64_t utteranceOutput_; // speech bytes delivered for the current utterance
    int completedUtterances_;
    bool noiseReduction_;
    bool continuous_;
    bool startPending_;
    bool endPending_;
    std::vector<char> model_;
    std::string modelFile_;
    std::string configFile_;
    bool timerEnabled_;
    double startLimit_;
    double endLimit_;
    double rate_;
    std::vector<short> output_; // samples collected since the last chunk; reused
    std::size_t collected_;
};

} // namespace Vad
} // namespace Utility
} // namespace Orvane
