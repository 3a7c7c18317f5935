#include "Utility/Http/ResponseListener.h"

namespace Orvane {
namespace Utility {
namespace Http {

ResponseListener::~ResponseListener() = default;

} // namespace Http
} // namespace Utility
} // namespace Orvane
