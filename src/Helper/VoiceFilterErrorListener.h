#pragma once

#include "Orvane/Exception.h"

namespace Orvane {
namespace Helper {

// Receives the errors a filter meets; takes over the error object.
class VoiceFilterErrorListener {
public:
    virtual void OnVoiceFilterError(Orvane::Exception* /*error*/) {}

protected:
    ~VoiceFilterErrorListener() = default;
};

} // namespace Helper
} // namespace Orvane
