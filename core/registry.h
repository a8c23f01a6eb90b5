// Numbered objects: each kind of object that callers address by number (windows, gadgets,
// sprites, images) lives in an ObjectRegistry. Fixed numbers 0, 1, 2, ... name slots of a
// table that grows on demand; DYNAMIC_NUMBER asks for a record of its own outside the table,
// whose address becomes the object's number. A record is live while its first address-wide
// word (its first 32 bits, in a record narrower than an address) is non-zero: owners put their
// handle or pointer there. Also the subsystems' state records.
#pragma once

#include <cstddef>
#include <cstdint>

// As wide as an address: a dynamic object's number is its record's address.
typedef intptr_t ObjectNumber;
constexpr ObjectNumber DYNAMIC_NUMBER = -1;

// Destroys the object under a number; must accept a number whose slot is empty.
typedef void (*RegistryFreeCallback)(ObjectNumber number);

struct ObjectRegistry;

// Returns null when the heap cannot hold the registry.
ObjectRegistry* RegistryCreate(int32_t elementSize, int32_t growthStep,
                               RegistryFreeCallback freeCallback);
// The record to fill in for a number, after the free callback has destroyed whatever held
// it. Null when the heap refuses the growth or the dynamic node, or when the number is out of
// range (below DYNAMIC_NUMBER, or so large that the grown table would not be addressable).
void* RegistrySlotFor(ObjectRegistry* registry, ObjectNumber number);
// The live record with that number, or null. Never dereferences a number that is not a slot
// or a live dynamic record.
void* RegistryLookup(ObjectRegistry* registry, ObjectNumber number);
void RegistryRelease(ObjectRegistry* registry, ObjectNumber number);
// Slots 0, 1, ... first, then dynamic records oldest first. The cursor moves past an object
// before the caller sees it, so the caller may destroy the reported object.
void RegistryEnumBegin(ObjectRegistry* registry);
void* RegistryEnumNext(ObjectRegistry* registry, ObjectNumber* number);
void RegistryFreeAll(ObjectRegistry* registry);
// Gives the registry's own blocks (table, dynamic nodes, live set) back to the private heap
// without calling the free callback: the caller frees the objects first. Both this and
// RegistryFreeAll accept null, so a shutdown may run after a start-up that failed.
void RegistryDestroy(ObjectRegistry* registry);

// The number that a dynamic record's address stands for.
inline ObjectNumber RegistryNumberOf(const void* record) {
    return reinterpret_cast<ObjectNumber>(record);
}

// One process-wide record per subsystem. The initialiser runs on the zeroed record before it
// is returned; the finaliser is kept for symmetry and never called, since state records live
// until the private heap is destroyed at exit.
typedef void (*StateRecordHook)(void* record);
void* StateRecordCreate(int32_t size, StateRecordHook initialiser, StateRecordHook finaliser);
inline void* StateRecordGet(void* record) { return record; }

// Dynamic node: two links then the record.
struct RegistryNode {
    RegistryNode* next; // toward older nodes
    RegistryNode* prev; // toward newer nodes; null for the head
};

// Open-addressed set of the live dynamic records' addresses, so that a number outside the
// table is matched in constant time and a foreign number is never dereferenced.
struct RegistryLiveSet {
    uintptr_t* keys;  // 0 marks an empty entry
    int32_t capacity; // a power of two, or 0 before the first dynamic record
    int32_t count;
};

struct ObjectRegistry {
    int32_t elementSize;
    int32_t growthStep;
    int32_t capacity;
    RegistryNode* dynamicHead;
    RegistryFreeCallback freeCallback;
    int32_t enumIndex;
    RegistryNode* enumDynamic;
    uint8_t* slots;
    RegistryLiveSet live;
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(RegistryNode) == 8, "dynamic node header is two 32-bit links");
static_assert(offsetof(ObjectRegistry, slots) == 28, "registry fields in their documented order");
#endif
