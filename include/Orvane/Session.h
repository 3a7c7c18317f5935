#pragma once

#include "Orvane/Framework.h"
#include "Orvane/Recognizer.h"
#include "Orvane/SessionListener.h"

namespace Orvane {

// A connection to a recognition server, configured with its timers and server entries
// (or a WebSocket route) before Connect.
class ORVANE_EXPORT Session : public Framework {
public:
    void Release() override = 0;
    virtual Recognizer* Connect(const char* name) = 0;
    virtual void SetListener(SessionListener* listener) = 0;
    virtual void SetServerInformation(const char* ws_proxy_uri, const char* user_agent, const char* proxy_host,
                                      const char* proxy_port) = 0;
    virtual void InsertServerInformation(int index, const char* ip_address, const char* port,
                                         const char* user_agent, const char* proxy_host,
                                         const char* proxy_port) = 0;
    virtual void ClearServerInformation() = 0;
    virtual void InsertResourceInformation(const char* type, const char* name) = 0;
    virtual void ClearResourceInformation() = 0;
    virtual void SetParameter(const char* name, const char* value) = 0;
    virtual const char* GetParameter(const char* name) = 0;
};

} // namespace Orvane

extern "C" {
// A session whose texts are UTF-8; the same as CreateSession2("UTF-8").
ORVANE_EXPORT Orvane::Session* CreateSession();
// A session for the named text encoding: "Shift_JIS" (any letter case) converts the
// texts that the server sends to Shift_JIS.
ORVANE_EXPORT Orvane::Session* CreateSession2(const char* encoding);
// Recognizers come only from Session::Connect: both return null.
ORVANE_EXPORT Orvane::Recognizer* CreateRecognizer();
ORVANE_EXPORT Orvane::Recognizer* CreateRecognizer2();
}
