// Fixed-size elements carved from larger heap blocks, for short-lived records (queued events)
// that should not each cost a heap allocation. Blocks grow with the pool, a block goes back to
// the heap as soon as all its elements are back, and the element returned last is reused first.
#pragma once

#include <cstddef>
#include <cstdint>

struct ElementPool;

// Null when the heap refuses the pool record.
ElementPool* PoolCreate(int32_t elementSize, int32_t minBlockSlots, int32_t maxBlockSlots);
// Null only when the heap refuses even a block of one slot.
void* PoolTake(ElementPool* pool);
void PoolGive(ElementPool* pool, void* element);
void PoolClear(ElementPool* pool);
void PoolDestroy(ElementPool* pool);

struct PoolBlock {
    PoolBlock* next;
    PoolBlock* prev;
    void* freeChain; // the slot returned last, or null
    int32_t slotCount;
    int32_t handedOut; // slots from here to slotCount - 1 were never used
    int32_t freeCount;
    // slotCount slots of slotSize bytes follow; a slot starts with one address-wide word:
    // its block while taken, the next free slot while on the free chain.
};

struct ElementPool {
    PoolBlock* fullBlocks;
    PoolBlock* openBlocks; // elements are always taken from its head
    int32_t totalSlots;
    int32_t slotSize;
    int32_t minBlockSlots;
    int32_t maxBlockSlots;
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(PoolBlock) == 24, "block header of 24 bytes on the 32-bit target");
#endif
