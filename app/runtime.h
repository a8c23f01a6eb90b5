// The runtime's start-up and shutdown: every subsystem's start-up routine, each once, in the
// one order they depend on, and the shutdown routines in theirs. The main routine and the test
// fixtures both go through here, so the order is written down once. The private heap is made
// before start-up and destroyed after shutdown by the caller (tests use fixed-size heaps).
#pragma once

#include <cstdint>

// The runtime's subsystems, for a test that needs only some of them. Each comes with its own
// start-up and shutdown routines, run in the runtime's order.
enum RuntimePart : uint32_t {
    RUNTIME_SCRATCH_HEAP = 1u << 0,     // ScratchHeapInit; the scratch heap is never released
    RUNTIME_DECODERS = 1u << 1,         // the decoder registry with the BMP decoder in it
    RUNTIME_SYSTEM_LIBRARIES = 1u << 2, // msimg32.dll's AlphaBlend
    RUNTIME_IMAGES = 1u << 3,           // the image registry; its images are freed at shutdown
    RUNTIME_DRAWING = 1u << 4,          // drawing sessions
    RUNTIME_GADGETS = 1u << 5,          // the gadget registry and list state
    RUNTIME_WINDOWS = 1u << 6,          // the event queue, the windows, events and sizing
    // Started by its user (the main routine calls ScreenInit once image 0 exists), shut down
    // with the rest.
    RUNTIME_SCREEN = 1u << 7,
    RUNTIME_ALL = 0xFFu,
};

// Needs the private heap. Each routine relies on the ones before it: the BMP decoder registers
// into the decoder registry, and the window layer's records come from the gadget and event
// state made just before it.
void RuntimeStartup();

// Closes every window first (its procedure still uses the gadget and event state), then the
// subsystems that the windows used. Every shutdown routine forgets the records it owned, so a
// later start-up in the same process never sees a pointer into a destroyed heap.
void RuntimeShutdown();

// The same for the given parts (RuntimePart bits) alone, in the same order.
void RuntimeStartupParts(uint32_t parts);
void RuntimeShutdownParts(uint32_t parts);
