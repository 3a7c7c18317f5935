#include "Client/CompletionLink.h"

#include "Client/Recognizer.h"

namespace Orvane {
namespace Client {

CompletionLink::CompletionLink(Recognizer* recognizer) : recognizer_(recognizer) {}

void CompletionLink::Call(Exception* error)
{
    boost::recursive_mutex::scoped_lock lock(lock_);
    if (recognizer_ != nullptr) {
        recognizer_->ExecuteCompletedEvent(error);
    }
}

void CompletionLink::Cut()
{
    boost::recursive_mutex::scoped_lock lock(lock_);
    recognizer_ = nullptr;
}

} // namespace Client
} // namespace Orvane
