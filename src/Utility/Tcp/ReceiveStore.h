#pragma once

#include <boost/shared_ptr.hpp>

#include "Utility/Tcp/Buffer.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

// The receive buffer of a connection: bytes accumulate at its end until the HTTP
// controller consumes a complete message from its front. A buffer that had to grow is
// marked extended and is replaced by one of the configured size once consumed from.
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

    // Doubles the storage when the data fills it, so that a read always has room.
    void EnsureRoom();

    // Grows the storage at once to `length` bytes and one configured size more, when it is
    // smaller: a message whose length is known then arrives without doubling the storage
    // on the way, which would leave up to twice its size behind.
    void Reserve(unsigned int length);

    // Counts `received` bytes that a read placed at `offset` of `target`, the buffer and
    // data length when the read started (error 4 beyond the storage), and doubles the
    // storage when they fill it exactly. Should the buffer have been consumed from or
    // replaced meanwhile, the bytes move behind its present data.
    void Commit(const boost::shared_ptr<Buffer>& target, unsigned int offset, unsigned int received);

    // Appends a received message, marking the buffer extended when the storage grew.
    void Append(const unsigned char* data, unsigned int length);

    // Drops the first `length` bytes of the data.
    void Consume(unsigned int length);

private:
    void Double();

    const unsigned int size_;
    bool extended_;
    boost::shared_ptr<Buffer> buffer_;
};

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
