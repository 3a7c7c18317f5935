#include "Helper/OrvaneController.h"

#include <exception>
#include <thread>

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>
#include <boost/weak_ptr.hpp>

#include "Helper/AsyncVoiceFilter.h"
#include "Helper/CombineFilter.h"
#include "Helper/EncoderFilter.h"
#include "Helper/Error.h"
#include "Helper/FileRecorder.h"
#include "Helper/MicRecorder.h"
#include "Helper/Parameters.h"
#include "Helper/RecognizerHelper.h"
#include "Helper/RecorderThread.h"
#include "Helper/VadFilter.h"
#include "Helper/VoiceBuffer.h"
#include "Utility/Exception.h"

namespace Orvane {
namespace Helper {
namespace {
const int SamplingRate = 16000;
const int FrameMilliseconds = 20;
const int SamplesPerFrame = 320;
const char* const WorkerFailed = "OrvaneControllerの実行に失敗しました。";

// Milliseconds as a sample count at 16 kHz; negative values count as 0.
uint64_t MillisecondsToSamples(int milliseconds)
{
    return milliseconds > 0 ? static_cast<uint64_t>(milliseconds) * (SamplingRate / 1000) : 0;
}

// The failure being handled, as a helper error in `encoding`.
Orvane::Exception* CaughtError(int encoding)
{
    try {
        throw;
    } catch (Orvane::Exception* error) {
        return Error::Adopt(encoding, error);
    } catch (const Utility::Exception& e) {
        return Error::Internal(encoding, e.GetErrorMessage());
    } catch (const std::exception& e) {
        return Error::Internal(encoding, e.what());
    } catch (...) {
        return Error::Internal(encoding, WorkerFailed);
    }
}
} // namespace

OrvaneController::OrvaneController(int encoding)
    : listener_(nullptr), connected_(false), finished_(true), detection_(false), serverVad_(false),
      continuous_(false), notifyRecord_(false), state_(Idle), stopState_(NoStop), speechStartSeen_(false),
      speechEndSeen_(false), recognitionTimeout_(0), samplesBeforeSpeech_(0), sentenceTimeout_(0),
      samplesInSpeech_(0), encoding_(encoding), cancel_(false), applicationStop_(false), pushFinished_(false),
      completionReported_(false)
{
}

OrvaneController::~OrvaneController()
{
    // Last owner gone without the helper's teardown: no thread may outlive the pipeline.
    if (recognizerHelper_) {
        try {
            recognizerHelper_->Destroy();
        } catch (...) {
        }
    }
}

int OrvaneController::GetState() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return state_;
}

boost::shared_ptr<RecognizerHelper> OrvaneController::GetRecognizerHelper() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return recognizerHelper_;
}

boost::shared_ptr<RecorderThread> OrvaneController::GetRecorderThread() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return recorderThread_;
}

boost::shared_ptr<VoiceBuffer> OrvaneController::GetVoiceBuffer() const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return voiceBuffer_;
}

void OrvaneController::Start(boost::shared_ptr<Parameters> parameters)
{
    bool accepted = false;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        accepted = state_ == Idle && parameters;
        if (accepted) {
            state_ = Starting;
            finished_ = false;
        }
    }
    if (!accepted) {
        Orvane::Exception* const error = Error::InvalidState(encoding_, "音声認識を開始できません。");
        StartWorker([this, error] { HandleError(error); });
        return;
    }
    try {
        Build(*parameters);
    } catch (...) {
        OnError(CaughtError(encoding_));
    }
}

void OrvaneController::Build(const Parameters& parameters)
{
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        stopState_ = NoStop;
        pushFinished_ = false;
    }
    connected_ = false;
    speechStartSeen_ = false;
    speechEndSeen_ = false;
    samplesBeforeSpeech_ = 0;
    samplesInSpeech_ = 0;
    cancel_ = false;
    applicationStop_ = false;
    completionReported_ = false;

    characterSet_ = parameters.GetCharacterSet();
    detection_ = parameters.DoVad();
    serverVad_ = parameters.DoServersideVad();
    continuous_ = parameters.DoContinuous();
    recognitionTarget_ = parameters.GetRecognitionTarget();
    notifyRecord_ = parameters.GetNotifyRecord();
    recognitionTimeout_ = MillisecondsToSamples(parameters.GetRecordingTimeout());
    sentenceTimeout_ = MillisecondsToSamples(parameters.GetSentenceTimeout());
    const boost::shared_ptr<Parameters> held(new Parameters(parameters));

    boost::shared_ptr<VoiceBuffer> buffer(new VoiceBuffer(encoding_));
    if (detection_ && !serverVad_) {
        boost::shared_ptr<VoiceFilter> detector(new VadFilter(parameters.GetVadInfoPath(), parameters.GetVadModelPath(),
                                                              parameters.DoNoiseReduction(),
                                                              parameters.GetOstrelEnvMode(), false));
        detector->SetVadFilterListener(this);
        buffer->AppendFilter(boost::shared_ptr<VoiceFilter>(new AsyncVoiceFilter(detector)));
    }
    std::string codec = boost::algorithm::to_lower_copy(parameters.GetCodec(), std::locale::classic());
    if (codec == "none_specify") {
        codec = "opus";
    }
    if (codec == "opus") {
        buffer->AppendFilter(boost::shared_ptr<VoiceFilter>(new EncoderFilter("opus", SamplingRate)));
    }
    buffer->AppendFilter(boost::shared_ptr<VoiceFilter>(new CombineFilter()));
    buffer->SetErrorListener(this);

    boost::shared_ptr<VoiceRecorder> recorder;
    if (!recognitionTarget_.empty()) {
        recorder.reset(
            new FileRecorder(encoding_, SamplingRate, FrameMilliseconds, SamplesPerFrame, recognitionTarget_));
    } else {
        recorder.reset(new MicRecorder(encoding_, SamplingRate, FrameMilliseconds, SamplesPerFrame,
                                       parameters.GetAudioInputDevice(), parameters.GetRecordingDelaytime()));
    }
    boost::shared_ptr<RecorderThread> recording(new RecorderThread(recorder));
    recording->SetListener(this);
    // Made before anything runs, so a recorder that fails at once finds it to tear down.
    boost::shared_ptr<RecognizerHelper> recognizer(new RecognizerHelper(held));
    recognizer->SetListener(this);
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        parameters_ = held;
        voiceBuffer_ = buffer;
        recorderThread_ = recording;
        recognizerHelper_ = recognizer;
    }

    buffer->Start();
    StartRecording(*recording);
    if (finished_) {
        return;
    }
    // Refused with 2000 when a teardown has destroyed it in the meantime.
    recognizer->Prepare();
}

void OrvaneController::StartRecording(RecorderThread& recording) { recording.Start(); }

bool OrvaneController::CheckErrorAndState(int mask) const
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    return (state_ & mask) != 0;
}

bool OrvaneController::CountTimeouts(uint64_t samples)
{
    if (detection_ && speechStartSeen_) {
        samplesInSpeech_ += samples;
    } else {
        samplesBeforeSpeech_ += samples;
    }
    if (recognitionTimeout_ > 0 && samplesBeforeSpeech_ >= recognitionTimeout_) {
        if (!CheckErrorAndState(Starting | Connected)) {
            return false;
        }
        if (!detection_ || speechStartSeen_) {
            RequestStop();
        } else {
            OnError(Error::SpeechStartNotDetected(encoding_));
        }
        return false;
    }
    if (samplesInSpeech_ > 0 && samplesInSpeech_ >= sentenceTimeout_) {
        if (!CheckErrorAndState(Starting | Connected)) {
            return false;
        }
        if (!detection_ || speechEndSeen_) {
            RequestStop();
        } else {
            OnError(Error::SpeechEndNotDetected(encoding_));
        }
        return false;
    }
    return true;
}

bool OrvaneController::OnRecordVoice(boost::shared_ptr<DataBuffer> block)
{
    if (!block || block->GetSize() < 2 || block->GetData() == nullptr || finished_) {
        return false;
    }
    const uint32_t count = block->GetSize() / 2;
    if (!serverVad_ && !CountTimeouts(count)) {
        return false;
    }
    OrvaneListener* const listener = listener_;
    if (listener == nullptr) {
        return false;
    }
    const boost::shared_ptr<VoiceBuffer> buffer = GetVoiceBuffer();
    if (notifyRecord_ && buffer) {
        listener->Record(reinterpret_cast<short*>(block->GetData()), count);
    }
    if (buffer) {
        buffer->Input(block);
    }
    return true;
}

void OrvaneController::OnFinishRecording(Orvane::Exception* error)
{
    if (error != nullptr) {
        OnError(error);
    } else {
        RequestStop();
    }
}

void OrvaneController::OnVoiceBufferError(Orvane::Exception* error) { OnError(error); }

void OrvaneController::RecognitionError(Orvane::Exception* error) { OnError(error); }

void OrvaneController::OnDetectVoiceStart() { speechStartSeen_ = true; }

void OrvaneController::OnDetectVoiceEnd()
{
    if (serverVad_) {
        return;
    }
    // Seen before the stop is asked for: the sentence time-out must not fire in between.
    speechEndSeen_ = true;
    RequestStop();
}

void OrvaneController::OnNoiseReductionData(boost::shared_ptr<DataBuffer> block)
{
    OrvaneListener* const listener = listener_;
    if (block && block->GetSize() >= 2 && notifyRecord_ && listener != nullptr) {
        listener->RecordNR(reinterpret_cast<short*>(block->GetData()), block->GetSize() / 2);
    }
}

void OrvaneController::Prepared(Orvane::Exception* error)
{
    if (!CheckErrorAndState(Starting)) {
        if (error != nullptr) {
            error->Release();
        }
        return;
    }
    if (error != nullptr) {
        OnError(error);
        return;
    }
    connected_ = true;
    StartWorker([this] { HandleConnect(); });
}

void OrvaneController::HandleConnect()
{
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (state_ != Starting) {
            return;
        }
        state_ = Connected;
    }
    OrvaneListener* const listener = listener_;
    if (listener != nullptr) {
        listener->Connected();
    }
    const boost::shared_ptr<RecognizerHelper> recognizer = GetRecognizerHelper();
    if (recognizer) {
        recognizer->Start(GetVoiceBuffer());
    }
}

bool OrvaneController::RequestStop(StopCause cause)
{
    bool stop = false;
    bool abort = false;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if ((state_ & (Starting | Connected)) == 0) {
            return false;
        }
        const bool application = cause != RecordingEnded;
        if (stopState_ == NoStop) {
            cancel_ = cause == ApplicationCancel;
            applicationStop_ = application;
            stopState_ = StopRequested;
            stop = true;
        } else if (application && !applicationStop_) {
            // The recording ended by itself first. Once everything is sent, the end
            // of sending has left the completion to the server: the recognition is aborted
            // now. Before that, the end of sending reads the flag itself.
            applicationStop_ = true;
            abort = pushFinished_ && WaitsForServer();
        }
    }
    if (stop) {
        StartWorker([this] { HandleStopRequest(); });
    } else if (abort) {
        StartWorker([this] { HandleFinishPushSpeech(); });
    }
    return stop;
}

bool OrvaneController::WaitsForServer() const { return serverVad_ && !recognitionTarget_.empty() && !continuous_; }

void OrvaneController::HandleStopRequest()
{
    if (!CheckErrorAndState(Starting | Connected)) {
        return;
    }
    const boost::shared_ptr<RecorderThread> recording = GetRecorderThread();
    if (recording) {
        recording->Stop();
    }
    StopVoiceBuffer(false);
    if (connected_) {
        OrvaneListener* const listener = listener_;
        if (listener != nullptr) {
            listener->StopRecording();
        }
    } else if (cancel_) {
        // Nothing reached the server yet: a cancel ends the recognition without an error.
        FinishCancelled();
    } else {
        OnError(Error::CannotConnect(encoding_, "終端検出までに接続が確立出来ませんでした。"));
    }
}

void OrvaneController::FinishPushSpeech()
{
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        pushFinished_ = true;
        if (serverVad_) {
            // A file read once to its end leaves the completion to the server; every other
            // end of sending aborts.
            if (WaitsForServer() && !applicationStop_) {
                return;
            }
        } else {
            if (state_ != Connected) {
                return;
            }
            state_ = Finishing;
        }
    }
    StartWorker([this] { HandleFinishPushSpeech(); });
}

void OrvaneController::HandleFinishPushSpeech()
{
    if (serverVad_) {
        if (!CheckErrorAndState(Starting | Connected)) {
            return;
        }
        // The server detects the sentences and has sent their results: nothing is left to
        // ask for.
        EndInput(true);
        return;
    }
    if (!CheckErrorAndState(Finishing)) {
        return;
    }
    EndInput(cancel_);
}

void OrvaneController::EndInput(bool abort)
{
    const boost::shared_ptr<RecognizerHelper> recognizer = GetRecognizerHelper();
    try {
        if (!recognizer || !recognizer->EndInput(abort)) {
            return;
        }
    } catch (...) {
        OnError(CaughtError(encoding_));
        return;
    }
    if (abort) {
        // Results read before the Abort's answer still wait for the notification thread:
        // the completion comes behind them.
        const boost::weak_ptr<OrvaneController> self = shared_from_this();
        recognizer->AfterReceived([self] {
            const boost::shared_ptr<OrvaneController> controller = self.lock();
            if (controller) {
                controller->FinishRecognition();
            }
        });
    }
}

void OrvaneController::RecognitionResult(Orvane::Result::Nbest* result)
{
    if (!serverVad_ && !CheckErrorAndState(Connected | Finishing)) {
        return;
    }
    OrvaneListener* const listener = listener_;
    if (listener != nullptr) {
        listener->Recognize(result);
    }
}

void OrvaneController::TempPoint(double time, Orvane::Result::Nbest* result)
{
    OrvaneListener* const listener = listener_;
    if (listener != nullptr) {
        listener->TempResult(time, result);
    }
}

void OrvaneController::SentenceEnd()
{
    OrvaneListener* const listener = listener_;
    if (listener != nullptr) {
        listener->SentenceEnd();
    }
}

void OrvaneController::FinishRecognition()
{
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        // A server's completion while the client still streams ends the recognition too.
        const int accepted = serverVad_ ? Connected : (Connected | Finishing);
        if ((state_ & accepted) == 0) {
            return;
        }
        state_ = Completing;
        finished_ = true;
    }
    StartWorker([this] { HandleCompleted(); });
}

void OrvaneController::FinishCancelled()
{
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if ((state_ & (Starting | Connected)) == 0) {
            return;
        }
        state_ = Completing;
        finished_ = true;
    }
    HandleCompleted();
}

void OrvaneController::HandleCompleted()
{
    cancel_ = false;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (state_ != Completing) {
            return;
        }
        state_ = Idle;
    }
    // The helper's teardown stops the recorder and the voice buffer (discarding) and
    // destroys the recognizer helper.
    ReportCompleted(nullptr);
}

void OrvaneController::OnError(Orvane::Exception* error)
{
    if (error == nullptr) {
        return;
    }
    // Errors made for UTF-8 (filters, recording thread) reach a Shift_JIS helper converted.
    error = Error::Adopt(encoding_, error);
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (finished_) {
            error->Release();
            return;
        }
        // Finished with the state change: later errors and recorded blocks are dropped.
        state_ = Failed;
        finished_ = true;
    }
    StartWorker([this, error] { HandleError(error); });
}

void OrvaneController::HandleError(Orvane::Exception* error)
{
    cancel_ = false;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        state_ = Idle;
    }
    ReportCompleted(error);
}

void OrvaneController::ReportCompleted(Orvane::Exception* error)
{
    OrvaneListener* const listener = listener_;
    if (completionReported_.exchange(true) || listener == nullptr) {
        if (error != nullptr) {
            error->Release();
        }
        return;
    }
    // The listener reads the error during the call; it is released here afterwards.
    try {
        listener->Completed(error);
    } catch (...) {
    }
    if (error != nullptr) {
        error->Release();
    }
}

void OrvaneController::StopVoiceBuffer(bool discard)
{
    const boost::shared_ptr<VoiceBuffer> buffer = GetVoiceBuffer();
    if (buffer) {
        buffer->Stop(discard);
    }
}

void OrvaneController::Teardown()
{
    listener_ = nullptr;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        finished_ = true;
        state_ = Failed;
    }
    // Each step runs even when an earlier one fails: the recognizer helper is always
    // destroyed, so no thread or connection outlives the recognition.
    try {
        const boost::shared_ptr<RecorderThread> recording = GetRecorderThread();
        if (recording) {
            recording->Stop();
        }
    } catch (Orvane::Exception* error) {
        error->Release();
    } catch (...) {
    }
    try {
        StopVoiceBuffer(true);
    } catch (Orvane::Exception* error) {
        error->Release();
    } catch (...) {
    }
    try {
        const boost::shared_ptr<RecognizerHelper> recognizer = GetRecognizerHelper();
        if (recognizer) {
            recognizer->Destroy();
        }
    } catch (Orvane::Exception* error) {
        error->Release();
    } catch (...) {
    }
}

void OrvaneController::StartWorker(const boost::function<void()>& body)
{
    const boost::shared_ptr<OrvaneController> self = shared_from_this();
    try {
        // std::thread hands its record to the new thread, which runs the body and frees it:
        // the body is destroyed where it ran, not by whichever side lets go last.
        std::thread worker([self, body] { self->RunWorker(body); });
        worker.detach();
    } catch (const std::exception&) {
        // No thread to be had: the work runs here rather than never.
        RunWorker(body);
    }
}

void OrvaneController::RunWorker(const boost::function<void()>& body)
{
    try {
        body();
    } catch (const boost::thread_interrupted&) {
    } catch (...) {
        try {
            OnError(CaughtError(encoding_));
        } catch (...) {
        }
    }
}

} // namespace Helper
} // namespace Orvane
