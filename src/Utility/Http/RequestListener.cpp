#include "Utility/Http/RequestListener.h"

namespace Orvane {
namespace Utility {
namespace Http {

RequestListener::~RequestListener() = default;

} // namespace Http
} // namespace Utility
} // namespace Orvane
