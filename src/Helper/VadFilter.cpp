#include "Helper/VadFilter.h"

#include <algorithm>

#include <boost/thread/locks.hpp>

#include "Vad/Detector.h"
#include "Vad/VadBuffer.h"

namespace Orvane {
namespace Helper {

VadFilter::VadFilter(const std::string& configFile, const std::string& modelFile, bool noiseReduction, int mode,
                     bool continuous)
    : configFile_(configFile), modelFile_(modelFile), continuous_(continuous), noiseReduction_(noiseReduction),
      mode_(mode), listener_(nullptr), state_(NoSpeech)
{
}

VadFilter::~VadFilter() = default;

void VadFilter::SetVadFilterListener(VadDetectListener* listener) { listener_ = listener; }

void VadFilter::OnStart()
{
    boost::shared_ptr<Utility::Vad::Detector> detector =
        Utility::Vad::Detector::CreateDetector(mode_, noiseReduction_, continuous_, modelFile_, configFile_);
    detector->ShowOstrelParameter();
    boost::lock_guard<boost::mutex> lock(mutex_);
    state_ = NoSpeech;
    pending_.clear();
    detector_ = detector;
}

void VadFilter::OnStop(bool /*discard*/)
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    state_ = Halted;
    pending_.clear();
}

void VadFilter::OnInput(boost::shared_ptr<DataBuffer> block)
{
    if (!block || state_ == Halted) {
        return;
    }
    std::vector<Step> steps;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (state_ == Halted || !detector_) {
            return;
        }
        // Detection errors leave here, for the asynchronous filter to report.
        const std::deque<boost::shared_ptr<Utility::Vad::VadBuffer>> chunks =
            detector_->Detect(block->GetData(), block->GetSize());
        for (const auto& chunk : chunks) {
            const Utility::Vad::VadDetectStatus status = chunk->GetStatus();
            if (status != Utility::Vad::VAD_STATUS_START && status != Utility::Vad::VAD_STATUS_CONTINUE &&
                status != Utility::Vad::VAD_STATUS_END) {
                continue;
            }
            Collect(chunk->Data(), chunk->Size(), steps);
            if (status == Utility::Vad::VAD_STATUS_START && state_ == NoSpeech) {
                state_ = Speaking;
                steps.push_back(Step{SpeechStarted, boost::shared_ptr<DataBuffer>()});
            } else if (status == Utility::Vad::VAD_STATUS_END && state_ == Speaking) {
                state_ = Ended;
                steps.push_back(Step{SpeechEnded, boost::shared_ptr<DataBuffer>()});
            }
        }
    }
    VadDetectListener* const listener = listener_;
    for (const Step& step : steps) {
        if (step.event == Output) {
            Emit(step.block);
        } else if (listener != nullptr) {
            if (step.event == SpeechStarted) {
                listener->OnDetectVoiceStart();
            } else {
                listener->OnDetectVoiceEnd();
            }
        }
    }
}

void VadFilter::Collect(const char* data, unsigned int size, std::vector<Step>& steps)
{
    if (data == nullptr || size == 0) {
        return;
    }
    pending_.insert(pending_.end(), data, data + size);
    std::size_t used = 0;
    while (pending_.size() - used >= OutputBlockBytes) {
        boost::shared_ptr<DataBuffer> out(new DataBuffer(OutputBlockBytes));
        std::copy(pending_.begin() + used, pending_.begin() + used + OutputBlockBytes, out->GetData());
        steps.push_back(Step{Output, out});
        used += OutputBlockBytes;
    }
    pending_.erase(pending_.begin(), pending_.begin() + used);
}

} // namespace Helper
} // namespace Orvane
