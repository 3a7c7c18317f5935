#pragma once

#include <boost/shared_ptr.hpp>

#include "Client/Exception.h"
#include "Orvane/Exception.h"

namespace Orvane {
namespace Helper {

// The helper's error as the application receives it: a client error, held by shared
// ownership, whose message is in the text encoding the helper was created for. Thrown
// and passed by pointer; the receiver frees it with Release.
class Exception : public Orvane::Exception {
public:
    // Encoding 1 (Shift_JIS) converts the message of an error that the library wrote
    // (UTF-8) to Shift_JIS; a text the server sent is already in the session's encoding
    // and is copied as it is. Encoding 2 copies the error; any other code holds `error`.
    Exception(int encoding, boost::shared_ptr<Client::Exception> error);

    // A shared pointer that frees the client error with its Release.
    static boost::shared_ptr<Client::Exception> Hold(Client::Exception* error);

    Exception(const Exception&) = delete;
    Exception& operator=(const Exception&) = delete;

    void Release() override;
    const char* GetType() override;
    int GetErrorNo() override;
    const char* GetErrorMessage() override;

    // The code this error was made for (1 Shift_JIS, 2 UTF-8, other: as held).
    int GetEncoding() const { return encoding_; }
    // `error` for a helper of `encoding`: the same object when it was made for that code,
    // otherwise a new helper error over a copy (the library's own texts converted) and
    // `error` released. Takes over `error`; null stays null.
    static Orvane::Exception* ForEncoding(int encoding, Orvane::Exception* error);

protected:
    virtual ~Exception();

private:
    boost::shared_ptr<Client::Exception> error_;
    int encoding_;
};

} // namespace Helper
} // namespace Orvane
