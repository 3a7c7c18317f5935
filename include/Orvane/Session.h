#pragma once

#include "Orvane/Framework.h"
#include "Orvane/Recognizer.h"
#include "Orvane/SessionListener.h"

namespace Orvane {

// A connection to a recognition server, configured with its timers and server entries
// (or a WebSocket route) before Connect. Only Connect blocks.
class ORVANE_EXPORT Session : public Framework {
public:
    // Frees the session and stops calling its listener; the recognizers it made stay usable.
    void Release() override = 0;
    // Blocks while it connects (the server entries in order, or the WebSocket route) and
    // the server creates the recognizer, each step bounded by the session's timers.
    // Returns a new recognizer that the caller releases. Throws 5000 when no server can be
    // reached, the server's error, 1010 or 4000-4004 for a refused or malformed reply,
    // 5002/5006 when the connection fails, 7000 for an internal failure.
    virtual Recognizer* Connect(const char* name) = 0;
    // Borrowed until replaced or the session is released; it reaches the recognizers of
    // every Connect of this session. Null removes it. Called on the receiving thread.
    virtual void SetListener(SessionListener* listener) = 0;
    // The WebSocket route. Throws 5000 for a missing URI, user agent or proxy port, 7000
    // otherwise.
    virtual void SetServerInformation(const char* ws_proxy_uri, const char* user_agent, const char* proxy_host,
                                      const char* proxy_port) = 0;
    // A TCP server entry at `index`. Throws 5000 for a missing address, port or user agent
    // or a bad port, 7000 for a bad index.
    virtual void InsertServerInformation(int index, const char* ip_address, const char* port,
                                         const char* user_agent, const char* proxy_host,
                                         const char* proxy_port) = 0;
    virtual void ClearServerInformation() = 0;
    // Throws 7000 for a missing or unknown resource type or name.
    virtual void InsertResourceInformation(const char* type, const char* name) = 0;
    virtual void ClearResourceInformation() = 0;
    // Throws 7000 for a missing name or value, an unknown name or a bad timer value. A timer
    // changed after Connect reaches the running connection.
    virtual void SetParameter(const char* name, const char* value) = 0;
    // The text stays valid until the next GetParameter. Throws 7000 for an unknown name.
    virtual const char* GetParameter(const char* name) = 0;
};

} // namespace Orvane

extern "C" {
// A new session that the caller releases; texts are UTF-8. The same as CreateSession2("UTF-8").
ORVANE_EXPORT Orvane::Session* CreateSession();
// A session for the named text encoding: "Shift_JIS" (any letter case) converts the
// texts that the server sends to Shift_JIS.
ORVANE_EXPORT Orvane::Session* CreateSession2(const char* encoding);
// Recognizers come only from Session::Connect: both return null.
ORVANE_EXPORT Orvane::Recognizer* CreateRecognizer();
ORVANE_EXPORT Orvane::Recognizer* CreateRecognizer2();
}
