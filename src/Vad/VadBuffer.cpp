#include "Vad/VadBuffer.h"

namespace Orvane {
namespace Utility {
namespace Vad {

VadBuffer::VadBuffer(unsigned int size)
    : bytes_(size != 0 ? new char[size] : nullptr), size_(size), status_(VAD_STATUS_UNSET)
{
}

VadBuffer::~VadBuffer() = default;

void VadBuffer::SetStatus(VadDetectStatus status)
{
    status_ = status;
}

VadDetectStatus VadBuffer::GetStatus() const
{
    return status_;
}

unsigned int VadBuffer::Size() const
{
    return size_;
}

char* VadBuffer::Data()
{
    return bytes_.get();
}

const char* VadBuffer::Data() const
{
    return bytes_.get();
}

} // namespace Vad
} // namespace Utility
} // namespace Orvane
