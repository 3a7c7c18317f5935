#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "Utility/Tcp/Buffer.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

// The receive buffer of a connection: bytes accumulate at its end until the HTTP
// controller consumes a complete message from its front. The storage grows with the bytes
// that arrive, by doubling, and no further than the end of the message being read when
// its length is known. A buffer that had to grow is marked extended and is replaced by
// one of the configured size once consumed from, or dropped.
// Not thread-safe: the owning connection serialises every call.
class ReceiveStore {
public:
    explicit ReceiveStore(unsigned int size);
    ReceiveStore(const ReceiveStore&) = delete;
    ReceiveStore& operator=(const ReceiveStore&) = delete;
    ~ReceiveStore();

    unsigned int GetSize() const;
    boost::shared_ptr<Buffer> GetBuffer() const;
    void SetBuffer(boost::shared_ptr<Buffer> buffer);
    bool IsExtended() const;
    void SetExtended(bool extended);

    // Grows the storage when the data fills it, so that a read always has room.
    void EnsureRoom();

    // The message at the front of the data ends `length` bytes from it: the storage grows
    // up to there and not beyond (0: not known). Forgotten once data is consumed.
    void Expect(unsigned int length);

    // Counts `received` bytes that a read placed at `offset` of `target`, the buffer and
    // data length when the read started (error 4 beyond the storage), and grows the
    // storage when they fill it exactly, unless they complete the message expected.
    // Should the buffer have been consumed from or replaced meanwhile, the bytes move
    // behind its present data.
    void Commit(const boost::shared_ptr<Buffer>& target, unsigned int offset, unsigned int received);

    // Appends a received message, marking the buffer extended when the storage grew.
    void Append(const unsigned char* data, unsigned int length);

    // Drops the first `length` bytes of the data.
    void Consume(unsigned int length);

    // Drops all data: a buffer that grew goes, an empty one of the configured size
    // takes its place.
    void Discard();

private:
    // Grows the storage to hold at least `needed` bytes.
    void Grow(std::uint64_t needed);
    // Puts a new buffer of the configured size in place of an extended one, holding
    // `length` bytes from `data`.
    void Replace(const unsigned char* data, unsigned int length);

    const unsigned int size_;
    bool extended_;
    unsigned int expected_;
    boost::shared_ptr<Buffer> buffer_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
