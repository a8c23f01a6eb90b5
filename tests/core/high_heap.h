// A private heap whose blocks all lie above 4 GiB, for the cases where a handle, a pointer or an
// object number must keep its upper half: records made there have numbers that no 32-bit
// integer can hold. Only where addresses are wider than 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>

#if INTPTR_MAX > INT32_MAX

#include "core/platform.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

constexpr uintptr_t FOUR_GIB = uintptr_t(1) << 32;

// A fixed-size heap of the given size. On Windows the heap reserves its whole range when it is
// made: every free range below 4 GiB is reserved first, so that the heap's range can only lie
// above, and given back afterwards. The host's allocator already hands out addresses above
// 4 GiB; PrivateHeapIsAboveFourGiB checks that premise rather than trusting it.
inline int PrivateHeapCreateAboveFourGiB(size_t bytes) {
#ifdef _WIN32
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const uintptr_t granularity = system.dwAllocationGranularity;
    std::vector<void*> held;
    MEMORY_BASIC_INFORMATION region;
    for (uintptr_t at = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
         at < FOUR_GIB; at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize) {
        if (!VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region))
            break;
        if (region.State != MEM_FREE)
            continue;
        // A reservation starts on the allocation granularity: the part of a free range before
        // the first such boundary cannot be reserved, and is too small for a heap anyway.
        uintptr_t start = reinterpret_cast<uintptr_t>(region.BaseAddress);
        uintptr_t end = start + region.RegionSize;
        start = (start + granularity - 1) & ~(granularity - 1);
        if (end > FOUR_GIB)
            end = FOUR_GIB;
        if (start >= end)
            continue;
        if (void* reserved = VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESERVE,
                                          PAGE_NOACCESS))
            held.push_back(reserved);
    }
    int made = PrivateHeapCreate(bytes);
    for (void* reserved : held)
        VirtualFree(reserved, 0, MEM_RELEASE);
    return made;
#else
    return PrivateHeapCreate(bytes);
#endif
}

// Whether a block of the private heap lies above 4 GiB.
inline bool PrivateHeapIsAboveFourGiB() {
    void* block = PrivateHeapAlloc(1);
    bool above = reinterpret_cast<uintptr_t>(block) >= FOUR_GIB;
    PrivateHeapFree(block);
    return above;
}

#endif
