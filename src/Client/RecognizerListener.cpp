#include "Orvane/RecognizerListener.h"

#include "Client/UnhandledError.h"

namespace Orvane {

void RecognizerListener::Error(Exception* error)
{
    // Released by the library after the call, unless the caller's override releases it.
    Client::UnhandledError::Mark(error);
}

} // namespace Orvane
