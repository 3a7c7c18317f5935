#include "Utility/Tcp/ReceiveStore.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Tcp/Errors.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

ReceiveStore::ReceiveStore(unsigned int size)
    : size_(size), extended_(false), buffer_(new Buffer(size, nullptr, 0))
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
        Double();
    }
}

void ReceiveStore::Reserve(unsigned int length)
{
    const std::uint64_t wanted = std::uint64_t(length) + size_;
    if (wanted <= buffer_->storage.size()) {
        return;
    }
    if (wanted > UINT32_MAX) {
        throw std::length_error("Orvane::Utility::Tcp::ReceiveStore: receive buffer exceeds 4 GiB");
    }
    ORVANE_LOG_TRACE("受信バッファを拡張します。拡張後サイズ=%1%", static_cast<unsigned int>(wanted));
    buffer_->storage.resize(wanted);
    extended_ = true;
}

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
    if (buffer_->dataLength == buffer_->storage.size()) {
        Double();
    }
}

void ReceiveStore::Append(const unsigned char* data, unsigned int length)
{
    const std::size_t before = buffer_->storage.size();
    buffer_->AppendData(data, length);
    if (buffer_->storage.size() != before) {
        extended_ = true;
    }
}

void ReceiveStore::Consume(unsigned int length)
{
    const unsigned int dataLength = buffer_->dataLength;
    if (length > dataLength) {
        throw MakeError(Errors::kChunkOutOfRange, static_cast<unsigned int>(buffer_->storage.size()), length,
                        dataLength);
    }
    if (!extended_) {
        buffer_->Trim(length, dataLength - length);
        return;
    }
    ORVANE_LOG_TRACE("受信バッファを再作成します。");
    boost::shared_ptr<Buffer> rest(new Buffer(size_, buffer_->storage.data() + length, dataLength - length));
    buffer_ = rest;
    extended_ = false;
}

void ReceiveStore::Double()
{
    const std::size_t size = buffer_->storage.size();
    ORVANE_LOG_TRACE("受信バッファを拡張します。拡張前サイズ=%1%", static_cast<unsigned int>(size));
    const std::uint64_t grown = size == 0 ? size_ : std::uint64_t(size) * 2;
    if (grown == 0 || grown > UINT32_MAX) {
        throw std::length_error("Orvane::Utility::Tcp::ReceiveStore: receive buffer exceeds 4 GiB");
    }
    buffer_->storage.resize(grown);
    extended_ = true;
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
