#pragma once

#include <atomic>

#include "Orvane/SessionListener.h"

namespace Orvane {
namespace Helper {

class RecognizerHelper;

// The session's error events for a recognizer helper. The session lends its error for the
// call only, so a copy is handed on; the recognizer's own errors are handed over and
// reach the helper directly.
class SessionErrorAdapter : public Orvane::SessionListener {
public:
    explicit SessionErrorAdapter(RecognizerHelper& target);
    SessionErrorAdapter(const SessionErrorAdapter&) = delete;
    SessionErrorAdapter& operator=(const SessionErrorAdapter&) = delete;

    void Error(Orvane::Exception* error) override;

private:
    RecognizerHelper& target_;
};

} // namespace Helper
} // namespace Orvane
