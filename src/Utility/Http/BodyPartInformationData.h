#pragma once

#include <map>
#include <string>

namespace Orvane {
namespace Utility {
namespace Http {

// The shared data of a body part. The bytes belong to whoever made the part: a part to
// send points at the caller's bytes, a received part into the connection's receive
// buffer (valid only during the listener call that delivers its message).
class BodyPartInformationData {
public:
    BodyPartInformationData(const unsigned char* bytes, unsigned int length);
    virtual ~BodyPartInformationData();

    // The whole part: for a multipart part its header lines, the empty line and its data;
    // for a single body the body.
    const unsigned char* partBytes;
    unsigned int partLength;
    // Received multipart parts only: the data after the part's empty line, its length
    // (the part's Content-Length) and its header lines (names lower-cased).
    const unsigned char* data;
    unsigned int dataLength;
    std::map<std::string, std::string> partHeaders;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
