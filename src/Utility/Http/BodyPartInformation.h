#pragma once

#include <map>
#include <string>

#include <boost/shared_ptr.hpp>

#include "Utility/Http/BodyPartInformationData.h"

namespace Orvane {
namespace Utility {
namespace Http {

// One part of a message body. Copies share one data object; the bytes are never copied
// or freed (see BodyPartInformationData).
class BodyPartInformation {
public:
    // A part over `length` bytes at `bytes`, without data pointer or part headers.
    BodyPartInformation(const unsigned char* bytes, unsigned int length);
    explicit BodyPartInformation(boost::shared_ptr<BodyPartInformationData> information);
    virtual ~BodyPartInformation();

    const unsigned char* GetPartBytes() const { return information_->partBytes; }
    unsigned int GetPartLength() const { return information_->partLength; }
    const unsigned char* GetData() const { return information_->data; }
    unsigned int GetDataLength() const { return information_->dataLength; }
    const std::map<std::string, std::string>& GetPartHeaders() const { return information_->partHeaders; }
    const boost::shared_ptr<BodyPartInformationData>& GetInformation() const { return information_; }

private:
    boost::shared_ptr<BodyPartInformationData> information_;
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
