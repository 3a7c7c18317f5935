#include "Utility/Tcp/ReceiveStore.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Tcp/Errors.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

ReceiveStore::ReceiveStore(unsigned int size)
    : size_(size), extended_(false), expected_(0), buffer_(new Buffer(size, nullptr, 0))
{
}

ReceiveStore::~ReceiveStore() = default;

unsigned int ReceiveStore::GetSize() const { return size_; }

boost::shared_ptr<Buffer> ReceiveStore::GetBuffer() const { return buffer_; }

void ReceiveStore::SetBuffer(boost::shared_ptr<Buffer> buffer)
{
    if (!buffer) {
        throw MakeError(Errors::kBufferArgument);
    }
    buffer_ = buffer;
}

bool ReceiveStore::IsExtended() const { return extended_; }

void ReceiveStore::SetExtended(bool extended) { extended_ = extended; }

void ReceiveStore::EnsureRoom()
{
    if (buffer_->dataLength >= buffer_->storage.size()) {
        Grow(std::uint64_t(buffer_->dataLength) + 1);
    }
}

void ReceiveStore::Expect(unsigned int length) { expected_ = length; }

void ReceiveStore::Commit(const boost::shared_ptr<Buffer>& target, unsigned int offset, unsigned int received)
{
    const std::uint64_t end = std::uint64_t(offset) + received;
    if (end > target->storage.size()) {
        throw MakeError(Errors::kReceiveOutOfRange, static_cast<unsigned int>(target->storage.size()), offset,
                        received);
    }
    if (target != buffer_) {
        Append(target->storage.data() + offset, received);
    } else if (offset != buffer_->dataLength) {
        // Trimmed while the read was pending: the data now ends before the new bytes.
        std::memmove(buffer_->storage.data() + buffer_->dataLength, buffer_->storage.data() + offset, received);
        buffer_->dataLength += received;
    } else {
        buffer_->dataLength = static_cast<unsigned int>(end);
    }
    // A complete message is consumed before the next read: its buffer needs no room.
    const bool complete = expected_ != 0 && buffer_->dataLength >= expected_;
    if (buffer_->dataLength == buffer_->storage.size() && !complete) {
        Grow(std::uint64_t(buffer_->dataLength) + 1);
    }
}

void ReceiveStore::Append(const unsigned char* data, unsigned int length)
{
    if (length == 0) {
        return;
    }
    const std::uint64_t needed = std::uint64_t(buffer_->dataLength) + length;
    if (needed > buffer_->storage.size()) {
        Grow(needed);
    }
    buffer_->AppendData(data, length);
}

void ReceiveStore::Consume(unsigned int length)
{
    const unsigned int dataLength = buffer_->dataLength;
    if (length > dataLength) {
        throw MakeError(Errors::kChunkOutOfRange, static_cast<unsigned int>(buffer_->storage.size()), length,
                        dataLength);
    }
    expected_ = 0;
    if (!extended_) {
        buffer_->Trim(length, dataLength - length);
        return;
    }
    Replace(buffer_->storage.data() + length, dataLength - length);
}

void ReceiveStore::Discard()
{
    expected_ = 0;
    if (!extended_) {
        buffer_->dataLength = 0;
        return;
    }
    Replace(nullptr, 0);
}

void ReceiveStore::Replace(const unsigned char* data, unsigned int length)
{
    ORVANE_LOG_TRACE("受信バッファを再作成します。");
    buffer_.reset(new Buffer(size_, data, length));
    extended_ = false;
}

void ReceiveStore::Grow(std::uint64_t needed)
{
    const std::size_t size = buffer_->storage.size();
    ORVANE_LOG_TRACE("受信バッファを拡張します。拡張前サイズ=%1%", static_cast<unsigned int>(size));
    std::uint64_t grown = size == 0 ? size_ : std::uint64_t(size) * 2;
    // A message of known length makes the storage as large as the message, no larger; and
    // once one more doubling would pass its end, the storage goes there at once, rather
    // than to just short of it and then to it, with the old and new storage held at once.
    if (expected_ > size && grown * 2 > expected_) {
        grown = expected_;
    }
    grown = std::max(grown, needed);
    if (grown == 0 || grown > UINT32_MAX) {
        throw std::length_error("Orvane::Utility::Tcp::ReceiveStore: receive buffer exceeds 4 GiB");
    }
    buffer_->storage.resize(grown);
    extended_ = true;
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
