#include "core/pool.h"

#include "core/platform.h"

#include <cstring>

namespace {

constexpr int32_t kSlotHeader = static_cast<int32_t>(sizeof(void*));

uint8_t* SlotAt(const ElementPool* pool, PoolBlock* block, int32_t index) {
    return reinterpret_cast<uint8_t*>(block + 1) + static_cast<size_t>(index) * pool->slotSize;
}

void* LoadWord(const void* slot) {
    void* word;
    std::memcpy(&word, slot, sizeof word);
    return word;
}

void StoreWord(void* slot, const void* word) { std::memcpy(slot, &word, sizeof word); }

void PushFront(PoolBlock** head, PoolBlock* block) {
    block->prev = nullptr;
    block->next = *head;
    if (*head)
        (*head)->prev = block;
    *head = block;
}

void Unlink(PoolBlock** head, PoolBlock* block) {
    if (block->next)
        block->next->prev = block->prev;
    if (*head == block)
        *head = block->next;
    else
        block->prev->next = block->next;
}

bool IsFull(const PoolBlock* b) { return b->freeCount == 0 && b->handedOut >= b->slotCount; }

void ReleaseList(PoolBlock* block) {
    while (block) {
        PoolBlock* next = block->next;
        PrivateHeapFree(block);
        block = next;
    }
}

PoolBlock* NewBlock(ElementPool* pool) {
    // A sixteenth of what the pool holds, in multiples of 16, within the pool's bounds.
    int32_t n = (pool->totalSlots >> 4) & ~15;
    if (n < pool->minBlockSlots)
        n = pool->minBlockSlots;
    else if (n > pool->maxBlockSlots)
        n = pool->maxBlockSlots;
    auto bytes = [pool](int32_t slots) {
        return sizeof(PoolBlock) + static_cast<size_t>(slots) * static_cast<size_t>(pool->slotSize);
    };
    auto* block = static_cast<PoolBlock*>(PrivateHeapAlloc(bytes(n)));
    if (!block && n > 1) {
        n = 1;
        block = static_cast<PoolBlock*>(PrivateHeapAlloc(bytes(1)));
    }
    if (!block)
        return nullptr;
    block->slotCount = n;
    block->handedOut = 1;
    block->freeCount = 0;
    block->freeChain = nullptr;
    pool->totalSlots += n;
    PushFront(n > 1 ? &pool->openBlocks : &pool->fullBlocks, block);
    return block;
}

} // namespace

ElementPool* PoolCreate(int32_t elementSize, int32_t minBlockSlots, int32_t maxBlockSlots) {
    if (elementSize < 0 || minBlockSlots < 1 || maxBlockSlots < minBlockSlots)
        return nullptr;
    auto* pool = static_cast<ElementPool*>(PrivateHeapAlloc(sizeof(ElementPool)));
    if (!pool)
        return nullptr;
    pool->fullBlocks = nullptr;
    pool->openBlocks = nullptr;
    pool->totalSlots = 0;
    // Element plus the slot's header word, rounded up to the header's width (4 on the target:
    // element size 20 gives 24, 21 gives 28).
    pool->slotSize = (elementSize + kSlotHeader + kSlotHeader - 1) & ~(kSlotHeader - 1);
    pool->minBlockSlots = minBlockSlots;
    pool->maxBlockSlots = maxBlockSlots;
    return pool;
}

void* PoolTake(ElementPool* pool) {
    uint8_t* slot;
    PoolBlock* block = pool->openBlocks;
    if (block) {
        if (block->freeCount > 0) {
            slot = static_cast<uint8_t*>(block->freeChain);
            block->freeChain = LoadWord(slot);
            block->freeCount--;
        } else {
            slot = SlotAt(pool, block, block->handedOut++);
        }
        if (IsFull(block)) {
            Unlink(&pool->openBlocks, block);
            PushFront(&pool->fullBlocks, block);
        }
    } else {
        block = NewBlock(pool);
        if (!block)
            return nullptr;
        slot = SlotAt(pool, block, 0);
    }
    StoreWord(slot, block);
    return slot + kSlotHeader;
}

void PoolGive(ElementPool* pool, void* element) {
    uint8_t* slot = static_cast<uint8_t*>(element) - kSlotHeader;
    auto* block = static_cast<PoolBlock*>(LoadWord(slot));
    StoreWord(slot, block->freeChain);
    block->freeChain = slot;
    block->freeCount++;
    if (block->freeCount == block->handedOut) {
        // Nothing of this block is taken any more. A block is full exactly when it has no
        // free slot and no untouched one; having just received a slot it is in the open list
        // unless it was full until now.
        bool wasFull = block->freeCount == 1 && block->handedOut >= block->slotCount;
        Unlink(wasFull ? &pool->fullBlocks : &pool->openBlocks, block);
        pool->totalSlots -= block->slotCount;
        PrivateHeapFree(block);
    } else if (block->freeCount == 1 && block->handedOut >= block->slotCount) {
        Unlink(&pool->fullBlocks, block);
        PushFront(&pool->openBlocks, block);
    }
}

void PoolClear(ElementPool* pool) {
    ReleaseList(pool->openBlocks);
    ReleaseList(pool->fullBlocks);
    pool->openBlocks = nullptr;
    pool->fullBlocks = nullptr;
    pool->totalSlots = 0;
}

void PoolDestroy(ElementPool* pool) {
    PoolClear(pool);
    PrivateHeapFree(pool);
}
