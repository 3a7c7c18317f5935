#include "Helper/Exception.h"

#include <exception>
#include <string>

#include "Utility/Kcode.h"

namespace Orvane {
namespace Helper {
namespace {
void ReleaseClientError(Client::Exception* error)
{
    if (error) {
        error->Release();
    }
}

// The library's own messages may carry texts from outside, such as a file name that is
// not UTF-8: what cannot be converted is replaced visibly and its neighbours stay.
std::string ToShiftJis(const char* text)
{
    std::string converted;
    Utility::Kcode::Instance().Utf8ToSjisReplacing(text, converted);
    return converted;
}

std::string ToValidUtf8(const char* text)
{
    std::string repaired;
    Utility::Kcode::Instance().RepairUtf8(text, repaired);
    return repaired;
}
} // namespace

boost::shared_ptr<Client::Exception> Exception::Hold(Client::Exception* error)
{
    return boost::shared_ptr<Client::Exception>(error, &ReleaseClientError);
}

Exception::Exception(int encoding, boost::shared_ptr<Client::Exception> error) : error_(error), encoding_(encoding)
{
    if (!error_ || (encoding != 1 && encoding != 2)) {
        return;
    }
    // A server's text is already in the session's encoding; only the library's own
    // UTF-8 messages are converted.
    if (error_->IsFromServer()) {
        error_ = Hold(error_->Copy());
        return;
    }
    const char* const text = error_->GetErrorMessage();
    const std::string message = encoding == 1 ? ToShiftJis(text) : ToValidUtf8(text);
    error_ = Hold(new Client::Exception(error_->GetType(), error_->GetErrorNo(), message.c_str()));
}

Orvane::Exception* Exception::ForEncoding(int encoding, Orvane::Exception* error)
{
    if (error == nullptr) {
        return nullptr;
    }
    const Exception* own = dynamic_cast<const Exception*>(error);
    if (own != nullptr && own->encoding_ == encoding) {
        return error;
    }
    // Released whatever the copy does: the caller handed it over.
    boost::shared_ptr<Orvane::Exception> handed(error, [](Orvane::Exception* e) { e->Release(); });
    const boost::shared_ptr<Client::Exception> source =
        own != nullptr ? own->error_ : Hold(Client::Exception::CopyOf(*error));
    return new Exception(encoding, source);
}

Exception::~Exception() = default;

void Exception::Release() { delete this; }

const char* Exception::GetType() { return error_ ? error_->GetType() : ""; }

int Exception::GetErrorNo() { return error_ ? error_->GetErrorNo() : 0; }

const char* Exception::GetErrorMessage() { return error_ ? error_->GetErrorMessage() : ""; }

} // namespace Helper
} // namespace Orvane
