#pragma once

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/system/error_code.hpp>

#include "Utility/Tcp/Buffer.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

// One queued send: the bytes, the time allowed per socket write, the write-chunk size,
// the progress and the completion function, called exactly once when the send ends.
class SendData {
public:
    typedef boost::function<void(const unsigned char*, unsigned int, const boost::system::error_code&)>
        CompletionFunction;

    static boost::shared_ptr<SendData> CreateInstance(boost::shared_ptr<Buffer> buffer, int sendTimeout,
                                                      unsigned int chunkSize, CompletionFunction completion);

    SendData(const SendData&) = delete;
    SendData& operator=(const SendData&) = delete;
    virtual ~SendData();

    boost::shared_ptr<Buffer> buffer;
    int sendTimeout;         // milliseconds per socket write; negative: no send timer
    unsigned int chunkSize;  // most bytes handed to one socket write
    unsigned int sent;       // bytes already written
    CompletionFunction completion;

private:
    SendData(boost::shared_ptr<Buffer> buffer, int sendTimeout, unsigned int chunkSize,
             CompletionFunction completion);
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
