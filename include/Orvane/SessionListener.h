#pragma once

#include "Orvane/Exception.h"
#include "Orvane/Framework.h"

namespace Orvane {

// Events of a session. Once the session has a recognizer, a connection failure or close is
// told on the recognizer's notification thread, after every notification read before it and
// after a call waiting at that moment has been given it; before that, on the thread that
// found it (the connection's receiving thread, which also delivers every reply: keep the call
// short). The listener may call the session, the recognizer, its grammars and models, their
// Release included; a remote call made from it fails at once, the connection having ended.
// Session::SetListener, Session::Release and Recognizer::Release, called on another thread,
// wait while the listener runs. Exceptions thrown by the listener are ignored.
class ORVANE_EXPORT SessionListener : public Framework {
public:
    // Never called by the library.
    void Release() override {}
    // The error stays the library's: read it during the call, do not release it.
    virtual void Error(Exception*) {}
};

} // namespace Orvane
