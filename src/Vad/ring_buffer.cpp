#include "Vad/ring_buffer.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Vad/sbm_error_code.h"

namespace {

std::size_t ElementSize(int type)
{
    switch (type) {
    case RB_BYTE: return 1;
    case RB_SHORT: return 2;
    case RB_INT: return 4;
    case RB_DOUBLE: return 8;
    default: return 0;
    }
}

bool KeepsStorage(int type)
{
    return ElementSize(type) != 0;
}

RingBufferInfo_t* Parent(const RingBufferInfo_t* view)
{
    if (view->parent == nullptr || *view->parent == nullptr) {
        return nullptr;
    }
    RingBufferInfo_t* parent = *view->parent;
    // A parent that was replaced by a queue of another shape is no parent of this view.
    if (parent->capacity != view->capacity || parent->type != view->type) {
        return nullptr;
    }
    return parent;
}

// The storage a queue reads and writes; a view reads its parent's current storage, so it
// never follows a freed block.
unsigned char* Storage(const RingBufferInfo_t* q)
{
    if (q->view) {
        const RingBufferInfo_t* parent = Parent(q);
        return parent != nullptr ? static_cast<unsigned char*>(parent->storage) : nullptr;
    }
    return static_cast<unsigned char*>(q->storage);
}

unsigned int Advance(unsigned int index, std::uint64_t n, unsigned int capacity)
{
    return static_cast<unsigned int>((index + n) % capacity);
}

// A view brought up to date with its parent; 0, or -3 when the view has lost its parent.
int Sync(RingBufferInfo_t* q)
{
    return q->view ? ROSyncParentRB(q) : 0;
}

void CopyOut(const RingBufferInfo_t* q, const unsigned char* storage, void* to, unsigned int n)
{
    const std::size_t size = ElementSize(q->type);
    if (size == 0 || n == 0) {
        return;
    }
    const unsigned int first = n < q->capacity - q->read ? n : q->capacity - q->read;
    std::memcpy(to, storage + std::size_t(q->read) * size, std::size_t(first) * size);
    std::memcpy(static_cast<unsigned char*>(to) + std::size_t(first) * size, storage, std::size_t(n - first) * size);
}

void CopyIn(const RingBufferInfo_t* q, unsigned char* storage, const void* from, unsigned int n)
{
    const std::size_t size = ElementSize(q->type);
    if (size == 0 || n == 0) {
        return;
    }
    const unsigned int first = n < q->capacity - q->write ? n : q->capacity - q->write;
    std::memcpy(storage + std::size_t(q->write) * size, from, std::size_t(first) * size);
    std::memcpy(storage, static_cast<const unsigned char*>(from) + std::size_t(first) * size,
                std::size_t(n - first) * size);
}

int Fail(int code, const char* file, int line)
{
    _SetSBMError(code, file, line);
    return code;
}

#define RB_FAIL(code) Fail((code), __FILE__, __LINE__)

} // namespace

int AllocateRB(RingBufferInfo_t** queue, unsigned int capacity, int type)
{
    if (queue == nullptr) {
        return SBM_ERR_NULL;
    }
    FreeRB(queue);
    if (capacity == 0 || capacity > kMaxRingCapacity) {
        return SBM_ERR_RANGE;
    }
    RingBufferInfo_t* q = static_cast<RingBufferInfo_t*>(std::calloc(1, sizeof(RingBufferInfo_t)));
    if (q == nullptr) {
        return SBM_ERR_MEMORY;
    }
    q->type = type;
    q->capacity = capacity;
    if (KeepsStorage(type)) {
        q->storage = std::calloc(capacity, ElementSize(type));
        if (q->storage == nullptr) {
            std::free(q);
            return SBM_ERR_MEMORY;
        }
    }
    *queue = q;
    return 0;
}

int CopyRB(RingBufferInfo_t** view, RingBufferInfo_t** parent)
{
    if (view == nullptr || parent == nullptr || *parent == nullptr || view == parent) {
        return SBM_ERR_NULL;
    }
    FreeRB(view);
    RingBufferInfo_t* v = static_cast<RingBufferInfo_t*>(std::calloc(1, sizeof(RingBufferInfo_t)));
    if (v == nullptr) {
        return SBM_ERR_MEMORY;
    }
    const RingBufferInfo_t* p = *parent;
    v->storage = p->storage;
    v->type = p->type;
    v->read = p->read;
    v->write = p->write;
    v->capacity = p->capacity;
    v->readable = p->readable;
    v->release = p->release;
    v->skip = p->skip;
    v->view = 1;
    v->parent = parent;
    *view = v;
    return 0;
}

int FreeRB(RingBufferInfo_t** queue)
{
    if (queue == nullptr || *queue == nullptr) {
        return 0;
    }
    if (!(*queue)->view) {
        std::free((*queue)->storage);
    }
    std::free(*queue);
    *queue = nullptr;
    return 0;
}

int WriteRB(RingBufferInfo_t* q, const void* source, unsigned int count)
{
    if (q == nullptr || source == nullptr || q->view) {
        return SBM_ERR_NULL;
    }
    unsigned char* storage = Storage(q);
    if (KeepsStorage(q->type) && storage == nullptr) {
        return SBM_ERR_NULL;
    }
    // A single write larger than the queue would overwrite itself.
    if (count > q->capacity) {
        return SBM_ERR_RANGE;
    }
    if (count == 0) {
        return 0;
    }
    const bool fits = IsWritableRB(q, count) == 1;
    CopyIn(q, storage, source, count);
    q->write = Advance(q->write, count, q->capacity);
    if (fits) {
        q->readable += count;
    } else {
        q->read = q->write;
        q->readable = q->capacity;
    }
    return 0;
}

int ReadRB(RingBufferInfo_t* q, void* destination, unsigned int count)
{
    if (count == 0) {
        return 0;
    }
    if (q == nullptr || (!q->skip && destination == nullptr)) {
        return RB_FAIL(SBM_ERR_NULL);
    }
    unsigned char* storage = Storage(q);
    if (KeepsStorage(q->type) && storage == nullptr) {
        return RB_FAIL(SBM_ERR_NULL);
    }
    if (Sync(q) != 0) {
        return RB_FAIL(SBM_ERR_NULL);
    }
    if (q->readable < count) {
        return RB_FAIL(SBM_ERR_RANGE);
    }
    if (!q->skip) {
        CopyOut(q, storage, destination, count);
    }
    q->read = Advance(q->read, count, q->capacity);
    q->readable -= count;
    return 0;
}

int ReadRBtoRB(RingBufferInfo_t* source, RingBufferInfo_t* destination, unsigned int count)
{
    if (count == 0) {
        return 0;
    }
    if (source == nullptr || destination == nullptr || destination->view) {
        return RB_FAIL(SBM_ERR_NULL);
    }
    const unsigned char* storage = Storage(source);
    if (storage == nullptr || Storage(destination) == nullptr || Sync(source) != 0) {
        return RB_FAIL(SBM_ERR_NULL);
    }
    if (source->readable < count || source->type != destination->type || count > destination->capacity) {
        return RB_FAIL(SBM_ERR_RANGE);
    }
    const std::size_t size = ElementSize(source->type);
    const unsigned int first = count < source->capacity - source->read ? count : source->capacity - source->read;
    int result = WriteRB(destination, storage + std::size_t(source->read) * size, first);
    if (result == 0 && first < count) {
        result = WriteRB(destination, storage, count - first);
    }
    if (result != 0) {
        return RB_FAIL(result);
    }
    source->read = Advance(source->read, count, source->capacity);
    source->readable -= count;
    return 0;
}

int RSeekRB(RingBufferInfo_t* q, int count)
{
    if (count == 0) {
        return 0;
    }
    if (q == nullptr || Sync(q) != 0) {
        return SBM_ERR_NULL;
    }
    if (count > 0) {
        if (static_cast<unsigned int>(count) > q->readable) {
            return SBM_ERR_RANGE;
        }
        q->read = Advance(q->read, static_cast<unsigned int>(count), q->capacity);
        q->readable -= static_cast<unsigned int>(count);
        return 0;
    }
    const std::uint64_t back = static_cast<std::uint64_t>(-static_cast<std::int64_t>(count));
    const std::uint64_t room = q->capacity - q->readable;
    // A view whose whole storage is readable would look empty on its next sync.
    if (room < back || (q->view && room == back)) {
        return SBM_ERR_RANGE;
    }
    q->read = Advance(q->read, q->capacity - back, q->capacity);
    q->readable += static_cast<unsigned int>(back);
    return 0;
}

int SyncBackRB(RingBufferInfo_t* q, unsigned int count)
{
    if (q == nullptr || Sync(q) != 0) {
        return SBM_ERR_NULL;
    }
    if (q->readable == 0) {
        return SBM_ERR_RANGE;
    }
    if (q->readable < count) {
        const unsigned int shortfall = count - q->readable;
        return shortfall > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(shortfall);
    }
    q->readable = count;
    q->read = Advance(q->write, q->capacity - count, q->capacity);
    return 0;
}

int WSyncBackRB(RingBufferInfo_t* q, unsigned int count)
{
    return SyncBackRB(q, count);
}

int ROSyncParentRB(RingBufferInfo_t* view)
{
    if (view == nullptr || !view->view) {
        return SBM_ERR_NULL;
    }
    const RingBufferInfo_t* parent = Parent(view);
    if (parent == nullptr) {
        return SBM_ERR_NULL;
    }
    view->write = parent->write;
    view->readable = parent->write >= view->read ? parent->write - view->read
                                                 : parent->write + view->capacity - view->read;
    return 0;
}

int GetReadableRB(RingBufferInfo_t* q)
{
    if (q == nullptr || Sync(q) != 0) {
        return SBM_ERR_NULL;
    }
    return static_cast<int>(q->readable);
}

int IsReadableRB(RingBufferInfo_t* q, unsigned int count)
{
    const int readable = GetReadableRB(q);
    if (readable < 0) {
        return readable;
    }
    return readable != 0 && static_cast<unsigned int>(readable) >= count ? 1 : 0;
}

int IsWritableRB(RingBufferInfo_t* q, unsigned int count)
{
    if (q == nullptr) {
        return SBM_ERR_NULL;
    }
    const unsigned int room = q->capacity - q->readable;
    return room != 0 && room >= count ? 1 : 0;
}

int SetSkipReadCopyFlag(RingBufferInfo_t* q, int flag)
{
    if (q == nullptr) {
        return SBM_ERR_NULL;
    }
    if (flag != 0 && flag != 1) {
        return SBM_ERR_RANGE;
    }
    q->skip = flag;
    return 0;
}

int FillRB(RingBufferInfo_t* q)
{
    if (q == nullptr) {
        return SBM_ERR_NULL;
    }
    q->read = q->write;
    q->readable = q->capacity;
    return 0;
}

int ClearRB(RingBufferInfo_t* q)
{
    if (q == nullptr) {
        return SBM_ERR_NULL;
    }
    q->read = 0;
    q->write = 0;
    q->readable = 0;
    q->release = 0;
    unsigned char* storage = Storage(q);
    if (storage != nullptr) {
        std::memset(storage, 0, std::size_t(q->capacity) * ElementSize(q->type));
    }
    return 0;
}

int GetSizeRB(RingBufferInfo_t* q, unsigned int* size)
{
    if (q == nullptr || size == nullptr) {
        return SBM_ERR_NULL;
    }
    *size = q->capacity;
    return 0;
}

int ExtendRB(RingBufferInfo_t** /*queue*/, unsigned int /*size*/)
{
    return 0;
}
