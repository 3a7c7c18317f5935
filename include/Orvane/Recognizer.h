#pragma once

#include "Orvane/AcousticModel.h"
#include "Orvane/Framework.h"
#include "Orvane/Grammar.h"
#include "Orvane/LanguageModel.h"
#include "Orvane/RecognizerListener.h"

namespace Orvane {

// A recognizer, obtained from Session::Connect. Operations that the client does not
// support throw error 7001 at once and change nothing. Every other operation except
// SetListener is a remote call: it blocks until the server's reply (see Framework for the
// errors). A recognition goes idle -> Recognize -> AsyncComplete/Complete -> idle, or is
// ended by Abort; a call in the wrong state throws 2000.
class ORVANE_EXPORT Recognizer : public Framework {
public:
    // Releases the server's recognizer (a failure is only logged), stops the connection and
    // its threads, and frees the object. Resources it returned stay the caller's to
    // release; their remote calls fail from then on.
    void Release() override = 0;
    // Borrowed until replaced or the recognizer is released; null removes it. Once this has
    // returned the old listener is not running and is not called again.
    virtual void SetListener(RecognizerListener* listener) = 0;
    // The Load and Attach forms return a new object that the caller releases. A file is read
    // whole first (7000 when it cannot be read, is empty or is 4 GiB or more); a null or
    // empty argument is 7000.
    virtual AcousticModel* LoadAcousticModel(const char* file) = 0;
    virtual AcousticModel* LoadAcousticModel(const char* image, unsigned int size) = 0;
    virtual LanguageModel* LoadLanguageModel(const char* file) = 0;
    virtual LanguageModel* LoadLanguageModel(const char* image, unsigned int size) = 0;
    virtual Grammar* LoadGrammar(const char* file) = 0;
    virtual Grammar* LoadGrammar(const char* image, unsigned int size) = 0;
    virtual AcousticModel* AttachAcousticModel(const char* name) = 0;
    virtual LanguageModel* AttachLanguageModel(const char* name) = 0;
    // The empty name makes a local grammar without a remote call.
    virtual Grammar* AttachGrammar(const char* name) = 0;
    // 7000 for a missing name or value, or a "QUOR:" name (those are the session's).
    virtual void SetParameter(const char* name, const char* value) = 0;
    // The text stays valid until the next GetParameter or Release.
    virtual const char* GetParameter(const char* name) = 0;
    virtual void SetParameterFile(const char* file) = 0;  // not supported
    // From idle only; the recognition has begun once the server has replied.
    virtual void Recognize() = 0;
    // Hands `size` bytes (copied before it returns) to the connection without waiting for
    // the server. 7000 for no data, 5002 when it cannot be sent.
    virtual void PushSpeech(const char* data, unsigned int size) = 0;
    virtual void PushFeatureParameter(unsigned int, int, const float*, bool) = 0;  // not supported
    // Ends the recognition (if AsyncComplete has not) and waits for its end: `seconds` 0
    // waits without limit, otherwise 3002 when the time passes first. 7000 when the end came
    // with an error or by Abort. Several threads may wait at once.
    virtual void Complete(double seconds) = 0;
    virtual void Complete() = 0;
    // Ends the recognition once the server has replied; a waiting Complete throws 7000.
    virtual void Abort() = 0;
    virtual void Resume() = 0;
    // Asks the server to end the recognition and returns once it has replied; the end comes
    // later through RecognizerListener::Completed. Again while completing does nothing.
    virtual void AsyncComplete() = 0;
    virtual void SetPatternMatchModel(AcousticModel* model) = 0;  // not supported
    // `method` is required; the file is read whole (7000 when it cannot be).
    virtual void Prepare(const char* method, const char* file) = 0;
    virtual void Prepare(const char* method, const char* data, unsigned int size) = 0;
    // From idle only, like Recognize; the result comes through RecognizerListener::Match.
    virtual void PatternMatch() = 0;
    virtual void Record() = 0;                            // not supported
    virtual void GetWaveform() = 0;                       // not supported
    virtual void GetAnalyzeParameter(const char*) = 0;    // not supported
    virtual void SetPortNo(unsigned short) = 0;           // not supported
    virtual void NotifyStartable() = 0;                   // not supported
    // A new local grammar that the caller releases; nothing is sent and `grammar` is unused.
    virtual Grammar* ShareGrammar(Grammar* grammar) = 0;
};

} // namespace Orvane
