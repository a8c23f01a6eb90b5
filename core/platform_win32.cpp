#include "core/platform.h"

#include <windows.h>

namespace {
HANDLE privateHeap;
ScratchHeap scratch;
} // namespace

int PrivateHeapCreate(size_t maximumBytes) {
    // Initial commit of one page, growable unless a limit is asked for (HeapCreate's own
    // rule: a non-zero maximum makes the heap fixed-size).
    privateHeap = HeapCreate(0, 4096, maximumBytes);
    return privateHeap != nullptr;
}

void PrivateHeapDestroy() {
    if (privateHeap) {
        HeapDestroy(privateHeap);
        privateHeap = nullptr;
    }
}

void* PrivateHeapAlloc(size_t bytes) { return HeapAlloc(privateHeap, 0, bytes); }

void* PrivateHeapAllocZeroed(size_t bytes) {
    return HeapAlloc(privateHeap, HEAP_ZERO_MEMORY, bytes);
}

void* PrivateHeapReAllocZeroed(void* block, size_t bytes) {
    // HEAP_ZERO_MEMORY on a reallocation zero-fills only the bytes beyond the old size.
    return HeapReAlloc(privateHeap, HEAP_ZERO_MEMORY, block, bytes);
}

int PrivateHeapFree(void* block) {
    // HeapFree leaves a null block undefined; shutdown paths free blocks they may never have had.
    if (!block || !privateHeap)
        return 0;
    return HeapFree(privateHeap, 0, block) ? 1 : 0;
}

int ScratchHeapInit() {
    scratch.heap = HeapCreate(0, 4096, 0);
    if (!scratch.heap)
        return 0;
    scratch.buffer = HeapAlloc(scratch.heap, 0, 16);
    scratch.size = 16;
    scratch.position = 0;
    return scratch.buffer != nullptr;
}

const ScratchHeap* ScratchHeapGet() { return &scratch; }

uint32_t PlatformTickCount() { return GetTickCount(); }
uint32_t PlatformThreadId() { return GetCurrentThreadId(); }
