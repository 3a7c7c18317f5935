#include "Utility/SpeechCodec/Buffer.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

Buffer::Buffer(uint32_t size) : data_(new unsigned char[size]()), size_(size) {}

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
