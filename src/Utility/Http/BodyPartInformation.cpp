#include "Utility/Http/BodyPartInformation.h"

#include <utility>

namespace Orvane {
namespace Utility {
namespace Http {

BodyPartInformation::BodyPartInformation(const unsigned char* bytes, unsigned int length)
    : information_(new BodyPartInformationData(bytes, length))
{
}

BodyPartInformation::BodyPartInformation(boost::shared_ptr<BodyPartInformationData> information)
    : information_(std::move(information))
{
    if (!information_) {
        information_.reset(new BodyPartInformationData(nullptr, 0));
    }
}

BodyPartInformation::~BodyPartInformation() = default;

} // namespace Http
} // namespace Utility
} // namespace Orvane
