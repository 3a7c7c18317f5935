#pragma once

#include <exception>
#include <string>

#include "Client/Error.h"
#include "Orvane/Exception.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {

// How an operation reports the failures of its guarded steps: a client error is logged with
// `clientLog` (type, number, message; none when null) and passes on unchanged; a standard
// exception is logged with `causeLog` (its description) and becomes error 7000 whose detail
// is `detail`, followed by the description when `appendCause` is set (with no `causeLog` it
// passes unchanged). Anything else passes.
struct FailureReport {
    int level;
    const char* clientLog;
    const char* causeLog;
    const char* detail;
    bool appendCause;

    template <typename Action>
    auto Guard(Action action) const -> decltype(action())
    {
        try {
            return action();
        } catch (Orvane::Exception* error) {
            if (clientLog != nullptr) {
                ORVANE_LOG(level, clientLog, error->GetType(), error->GetErrorNo(), error->GetErrorMessage());
            }
            throw;
        } catch (const std::exception& e) {
            if (causeLog == nullptr) {
                throw;
            }
            ORVANE_LOG(level, causeLog, e.what());
            throw Error::Internal(appendCause ? std::string(detail) + e.what() : std::string(detail));
        }
    }
};

// The three texts of a failure whose logs are the failure text followed by the usual fields.
#define ORVANE_CLIENT_FAILURE(level, text) \
    ::Orvane::Client::FailureReport { level, text "Type=%1%, Errno=%2%, Errmsg=%3%", text "原因=%1%", text, true }

} // namespace Client
} // namespace Orvane
