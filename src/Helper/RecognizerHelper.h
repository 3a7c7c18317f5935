#pragma once

#include <atomic>
#include <map>
#include <string>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include "Helper/RecognizerHelperListener.h"
#include "Helper/SessionErrorAdapter.h"
#include "Orvane/Grammar.h"
#include "Orvane/GrammarListener.h"
#include "Orvane/Recognizer.h"
#include "Orvane/RecognizerListener.h"
#include "Orvane/Session.h"
#include "Utility/OwnedThread.h"

namespace Orvane {
namespace Helper {

class Parameters;
class VoiceBuffer;

// One recognition on the server's side. A preparing thread opens the session, connects,
// attaches the unnamed local grammar, sends the "RODI:" options and starts the
// recognition; a sender thread then pushes every queued block. The client's events become
// the listener's (the controller's).
//
// Locking: `mutex_` guards the state changes, the three client pointers, the thread
// handles and the count of remote calls in progress; it is a leaf, never held across a
// remote call, a join or a listener call. The client's callbacks (Error, SentenceEnd, the
// grammar's events) take it at most for a test-and-set.
class RecognizerHelper : public Orvane::RecognizerListener, public Orvane::GrammarListener {
public:
    enum State { Idle = 1, Preparing = 2, Streaming = 4, Completing = 8, Destroyed = 0x100 };

    explicit RecognizerHelper(boost::shared_ptr<Parameters> parameters);
    RecognizerHelper(const RecognizerHelper&) = delete;
    RecognizerHelper& operator=(const RecognizerHelper&) = delete;
    // Releases the members only; the owner calls Destroy first.
    virtual ~RecognizerHelper();

    // Set before Prepare; stays set.
    void SetListener(RecognizerHelperListener* listener) { listener_ = listener; }
    // Idle to preparing; starts the preparing thread, which ends with Prepared. Wrong
    // state: 2000; no thread: 7000 (the state stays preparing).
    void Prepare();
    // Preparing to streaming; starts the sender over the buffer's queue. Wrong state:
    // 2000; no thread: 7000.
    void Start(boost::shared_ptr<VoiceBuffer> buffer);
    // Streaming to completing and the recognizer's AsyncComplete, or, with `abort`,
    // streaming to idle and its Abort. False (and nothing sent) in any other state. The
    // client's errors are thrown on.
    bool EndInput(bool abort);
    // Runs `task` once the client's events received so far are delivered: on the
    // notification thread behind them, or at once without a recognizer.
    void AfterReceived(const boost::function<void()>& task);
    // Ends both threads and releases grammar, recognizer and session. Never joins the
    // calling thread; waits for remote calls made through EndInput to return.
    void Destroy();

    int GetState() const { return state_; }
    bool IsPrepared() const { return prepared_; }

    // Recognizer events (the error is handed over).
    void Error(Orvane::Exception* error) override;
    void SentenceEnd() override;
    void Completed() override;
    // Grammar events.
    void StartPoint(double time) override;
    void EndPoint(double time, const char* id, Orvane::Result::Nbest* result) override;
    void TempPoint(double time, const char* id, Orvane::Result::Nbest* result) override;

private:
    void PrepareThread();
    void Connect();
    void Recognize(Orvane::Recognizer& recognizer);
    void SenderThread();
    void Send(boost::shared_ptr<VoiceBuffer> buffer);
    Orvane::Recognizer* EnterCall();
    void LeaveCall();
    void ReportPrepared(Orvane::Exception* error);

    Orvane::Session* session_;
    Orvane::Recognizer* recognizer_;
    Orvane::Grammar* grammar_;
    std::atomic<RecognizerHelperListener*> listener_;
    boost::shared_ptr<Parameters> parameters_;
    boost::shared_ptr<VoiceBuffer> voiceBuffer_;
    SessionErrorAdapter sessionErrors_;
    mutable boost::mutex mutex_;
    boost::condition_variable callsDone_;
    int callsInProgress_;
    std::map<std::string, std::string> sessionTimers_;
    Utility::OwnedThread preparingThread_;
    Utility::OwnedThread senderThread_;
    std::atomic<int> state_;
    int encoding_;
    std::string characterSet_;
    std::atomic<bool> senderStop_;
    std::atomic<bool> prepared_;
};

} // namespace Helper
} // namespace Orvane
