// Host stand-in for the private heap, used by native builds only. Each block is its own
// malloc allocation so that AddressSanitizer sees every overrun; a list of live blocks lets
// PrivateHeapDestroy free everything at once, as destroying a Win32 heap does.
#include "core/platform.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct alignas(16) BlockHeader {
    BlockHeader* prev;
    BlockHeader* next;
    size_t size;
};

struct HostHeap {
    bool created;
    size_t limit; // 0: no limit
    size_t used;
    BlockHeader* blocks;
};

HostHeap heap;
ScratchHeap scratch;

void Link(BlockHeader* b) {
    b->prev = nullptr;
    b->next = heap.blocks;
    if (heap.blocks)
        heap.blocks->prev = b;
    heap.blocks = b;
}

void Unlink(BlockHeader* b) {
    if (b->prev)
        b->prev->next = b->next;
    else
        heap.blocks = b->next;
    if (b->next)
        b->next->prev = b->prev;
}

bool Fits(size_t oldBytes, size_t newBytes) {
    if (newBytes > SIZE_MAX - sizeof(BlockHeader))
        return false;
    return heap.limit == 0 || heap.used - oldBytes + newBytes <= heap.limit;
}

} // namespace

int PrivateHeapCreate(size_t maximumBytes) {
    heap = HostHeap{true, maximumBytes, 0, nullptr};
    return 1;
}

void PrivateHeapDestroy() {
    while (heap.blocks) {
        BlockHeader* b = heap.blocks;
        heap.blocks = b->next;
        std::free(b);
    }
    heap = HostHeap{};
}

void* PrivateHeapAlloc(size_t bytes) {
    if (!heap.created || !Fits(0, bytes))
        return nullptr;
    auto* b = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (!b)
        return nullptr;
    b->size = bytes;
    heap.used += bytes;
    Link(b);
    return b + 1;
}

void* PrivateHeapAllocZeroed(size_t bytes) {
    void* p = PrivateHeapAlloc(bytes);
    if (p)
        std::memset(p, 0, bytes);
    return p;
}

void* PrivateHeapReAllocZeroed(void* block, size_t bytes) {
    if (!block)
        return nullptr;
    BlockHeader* old = static_cast<BlockHeader*>(block) - 1;
    size_t oldBytes = old->size;
    if (!heap.created || !Fits(oldBytes, bytes))
        return nullptr;
    Unlink(old);
    auto* b = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + bytes));
    if (!b) {
        Link(old);
        return nullptr;
    }
    if (bytes > oldBytes)
        std::memset(reinterpret_cast<char*>(b + 1) + oldBytes, 0, bytes - oldBytes);
    b->size = bytes;
    heap.used = heap.used - oldBytes + bytes;
    Link(b);
    return b + 1;
}

int PrivateHeapFree(void* block) {
    if (!block || !heap.created)
        return 0;
    BlockHeader* b = static_cast<BlockHeader*>(block) - 1;
    Unlink(b);
    heap.used -= b->size;
    std::free(b);
    return 1;
}

int ScratchHeapInit() {
    // The host has no second heap to make; the buffer is a plain allocation kept for the life
    // of the process, as on Windows.
    static unsigned char buffer[16];
    scratch.heap = buffer;
    scratch.buffer = buffer;
    scratch.size = 16;
    scratch.position = 0;
    return 1;
}

const ScratchHeap* ScratchHeapGet() { return &scratch; }

uint32_t PlatformTickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000u + ts.tv_nsec / 1000000);
}

uint32_t PlatformThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }
