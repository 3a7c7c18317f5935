#pragma once

#include "Orvane/Exception.h"

namespace Orvane {
namespace Helper {

// Receives the voice buffer's errors (queue full, a filter's error); takes over the
// error object.
class VoiceBufferErrorListener {
public:
    virtual void OnVoiceBufferError(Orvane::Exception* /*error*/) {}

protected:
    ~VoiceBufferErrorListener() = default;
};

} // namespace Helper
} // namespace Orvane
