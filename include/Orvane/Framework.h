#pragma once

#include "Orvane/Export.h"

namespace Orvane {

// Root of every public interface. Objects of the library are never deleted through an
// interface pointer: they end with Release, except the helper (Tessival), which lives as
// long as the process and whose Release only drops its configuration.
//
// Conventions of every interface below, unless a method says otherwise:
// - Errors are thrown as Orvane::Exception*, which the catcher releases. The client's own
//   have type "Orvane::Client": 1010 user agent refused, 2000 wrong state, 3002 time-out,
//   4000-4004 malformed reply or failing server, 5000-5006 connection, 7000 bad argument or
//   internal failure, 7001 not supported. An error the server returns for a call keeps the
//   server's type and number.
// - A remote call blocks until the server replies or a timer of the session ends.
// - A returned object is new and the caller's, freed with its Release; a returned text is
//   the object's and stays valid until the next call of the same method or its Release.
// - Texts and objects passed in are only borrowed for the call; listeners are borrowed until
//   they are replaced (see each SetListener).
// - A session or a result is used by one thread at a time. A recognizer and its grammars
//   may be called from several threads, the listeners' thread included; their remote calls
//   take turns.
class ORVANE_EXPORT Framework {
public:
    // Frees a library object; the pointer is invalid afterwards. Two kinds of object differ:
    // the helper (Tessival::Release keeps it usable) and the application's own listeners,
    // whose Release the library never calls.
    virtual void Release() = 0;
};

} // namespace Orvane
