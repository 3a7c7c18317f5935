#include "Utility/Log/Message.h"

#include <utility>

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace Orvane {
namespace Utility {
namespace Log {

Message::Message(int level, std::string text)
    : time_(boost::posix_time::microsec_clock::local_time()), level_(level),
      thread_(boost::this_thread::get_id()), text_(std::move(text))
{
}

} // namespace Log
} // namespace Utility
} // namespace Orvane
