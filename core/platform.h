// The platform services that the portable units need: the private heap every runtime record
// comes from, the tick count and the thread id. One Win32 implementation for the program, one
// host implementation used only by native builds (tests, sanitizers, fuzzing, benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>

// Start-up and shutdown. maximumBytes 0 makes a growable heap (the program's); a non-zero
// limit makes a fixed-size heap that refuses allocations once full, which is how tests make
// the platform itself refuse memory. Returns 1, or 0 when no heap could be made.
int PrivateHeapCreate(size_t maximumBytes);
// Frees the heap with everything still in it.
void PrivateHeapDestroy();

// Blocks of the private heap; every operation returns null when the heap refuses.
void* PrivateHeapAlloc(size_t bytes);
void* PrivateHeapAllocZeroed(size_t bytes);
// Keeps the old bytes and zero-fills the ones added; the old block stays valid on failure.
void* PrivateHeapReAllocZeroed(void* block, size_t bytes);
// Returns non-zero when the block was released; 0 for null, which is allowed.
int PrivateHeapFree(void* block);

// A second small heap with a 16-byte buffer in it, made at start-up and never released.
struct ScratchHeap {
    void* heap;
    void* buffer;
    int32_t size;
    int32_t position;
};
int ScratchHeapInit();
const ScratchHeap* ScratchHeapGet();

uint32_t PlatformTickCount();
uint32_t PlatformThreadId();
