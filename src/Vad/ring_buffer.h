#pragma once

// Fixed-capacity queues of the speech-boundary manager. A write never fails for lack of
// room: the oldest elements are overwritten. A view shares its parent's storage and write
// position but keeps its own read position, so several readers consume one stream.

enum RingBufferType { RB_BYTE = 0, RB_SHORT = 1, RB_INT = 2, RB_DOUBLE = 3 };

struct RingBufferInfo_t {
    void* storage;                // shared with the parent for a view
    int type;                     // RingBufferType; other values keep no storage
    unsigned int read;            // next element to read
    unsigned int write;           // next element to write
    unsigned int capacity;        // elements
    unsigned int readable;        // written and not yet read
    int view;                     // 1 for a view
    int release;                  // kept for the manager's reader
    int skip;                     // 1: reads advance without copying
    RingBufferInfo_t** parent;    // variable holding the parent (views only)
};

// Largest capacity a queue may have, in elements.
constexpr unsigned int kMaxRingCapacity = 1u << 27;

int AllocateRB(RingBufferInfo_t** queue, unsigned int capacity, int type);
int CopyRB(RingBufferInfo_t** view, RingBufferInfo_t** parent);
int FreeRB(RingBufferInfo_t** queue);
int WriteRB(RingBufferInfo_t* queue, const void* source, unsigned int count);
int ReadRB(RingBufferInfo_t* queue, void* destination, unsigned int count);
int ReadRBtoRB(RingBufferInfo_t* source, RingBufferInfo_t* destination, unsigned int count);
int RSeekRB(RingBufferInfo_t* queue, int count);
int SyncBackRB(RingBufferInfo_t* queue, unsigned int count);
int WSyncBackRB(RingBufferInfo_t* queue, unsigned int count);
int ROSyncParentRB(RingBufferInfo_t* view);
int GetReadableRB(RingBufferInfo_t* queue);
int IsReadableRB(RingBufferInfo_t* queue, unsigned int count);
int IsWritableRB(RingBufferInfo_t* queue, unsigned int count);
int SetSkipReadCopyFlag(RingBufferInfo_t* queue, int flag);
int FillRB(RingBufferInfo_t* queue);
int ClearRB(RingBufferInfo_t* queue);
int GetSizeRB(RingBufferInfo_t* queue, unsigned int* size);
int ExtendRB(RingBufferInfo_t** queue, unsigned int size);
