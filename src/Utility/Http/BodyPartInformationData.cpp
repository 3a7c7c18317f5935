#include "Utility/Http/BodyPartInformationData.h"

namespace Orvane {
namespace Utility {
namespace Http {

BodyPartInformationData::BodyPartInformationData(const unsigned char* bytes, unsigned int length)
    : partBytes(bytes), partLength(length), data(nullptr), dataLength(0)
{
}

BodyPartInformationData::~BodyPartInformationData() = default;

} // namespace Http
} // namespace Utility
} // namespace Orvane
