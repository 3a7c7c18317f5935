#pragma once

#include <atomic>
#include <string>

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "Helper/OrvaneListener.h"
#include "Orvane/Tessival.h"
#include "quor_helper.h"

// The callback block whose address is the flat handle: one {function, data} pair per
// callback kind 1..6.
struct _quor_helper {
    quor_helper_callback functions[6];
    void* data[6];
};

namespace Orvane {
namespace Helper {

class OrvaneController;
class Parameters;

// The object behind every helper handle: the application's listener and callbacks, the
// configuration read from the parameter file, and the controller of the current
// recognition. States: 0 created, 1 initialised, 2 running, 3 stopping, 4 completed.
//
// Locking: `stateMutex_` guards the state, the controller and the parameters;
// `callbackMutex_` guards the callback table. Both are leaves: a callback or listener
// call is made with neither held, from a copy taken under the lock.
class Tessival : public Orvane::Tessival, public OrvaneListener, public _quor_helper {
public:
    enum State { Created = 0, Initialised = 1, Running = 2, Stopping = 3, Finished = 4 };

    explicit Tessival(int encoding);
    Tessival(const Tessival&) = delete;
    Tessival& operator=(const Tessival&) = delete;

    static Tessival* FromHandle(_quor_helper* handle) { return static_cast<Tessival*>(handle); }
    _quor_helper* Handle() { return this; }
    // 1 for "Shift_JIS" in any letter case, else 2. A null name throws std::invalid_argument.
    static int EncodingOf(const char* name);

    void Release() override;
    void SetListener(TessivalListener* listener) override;
    void InitWithDevice(const char* path) override;
    void SetOption(const char* key, const char* value) override;
    void Start() override;
    void Stop() override;
    void Cancel() override;

    static bool IsCallbackKind(int kind);
    // Replaces the pair of kind 1..6; the flat layer checks the arguments first.
    void RegisterCallback(int kind, quor_helper_callback function, void* data);
    int GetEncoding() const { return encoding_; }
    int GetState() const;

    // The controller's events.
    void Connected() override;
    void Record(short* samples, unsigned int count) override;
    void SentenceEnd() override;
    void TempResult(double time, Orvane::Result::Nbest* result) override;
    void Recognize(Orvane::Result::Nbest* result) override;
    // Ends the recognition once: the pipeline is torn down, then the listener's Completed
    // and callback kind 6 run. `error` stays the caller's.
    void Completed(Orvane::Exception* error) override;

    // Writes `error` into `record` within its fixed size, texts cut at a character
    // boundary of `encoding`.
    static void Fill(quor_helper_error& record, Orvane::Exception& error, int encoding);

protected:
    ~Tessival() override;

private:
    enum Kind { KindConnected = 1, KindRecord, KindSentenceEnd, KindTempResult, KindRecognize, KindCompleted };
    struct Callback {
        quor_helper_callback function;
        void* data;
    };

    Callback GetCallback(int kind) const;
    void Call(int kind);
    void CallResult(int kind, double time, Orvane::Result::Nbest* result);
    // A stop or cancel of the running recognition; `cancel` aborts it.
    void EndRunning(bool cancel);
    // The completion of a start, stop or cancel that failed on the caller's thread.
    void Fail(Orvane::Exception* error);

    boost::shared_ptr<OrvaneController> controller_;
    std::atomic<TessivalListener*> listener_;
    boost::shared_ptr<Parameters> parameters_;
    int encoding_;
    int state_;
    bool completing_;
    mutable boost::mutex stateMutex_;
    mutable boost::mutex callbackMutex_;
};

} // namespace Helper
} // namespace Orvane
