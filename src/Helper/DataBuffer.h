#pragma once

#include <cstdint>
#include <memory>

namespace Orvane {
namespace Helper {

// One block of audio bytes, shared by pointer between recorder, filters, voice buffer
// and sender. Its maker fills it once; everyone else only reads it.
class DataBuffer {
public:
    // The bytes start zeroed.
    explicit DataBuffer(uint32_t size);
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;

    char* GetData() { return data_.get(); }
    const char* GetData() const { return data_.get(); }
    uint32_t GetSize() const { return size_; }

private:
    std::unique_ptr<char[]> data_;
    uint32_t size_;
};

} // namespace Helper
} // namespace Orvane
