#include "Utility/Tcp/Buffer.h"

#include <cstring>
#include <stdexcept>

#include "Utility/Exception.h"
#include "Utility/HeapRelease.h"

namespace Orvane {
namespace Utility {
namespace Tcp {
namespace {
// The storage size is a 32-bit count: a sum beyond it cannot be represented.
unsigned int CheckedSum(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t sum = a + b;
    if (sum > UINT32_MAX) {
        throw std::length_error("Orvane::Utility::Tcp::Buffer: size exceeds 4 GiB");
    }
    return static_cast<unsigned int>(sum);
}
} // namespace

Buffer::Buffer(unsigned int growth, const unsigned char* data, unsigned int length)
    : growthUnit(growth), dataLength(0)
{
    if (length != 0 && data == nullptr) {
        throw Exception("Orvane::Utility::Tcp", 1, "引数(buffer)が不正です。");
    }
    storage.resize(growth < length ? CheckedSum(growth, length) : growth);
    if (length != 0) {
        std::memcpy(storage.data(), data, length);
    }
    dataLength = length;
}

Buffer::~Buffer()
{
    // The storage goes first, so that a large one is given back to the system with it.
    const std::size_t size = storage.capacity();
    std::vector<unsigned char>().swap(storage);
    HeapRelease::AfterFree(size);
}

void Buffer::AppendData(const unsigned char* data, unsigned int length)
{
    if (length == 0) {
        return;
    }
    if (data == nullptr) {
        throw Exception("Orvane::Utility::Tcp", 1, "引数(buffer)が不正です。");
    }
    const unsigned int needed = CheckedSum(dataLength, length);
    if (needed > storage.size()) {
        storage.resize(CheckedSum(needed, growthUnit));
    }
    std::memcpy(storage.data() + dataLength, data, length);
    dataLength = needed;
}

void Buffer::Trim(unsigned int offset, unsigned int length)
{
    const std::size_t size = storage.size();
    if (offset > size || length > size - offset) {
        throw Exception("Orvane::Utility::Tcp", 4,
                        "範囲外へのアクセスが発生しました。バッファサイズ=%1%, 開始オフセット=%2%, トリム後のデータ長=%3%",
                        static_cast<unsigned int>(size), offset, length);
    }
    if (offset != 0 && length != 0) {
        std::memmove(storage.data(), storage.data() + offset, length);
    }
    dataLength = length;
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
