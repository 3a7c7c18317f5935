#pragma once

#include <cstdint>
#include <memory>

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

// The bytes of one encoded record, owned through a shared pointer.
class Buffer {
public:
    explicit Buffer(uint32_t size);
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    unsigned char* GetData() { return data_.get(); }
    const unsigned char* GetData() const { return data_.get(); }
    uint32_t GetSize() const { return size_; }

private:
    std::unique_ptr<unsigned char[]> data_;
    uint32_t size_;
};

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
