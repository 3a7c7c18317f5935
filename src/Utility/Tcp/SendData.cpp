#include "Utility/Tcp/SendData.h"

#include <utility>

namespace Orvane {
namespace Utility {
namespace Tcp {

SendData::SendData(boost::shared_ptr<Buffer> buffer_, int sendTimeout_, unsigned int chunkSize_,
                   CompletionFunction completion_)
    : buffer(std::move(buffer_)), sendTimeout(sendTimeout_), chunkSize(chunkSize_), sent(0),
      completion(std::move(completion_))
{
}

boost::shared_ptr<SendData> SendData::CreateInstance(boost::shared_ptr<Buffer> buffer, int sendTimeout,
                                                     unsigned int chunkSize, CompletionFunction completion)
{
    return boost::shared_ptr<SendData>(
        new SendData(std::move(buffer), sendTimeout, chunkSize, std::move(completion)));
}

SendData::~SendData()
{
    completion.clear();
    buffer.reset();
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
