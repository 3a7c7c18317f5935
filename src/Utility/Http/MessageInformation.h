#pragma once

#include <map>
#include <string>
#include <vector>

#include <boost/noncopyable.hpp>

#include "Utility/Http/BodyPartInformation.h"

namespace Orvane {
namespace Utility {
namespace Http {

// What a request and a reply have alike: version, headers and body parts. Filled by the
// parser, read by the listeners; its fields are open. Header names are stored in lower case.
class MessageInformation : private boost::noncopyable {
public:
    virtual ~MessageInformation();

    // Stores a header line: the value trimmed of spaces (byte 32 only), the name
    // lower-cased. A repeated name keeps its first value and is only logged (the parser
    // refuses a repeated Content-Length that differs).
    void AddHeader(const unsigned char* name, unsigned int nameLength, const unsigned char* value,
                   unsigned int valueLength);

    std::string version;  // the text after "HTTP/" ("1.0")
    std::map<std::string, std::string> headers;
    std::vector<BodyPartInformation> bodyParts;  // in message order

protected:
    MessageInformation();
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
