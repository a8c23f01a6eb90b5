#include "core/registry.h"

#include "core/platform.h"

#include <cstring>

namespace {

uint8_t* SlotAt(ObjectRegistry* r, ObjectNumber number) {
    return r->slots + static_cast<size_t>(number) * static_cast<size_t>(r->elementSize);
}

// A record lives while its first word is non-zero: every owner's record starts with its
// handle or pointer. The word is as wide as an address whenever the record can hold one, since
// a handle or pointer above 4 GiB may have all of its low 32 bits zero.
bool IsLive(const ObjectRegistry* r, const void* record) {
    if (static_cast<size_t>(r->elementSize) >= sizeof(uintptr_t)) {
        uintptr_t first;
        std::memcpy(&first, record, sizeof first);
        return first != 0;
    }
    uint32_t first;
    std::memcpy(&first, record, sizeof first);
    return first != 0;
}

void* RecordOf(RegistryNode* node) { return node + 1; }
RegistryNode* NodeOf(uintptr_t number) { return reinterpret_cast<RegistryNode*>(number) - 1; }

// Fibonacci hashing spreads heap addresses, whose low bits are all alike, over the table.
uint32_t HashSlot(uintptr_t key, int32_t capacity) {
    uint64_t h = static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(h >> 32) & static_cast<uint32_t>(capacity - 1);
}

bool LiveContains(const RegistryLiveSet& set, uintptr_t key) {
    if (set.capacity == 0)
        return false;
    for (uint32_t i = HashSlot(key, set.capacity);; i = (i + 1) & (set.capacity - 1)) {
        if (set.keys[i] == key)
            return true;
        if (set.keys[i] == 0)
            return false;
    }
}

void LiveInsertUnchecked(RegistryLiveSet& set, uintptr_t key) {
    uint32_t i = HashSlot(key, set.capacity);
    while (set.keys[i] != 0)
        i = (i + 1) & (set.capacity - 1);
    set.keys[i] = key;
    set.count++;
}

// Keeps the load at most one half so that probes stay short.
bool LiveInsert(RegistryLiveSet& set, uintptr_t key) {
    if ((set.count + 1) * 2 > set.capacity) {
        int32_t newCapacity = set.capacity ? set.capacity * 2 : 16;
        if (newCapacity <= 0)
            return false;
        auto* keys = static_cast<uintptr_t*>(
            PrivateHeapAllocZeroed(static_cast<size_t>(newCapacity) * sizeof(uintptr_t)));
        if (!keys)
            return false;
        RegistryLiveSet grown{keys, newCapacity, 0};
        for (int32_t i = 0; i < set.capacity; i++)
            if (set.keys[i])
                LiveInsertUnchecked(grown, set.keys[i]);
        if (set.keys)
            PrivateHeapFree(set.keys);
        set = grown;
    }
    LiveInsertUnchecked(set, key);
    return true;
}

// Linear probing with backward-shift deletion: no tombstones, so lookups of absent numbers
// stay short however many records come and go.
void LiveErase(RegistryLiveSet& set, uintptr_t key) {
    if (set.capacity == 0)
        return;
    uint32_t mask = static_cast<uint32_t>(set.capacity - 1);
    uint32_t i = HashSlot(key, set.capacity);
    while (set.keys[i] != key) {
        if (set.keys[i] == 0)
            return;
        i = (i + 1) & mask;
    }
    uint32_t hole = i;
    for (uint32_t j = (hole + 1) & mask; set.keys[j] != 0; j = (j + 1) & mask) {
        uint32_t home = HashSlot(set.keys[j], set.capacity);
        // Move entry j into the hole unless its home lies cyclically in (hole, j].
        bool homeBetween = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (!homeBetween) {
            set.keys[hole] = set.keys[j];
            hole = j;
        }
    }
    set.keys[hole] = 0;
    set.count--;
}

bool InTable(const ObjectRegistry* r, ObjectNumber number) {
    return number >= 0 && number < r->capacity;
}

} // namespace

ObjectRegistry* RegistryCreate(int32_t elementSize, int32_t growthStep,
                               RegistryFreeCallback freeCallback) {
    if (elementSize < 4 || growthStep < 1)
        return nullptr;
    auto* r = static_cast<ObjectRegistry*>(PrivateHeapAllocZeroed(sizeof(ObjectRegistry)));
    if (!r)
        return nullptr;
    r->slots = static_cast<uint8_t*>(
        PrivateHeapAllocZeroed(static_cast<size_t>(elementSize) * static_cast<size_t>(growthStep)));
    if (!r->slots) {
        PrivateHeapFree(r);
        return nullptr;
    }
    r->elementSize = elementSize;
    r->growthStep = growthStep;
    r->capacity = growthStep;
    r->freeCallback = freeCallback;
    return r;
}

void* RegistrySlotFor(ObjectRegistry* r, ObjectNumber number) {
    if (number == DYNAMIC_NUMBER) {
        size_t bytes = sizeof(RegistryNode) + static_cast<size_t>(r->elementSize);
        auto* node = static_cast<RegistryNode*>(PrivateHeapAllocZeroed(bytes));
        if (!node)
            return nullptr;
        if (!LiveInsert(r->live, reinterpret_cast<uintptr_t>(RecordOf(node)))) {
            PrivateHeapFree(node);
            return nullptr;
        }
        node->next = r->dynamicHead;
        if (r->dynamicHead)
            r->dynamicHead->prev = node;
        r->dynamicHead = node;
        return RecordOf(node);
    }
    if (number < 0)
        return nullptr;
    if (number >= r->capacity) {
        // The grown table must stay countable in 32 bits and addressable in bytes.
        int64_t grown = static_cast<int64_t>(number) + r->growthStep;
        if (grown > INT32_MAX ||
            static_cast<uint64_t>(grown) * static_cast<uint64_t>(r->elementSize) > SIZE_MAX)
            return nullptr;
        size_t bytes = static_cast<size_t>(grown) * static_cast<size_t>(r->elementSize);
        auto* slots = static_cast<uint8_t*>(PrivateHeapReAllocZeroed(r->slots, bytes));
        if (!slots)
            return nullptr;
        r->slots = slots;
        r->capacity = static_cast<int32_t>(grown);
    }
    if (r->freeCallback)
        r->freeCallback(number);
    return SlotAt(r, number);
}

void* RegistryLookup(ObjectRegistry* r, ObjectNumber number) {
    if (InTable(r, number)) {
        uint8_t* slot = SlotAt(r, number);
        return IsLive(r, slot) ? slot : nullptr;
    }
    uintptr_t key = static_cast<uintptr_t>(number);
    if (key == 0 || !LiveContains(r->live, key))
        return nullptr;
    void* record = reinterpret_cast<void*>(key);
    return IsLive(r, record) ? record : nullptr;
}

void RegistryRelease(ObjectRegistry* r, ObjectNumber number) {
    if (InTable(r, number)) {
        std::memset(SlotAt(r, number), 0, static_cast<size_t>(r->elementSize));
        return;
    }
    uintptr_t key = static_cast<uintptr_t>(number);
    if (key == 0 || !LiveContains(r->live, key))
        return;
    LiveErase(r->live, key);
    RegistryNode* node = NodeOf(key);
    // An enumeration that was about to report this node moves on to the next newer one.
    if (r->enumDynamic == node)
        r->enumDynamic = node->prev;
    if (node == r->dynamicHead) {
        r->dynamicHead = node->next;
        if (node->next)
            node->next->prev = nullptr;
    } else {
        node->prev->next = node->next;
        if (node->next)
            node->next->prev = node->prev;
    }
    PrivateHeapFree(node);
}

void RegistryEnumBegin(ObjectRegistry* r) {
    r->enumIndex = 0;
    RegistryNode* oldest = r->dynamicHead;
    while (oldest && oldest->next)
        oldest = oldest->next;
    r->enumDynamic = oldest;
}

void* RegistryEnumNext(ObjectRegistry* r, ObjectNumber* number) {
    while (r->enumIndex < r->capacity) {
        int32_t index = r->enumIndex++;
        uint8_t* slot = SlotAt(r, index);
        if (IsLive(r, slot)) {
            *number = index;
            return slot;
        }
    }
    if (RegistryNode* node = r->enumDynamic) {
        r->enumDynamic = node->prev;
        *number = RegistryNumberOf(RecordOf(node));
        return RecordOf(node);
    }
    return nullptr;
}

void RegistryFreeAll(ObjectRegistry* r) {
    if (!r || !r->freeCallback)
        return;
    ObjectNumber number;
    RegistryEnumBegin(r);
    while (RegistryEnumNext(r, &number))
        r->freeCallback(number);
}

void RegistryDestroy(ObjectRegistry* r) {
    if (!r)
        return;
    RegistryNode* node = r->dynamicHead;
    while (node) {
        RegistryNode* older = node->next;
        PrivateHeapFree(node);
        node = older;
    }
    PrivateHeapFree(r->live.keys);
    PrivateHeapFree(r->slots);
    PrivateHeapFree(r);
}

void* StateRecordCreate(int32_t size, StateRecordHook initialiser, StateRecordHook finaliser) {
    (void)finaliser;
    if (size <= 0)
        return nullptr;
    void* record = PrivateHeapAllocZeroed(static_cast<size_t>(size));
    if (record && initialiser)
        initialiser(record);
    return record;
}
