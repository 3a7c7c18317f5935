#include "Vad/Detector.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>

#include <boost/filesystem.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "Utility/Exception.h"
#include "Vad/Errors.h"
#include "Vad/OSTRELError.h"
#include "Vad/Ostrel.h"

namespace Orvane {
namespace Utility {
namespace Vad {
namespace {

// Model files are a few kilobytes; anything near the engine's own bounds is no model.
constexpr std::uintmax_t kMaxModelBytes = 64u << 20;

// One engine step: 160 samples, one frame shift.
constexpr unsigned int kStepBytes = 320;
constexpr unsigned int kReadSamples = 160;

} // namespace

boost::shared_ptr<Detector> Detector::CreateDetector(int mode, bool noiseReduction, bool continuousSpeech,
                                                     const std::string& modelFile, const std::string& configFile)
{
    try {
        return boost::shared_ptr<Detector>(new Detector(mode, noiseReduction, continuousSpeech, modelFile, configFile));
    } catch (const Exception&) {
        throw;
    } catch (const std::exception& e) {
        throw MakeError(Errors::kCreateFailed, e.what());
    }
}

Detector::Detector(int mode, bool noiseReduction, bool continuousSpeech, const std::string& modelFile,
                   const std::string& configFile)
    : mode_(mode), startedUtterances_(0), inputSinceEnd_(0), utteranceOutput_(0), completedUtterances_(0),
      noiseReduction_(noiseReduction), continuous_(continuousSpeech), startPending_(false), endPending_(false),
      modelFile_(modelFile), configFile_(configFile), timerEnabled_(false), startLimit_(0.0), endLimit_(0.0),
      rate_(0.0), collected_(0)
{
    engine_ = PrepareOstrel();
}

Detector::~Detector() = default;

boost::shared_ptr<Ostrel> Detector::PrepareOstrel()
{
    boost::shared_ptr<Ostrel> engine(new Ostrel());
    try {
        // The file system reports a directory's size as not permitted.
        if (boost::filesystem::is_directory(modelFile_)) {
            throw boost::filesystem::filesystem_error(
                "boost::filesystem::file_size", modelFile_,
                boost::system::errc::make_error_code(boost::system::errc::is_a_directory));
        }
        const std::uintmax_t size = boost::filesystem::file_size(modelFile_);
        if (size == 0) {
            throw MakeError(Errors::kModelEmpty, modelFile_);
        }
        if (size > kMaxModelBytes) {
            throw MakeError(Errors::kCreateFailed,
                            std::string(Errors::kModelTooLarge) + "ファイル名=[" + modelFile_ + "]");
        }
        std::ifstream model(modelFile_, std::ios::binary);
        if (!model) {
            throw MakeError(Errors::kModelOpen, modelFile_);
        }
        model_.assign(static_cast<std::size_t>(size), 0);
        model.read(model_.data(), static_cast<std::streamsize>(size));
        if (static_cast<std::uintmax_t>(model.gcount()) < size) {
            throw MakeError(Errors::kModelRead, modelFile_);
        }
        model.close();

        engine->setMode(mode_, model_.data(), static_cast<unsigned int>(size));
        engine->setVariable(std::string("SBM:ContinuousSpeech"), std::string(continuous_ ? "1" : "0"));
        engine->setVariable(std::string("VAD:Output"), std::string(noiseReduction_ ? "MMSE_WAV" : "OBS_WAV"));
        engine->setVariable(std::string("GMMW:NScale"), std::string(noiseReduction_ ? "0.5" : "1.0"));

        if (!configFile_.empty()) {
            std::ifstream config(configFile_);
            if (!config) {
                throw MakeError(Errors::kConfigNotFound, configFile_);
            }
            boost::property_tree::ptree tree;
            boost::property_tree::ini_parser::read_ini(config, tree);
            for (const auto& entry : tree.get_child("Environment")) {
                engine->setVariable(entry.first, entry.second.data());
            }
        }
    } catch (const Exception&) {
        throw;
    } catch (const std::exception& e) {
        throw MakeError(Errors::kCreateFailed, e.what());
    }
    return engine;
}

std::deque<boost::shared_ptr<VadBuffer>> Detector::Detect(const char* data, unsigned int size)
{
    std::deque<boost::shared_ptr<VadBuffer>> result;
    if (!continuous_ && completedUtterances_ > 0) {
        return result;
    }
    try {
        if (data == nullptr && size != 0) {
            throw MakeError(Errors::kDetectFailed, Errors::kNoInput);
        }
        DetectSteps(data, size, result);
    } catch (const Exception&) {
        throw;
    } catch (const std::exception& e) {
        // The engine's errors and any other failure arrive as the detector's own.
        throw MakeError(Errors::kDetectFailed, e.what());
    }
    return result;
}

void Detector::DetectSteps(const char* data, unsigned int size, std::deque<boost::shared_ptr<VadBuffer>>& result)
{
    collected_ = 0;
    short step[kStepBytes / 2];
    short work[kReadSamples];
    for (unsigned int offset = 0; offset < size; offset += kStepBytes) {
        const unsigned int bytes = std::min(kStepBytes, size - offset);
        std::memcpy(step, data + offset, bytes);
        inputSinceEnd_ += bytes;
        engine_->detect(step, bytes / 2);
        for (;;) {
            const int n = engine_->read(work, kReadSamples);
            if (n > 0) {
                if (utteranceOutput_ == 0 && !startPending_) {
                    ++startedUtterances_;
                    startPending_ = true;
                }
                Collect(work, n);
                continue;
            }
            if (n == -1) {
                endPending_ = true;
                result.push_back(RefillVadBuffer(reinterpret_cast<const char*>(output_.data()),
                                                 static_cast<unsigned int>(collected_)));
                collected_ = 0;
                // One utterance only: the input after its end is not looked at.
                if (!continuous_ && completedUtterances_ > 0) {
                    return;
                }
            }
            break;
        }
    }
    if (timerEnabled_) {
        if (utteranceOutput_ == 0 && inputSinceEnd_ > static_cast<std::uint64_t>(std::max(startLimit_, 0.0))) {
            throw MakeError(Errors::kNoStartInTime);
        }
        if (utteranceOutput_ > 0 && utteranceOutput_ > static_cast<std::uint64_t>(std::max(endLimit_, 0.0))) {
            throw MakeError(Errors::kNoEndInTime);
        }
    }
    if (collected_ > 0) {
        result.push_back(RefillVadBuffer(reinterpret_cast<const char*>(output_.data()),
                                         static_cast<unsigned int>(collected_)));
        collected_ = 0;
    }
}

// Appends samples to the output area, which grows as needed and is kept for later calls.
void Detector::Collect(const short* samples, int count)
{
    const std::size_t needed = collected_ + static_cast<std::size_t>(count);
    // A chunk's size in bytes must fit its unsigned size.
    if (needed > UINT_MAX / 2) {
        throw MakeError(Errors::kDetectFailed, Errors::kOutputTooLarge);
    }
    if (output_.size() < needed) {
        output_.resize(std::max(needed, output_.size() * 2));
    }
    std::copy(samples, samples + count, output_.begin() + static_cast<std::ptrdiff_t>(collected_));
    collected_ = needed;
    utteranceOutput_ += 2 * static_cast<std::uint64_t>(count);
}

void Detector::SetDetectTimer(double startSeconds, double endSeconds, double rate)
{
    timerEnabled_ = true;
    startLimit_ = startSeconds * rate * 2;
    endLimit_ = endSeconds * rate * 2;
    rate_ = rate;
}

boost::shared_ptr<VadBuffer> Detector::RefillVadBuffer(const char* samples, unsigned int count)
{
    const std::uint64_t bytes = 2 * static_cast<std::uint64_t>(count);
    if (bytes > UINT_MAX || (samples == nullptr && count != 0)) {
        throw MakeError(Errors::kDetectFailed, Errors::kOutputTooLarge);
    }
    boost::shared_ptr<VadBuffer> chunk(new VadBuffer(static_cast<unsigned int>(bytes)));
    if (bytes != 0) {
        std::memcpy(chunk->Data(), samples, static_cast<std::size_t>(bytes));
    }
    // An end found after the utterance's samples were all handed out still ends it now, as
    // an empty last chunk, rather than marking the next utterance's first samples.
    if (count == 0 && !endPending_) {
        chunk->SetStatus(VAD_STATUS_NO_SAMPLES);
    } else if (endPending_) {
        chunk->SetStatus(VAD_STATUS_END);
        endPending_ = false;
        startPending_ = false;
        ++completedUtterances_;
        inputSinceEnd_ = 0;
        utteranceOutput_ = 0;
    } else if (startPending_) {
        chunk->SetStatus(VAD_STATUS_START);
        startPending_ = false;
    } else {
        chunk->SetStatus(VAD_STATUS_CONTINUE);
    }
    return chunk;
}

void Detector::ShowOstrelParameter()
{
    static const char* const kNames[] = {
        "FE:SampFreq",   "FE:FramePts",       "FE:ShiftPts",          "FE:PreEmp",
        "FE:NumChan",    "FE:NumFFT",         "FE:NumFB",             "PKF:DrvVar",
        "PKF:CumR",      "PKF:InitFrame",     "VAD:NumStream",        "VAD:ProbN2S",
        "VAD:ProbS2N",   "VAD:Threshold",     "VAD:FilLen",           "VAD:MaxSDuration",
        "VAD:MaxNDuration", "VAD:MaxGap",     "VAD:Output",           "GMMW:NScale",
        "GMMW:Forget",   "PKF:SpeechGMMPath", "SBM:HeadMargin",       "SBM:TailMargin",
        "SBM:MaxGap",    "SBM:Majority",      "SBM:MajorityFrames",   "SBM:MajorityVotes",
        "SBM:MajorityFrames_Pause", "SBM:MajorityVotes_Pause", "SBM:StartFromBeginning", "SBM:ContinuousSpeech",
    };
    for (const char* name : kNames) {
        (void)engine_->getVariable(std::string(name));
    }
}

} // namespace Vad
} // namespace Utility
} // namespace Orvane
