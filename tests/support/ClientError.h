#pragma once

#include <ostream>
#include <string>

#include "Orvane/Exception.h"
#include "support/CaughtError.h"

namespace Orvane {
namespace Test {

// The triple of a client error caught by pointer; `thrown` is false when nothing was.
struct ClientError {
    bool thrown = false;
    std::string type;
    int number = 0;
    std::string message;
};

inline std::ostream& operator<<(std::ostream& out, const ClientError& error)
{
    if (!error.thrown) {
        return out << "(nothing thrown)";
    }
    return out << error.type << " " << error.number << " " << error.message;
}

// Reads the triple of an error object and releases it.
inline ClientError TakeError(Orvane::Exception* error)
{
    ClientError caught;
    caught.thrown = true;
    caught.type = error->GetType();
    caught.number = error->GetErrorNo();
    caught.message = error->GetErrorMessage();
    error->Release();
    return caught;
}

// Runs `action` and returns what it threw as Orvane::Exception*; other exceptions pass.
template <typename Action>
ClientError CatchClientError(Action action)
{
    OwnedError error = CaughtError(action);
    return error ? TakeError(error.release()) : ClientError();
}

} // namespace Test
} // namespace Orvane
