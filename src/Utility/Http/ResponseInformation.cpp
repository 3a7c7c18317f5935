#include "Utility/Http/ResponseInformation.h"

namespace Orvane {
namespace Utility {
namespace Http {

ResponseInformation::ResponseInformation()
    : statusCode(0)
{
}

ResponseInformation::~ResponseInformation() = default;

} // namespace Http
} // namespace Utility
} // namespace Orvane
