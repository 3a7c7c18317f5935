#pragma once

// Messages that the controller tests exchange with their peers.

#include <string>
#include <vector>

#include "Utility/Http/BodyPartInformation.h"
#include "support/HttpWire.h"

namespace Orvane {
namespace Test {

const char* const kPeerBoundary = "---20141209171503123+1234567890";

// The server's reply to a remote call, carrying `data` in its "return" part.
inline std::string Reply(const std::string& data)
{
    return MultipartMessage("HTTP/1.0 200 OK", kPeerBoundary, {MakeWirePart("return", data)});
}

// A request of the server (a notification) carrying `data`.
inline std::string Notification(const std::string& data)
{
    return MultipartMessage("POST /notify HTTP/1.0", kPeerBoundary, {MakeWirePart("notification", data)});
}

// The bytes of one part that the client sends: its header lines, the empty line, `data`.
inline std::string ClientPart(const std::string& name, const std::string& data)
{
    const WirePart part = MakeWirePart(name, data);
    return part.headers + "\r\n" + part.data;
}

inline std::vector<Utility::Http::BodyPartInformation> Parts(const std::string& bytes)
{
    return {Utility::Http::BodyPartInformation(Bytes(bytes), static_cast<unsigned int>(bytes.size()))};
}

} // namespace Test
} // namespace Orvane
