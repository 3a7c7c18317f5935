#include "Helper/SessionErrorAdapter.h"

#include "Client/Exception.h"
#include "Helper/RecognizerHelper.h"

namespace Orvane {
namespace Helper {

SessionErrorAdapter::SessionErrorAdapter(RecognizerHelper& target) : target_(target) {}

void SessionErrorAdapter::Error(Orvane::Exception* error)
{
    if (error != nullptr && target_.IsPrepared()) {
        target_.Error(Client::Exception::CopyOf(*error));
    }
}

} // namespace Helper
} // namespace Orvane
