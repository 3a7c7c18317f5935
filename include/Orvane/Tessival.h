#pragma once

#include "Orvane/Exception.h"
#include "Orvane/Framework.h"
#include "Orvane/Result/Nbest.h"

namespace Orvane {

// The application's listener of a helper. Called on library threads: Connected and
// Completed on short-lived worker threads, Record on the recording thread, SentenceEnd,
// TempResult and Recognize on the recognizer's notification thread. Results and the
// error are lent for the call: take a duplicate of a result to keep it; the error is
// released by the helper when Completed returns. Release is never called.
class ORVANE_EXPORT TessivalListener : public Framework {
public:
    void Release() override {}
    virtual void Connected() {}
    // `count` 16-bit samples, only with the option "notify_record" on.
    virtual void Record(short* /*samples*/, unsigned int /*count*/) {}
    virtual void SentenceEnd() {}
    virtual void Recognize(Result::Nbest* /*result*/) {}
    // Once per recognition: null after a normal end or a cancel.
    virtual void Completed(Exception* /*error*/) {}
    virtual void TempResult(double /*time*/, Result::Nbest* /*result*/) {}
};

// The helper: a configuration and one recognition at a time. Operations throw
// Orvane::Exception* (release it) and never block for a recognition. A recognition's own
// failures are not thrown: they end it and reach the listener's Completed.
class ORVANE_EXPORT Tessival : public Framework {
public:
    // Unlike the Release of other library objects, frees nothing that the caller holds:
    // drops the configuration and the finished recognition, and the helper stays valid
    // and usable (InitWithDevice again). While running: 2000.
    void Release() override = 0;
    // Not owned; null clears. Set it before Start.
    virtual void SetListener(TessivalListener* listener) = 0;
    // Reads the section "Environment" of the INI file at `path` and validates it. A
    // missing file or null path: 7000; while running: 2000.
    virtual void InitWithDevice(const char* path) = 0;
    // One option, while ready or completed (otherwise 2000); a bad key or value: 1011,
    // and the configuration stays as it was.
    virtual void SetOption(const char* key, const char* value) = 0;
    // Starts a recognition and returns; before InitWithDevice or while running: 2000.
    virtual void Start() = 0;
    // Ends the recording and asks for the final result; unless running: 2000. With
    // server-side detection ("serverside_vad_mode") what was recorded is sent, then the
    // server is told to abort, on every target and also after a file's end: the results
    // it sent until then still reach Recognize, and Completed follows at once with null. A
    // continuous file's end has aborted already: a stop after it sends nothing.
    virtual void Stop() = 0;
    // Abandons the recognition (Completed with null); unless running: 2000. Once the end
    // of speech has been detected it changes nothing: the result still comes. With
    // server-side detection it does what Stop does.
    virtual void Cancel() = 0;

protected:
    virtual ~Tessival() {}
};

} // namespace Orvane

extern "C" {
// A helper for UTF-8 texts, the same as CreateHelper2("UTF-8"). Never freed.
ORVANE_EXPORT Orvane::Tessival* CreateHelper();
// A helper for the named text encoding: "Shift_JIS" in any letter case selects Shift_JIS.
// Throws Orvane::Exception* (7000) for a null name.
ORVANE_EXPORT Orvane::Tessival* CreateHelper2(const char* encoding);
}
