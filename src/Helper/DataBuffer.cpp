#include "Helper/DataBuffer.h"

namespace Orvane {
namespace Helper {

DataBuffer::DataBuffer(uint32_t size) : data_(new char[size]()), size_(size) {}

} // namespace Helper
} // namespace Orvane
