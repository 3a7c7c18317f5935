#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

namespace Orvane {
namespace Test {

// 127.0.0.1:`port` (0: any free port when bound).
inline sockaddr_in LoopbackAddress(unsigned short port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace Test
} // namespace Orvane
