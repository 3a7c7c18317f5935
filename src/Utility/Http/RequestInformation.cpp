#include "Utility/Http/RequestInformation.h"

namespace Orvane {
namespace Utility {
namespace Http {

RequestInformation::RequestInformation() = default;

RequestInformation::~RequestInformation() = default;

} // namespace Http
} // namespace Utility
} // namespace Orvane
