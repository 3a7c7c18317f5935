#pragma once

#include <string>

#include "Orvane/Session.h"
#include "support/Owned.h"
#include "support/loopback/LoopbackServer.h"

namespace Orvane {
namespace Test {

constexpr const char* kTestUserAgent = "TessivalTest/1.0";

// A session, through the public factory, whose one server entry is `server` over TCP; the
// response wait is long, so an idle connection stays up for as long as a test needs it.
inline Owned<Orvane::Session> LoopbackSession(const Loopback::LoopbackServer& server,
                                              const char* encoding = "UTF-8")
{
    Owned<Orvane::Session> session(CreateSession2(encoding));
    session->SetParameter("QUOR:ResponseTimer", "600000");
    session->InsertServerInformation(-1, server.Host().c_str(), std::to_string(server.Port()).c_str(), kTestUserAgent,
                                     "", "0");
    return session;
}

} // namespace Test
} // namespace Orvane
