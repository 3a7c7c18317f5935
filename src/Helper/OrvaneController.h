#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <boost/enable_shared_from_this.hpp>
#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "Helper/OrvaneListener.h"
#include "Helper/RecognizerHelperListener.h"
#include "Helper/VadDetectListener.h"
#include "Helper/VoiceBufferErrorListener.h"
#include "Helper/VoiceRecorderListener.h"

namespace Orvane {
namespace Helper {

class Parameters;
class RecognizerHelper;
class RecorderThread;
class VoiceBuffer;

// Runs one recognition: builds the voice buffer with its filters, the recorder with its
// thread and the recognizer helper, then turns their events into the listener's (the
// helper object's), counting the time-outs in samples. Work that may block runs on
// short-lived detached workers, each holding the controller by shared ownership.
//
// Locking: `mutex_` guards the state, the stop state, the end of sending and the four
// pipeline pointers. It
// is a leaf: held only to test and set them and to start a worker, never across a join,
// a listener call, a recognizer-helper call or a remote call.
class OrvaneController : public VoiceRecorderListener,
                         public VoiceBufferErrorListener,
                         public RecognizerHelperListener,
                         public VadDetectListener,
                         public boost::enable_shared_from_this<OrvaneController> {
public:
    enum State { Failed = 0, Idle = 1, Starting = 2, Connected = 4, Finishing = 8, Completing = 16 };
    enum StopState { NoStop = 1, StopRequested = 2 };
    // Who asks for a stop: the recording itself (end of file or of speech, a time-out), the
    // application's stop, or its cancel.
    enum StopCause { RecordingEnded, ApplicationStop, ApplicationCancel };

    explicit OrvaneController(int encoding);
    OrvaneController(const OrvaneController&) = delete;
    OrvaneController& operator=(const OrvaneController&) = delete;
    // Ends a recognizer helper that the owner did not tear down.
    virtual ~OrvaneController();

    // Builds and starts the pipeline. Every failure reaches the listener's Completed from
    // a worker; nothing is thrown. Call once, on a controller held by a shared pointer.
    void Start(boost::shared_ptr<Parameters> parameters);
    // A stop (or, for a cancel, an abort) once per recognition, while starting or
    // connected; otherwise nothing. With server-side detection every stop and cancel ends
    // in an abort once what was recorded is sent; an application's stop or cancel that
    // comes after a file's end still aborts.
    // True when this call started the stop.
    bool RequestStop(StopCause cause = RecordingEnded);

    // The helper's end of the recognition: unlinks the listener, refuses further audio and
    // errors, and tears the pipeline down (recorder joined, voice buffer stopped
    // discarding, recognizer helper destroyed). Every step runs even when one fails.
    void Teardown();

    void SetListener(OrvaneListener* listener) { listener_ = listener; }
    int GetState() const;
    bool IsFinished() const { return finished_; }

    // Recording thread.
    bool OnRecordVoice(boost::shared_ptr<DataBuffer> block) override;
    void OnFinishRecording(Orvane::Exception* error) override;
    // Voice buffer.
    void OnVoiceBufferError(Orvane::Exception* error) override;
    // Detection filter.
    void OnDetectVoiceStart() override;
    void OnDetectVoiceEnd() override;
    void OnNoiseReductionData(boost::shared_ptr<DataBuffer> block) override;
    // Recognizer helper.
    void Prepared(Orvane::Exception* error) override;
    void FinishPushSpeech() override;
    void FinishRecognition() override;
    void RecognitionResult(Orvane::Result::Nbest* result) override;
    void RecognitionError(Orvane::Exception* error) override;
    void TempPoint(double time, Orvane::Result::Nbest* result) override;
    void SentenceEnd() override;

protected:
    // Starts the recording thread during the start-up; virtual so that a test can hold the
    // start-up right after it.
    virtual void StartRecording(RecorderThread& recording);

private:
    void Build(const Parameters& parameters);
    void OnError(Orvane::Exception* error);
    bool CheckErrorAndState(int mask) const;
    void StopVoiceBuffer(bool discard);
    bool CountTimeouts(uint64_t samples);
    // Server-side detection reading a file once: the end of sending waits for the server's
    // own completion unless the application stopped or cancelled.
    bool WaitsForServer() const;
    // Runs `body` on a new detached thread that owns, and frees, everything the body holds;
    // on this thread when none can be made.
    void StartWorker(const boost::function<void()>& body);
    void RunWorker(const boost::function<void()>& body);

    void HandleConnect();
    void HandleStopRequest();
    void HandleFinishPushSpeech();
    void HandleCompleted();
    // A cancel before the connection: completion without an error.
    void FinishCancelled();
    void HandleError(Orvane::Exception* error);
    void ReportCompleted(Orvane::Exception* error);
    // The recognizer helper's end of input; an error goes to OnError.
    void EndInput(bool abort);

    boost::shared_ptr<RecognizerHelper> GetRecognizerHelper() const;
    boost::shared_ptr<RecorderThread> GetRecorderThread() const;
    boost::shared_ptr<VoiceBuffer> GetVoiceBuffer() const;

    std::atomic<OrvaneListener*> listener_;
    boost::shared_ptr<RecognizerHelper> recognizerHelper_;
    boost::shared_ptr<RecorderThread> recorderThread_;
    boost::shared_ptr<VoiceBuffer> voiceBuffer_;
    boost::shared_ptr<Parameters> parameters_;
    std::atomic<bool> connected_;
    std::atomic<bool> finished_;
    bool detection_;
    bool serverVad_;
    bool continuous_;
    bool notifyRecord_;
    std::string recognitionTarget_;
    int state_;
    int stopState_;
    std::atomic<bool> speechStartSeen_;
    std::atomic<bool> speechEndSeen_;
    uint64_t recognitionTimeout_;
    std::atomic<uint64_t> samplesBeforeSpeech_;
    uint64_t sentenceTimeout_;
    std::atomic<uint64_t> samplesInSpeech_;
    int encoding_;
    std::string characterSet_;
    mutable boost::mutex mutex_;
    std::atomic<bool> cancel_;
    // The application stopped or cancelled: with server-side detection and a file, the end
    // of sending then aborts instead of leaving the completion to the server. Set under the
    // lock.
    std::atomic<bool> applicationStop_;
    // The sender has sent everything.
    bool pushFinished_;
    // One Completed per recognition, whichever worker gets there first.
    std::atomic<bool> completionReported_;
};

} // namespace Helper
} // namespace Orvane
