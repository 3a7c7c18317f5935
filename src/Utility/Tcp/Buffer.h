#pragma once

#include <cstdint>
#include <vector>

namespace Orvane {
namespace Utility {
namespace Tcp {

// Byte buffer in which messages are built and received. Its fields are open to the
// transport classes. Invariant: dataLength <= storage.size().
class Buffer {
public:
    Buffer(unsigned int growth, const unsigned char* data, unsigned int length);
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    // Gives a large storage back to the system (see HeapRelease).
    virtual ~Buffer();

    // Appends behind the current data, growing the storage by at least one growth unit.
    void AppendData(const unsigned char* data, unsigned int length);

    // Keeps `length` bytes from `offset` and moves them to the front; error 4 when the
    // range lies outside the storage.
    void Trim(unsigned int offset, unsigned int length);

    unsigned int growthUnit;
    unsigned int dataLength;
    std::vector<unsigned char> storage;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
