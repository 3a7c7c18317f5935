#pragma once

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "Utility/Tcp/Buffer.h"

namespace Orvane {
namespace Utility {
namespace Http {

// Hands a finished message to the connection; raises a std::exception on failure.
typedef boost::function<void(boost::shared_ptr<Tcp::Buffer>)> SendFunction;

} // namespace Http
} // namespace Utility
} // namespace Orvane
