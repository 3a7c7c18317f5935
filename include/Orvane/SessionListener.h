#pragma once

#include "Orvane/Exception.h"
#include "Orvane/Framework.h"

namespace Orvane {

// Events of a session, called on the thread that detects a connection failure. The error
// stays the library's: read it during the call, do not release it.
class ORVANE_EXPORT SessionListener : public Framework {
public:
    void Release() override {}
    virtual void Error(Exception*) {}
};

} // namespace Orvane
