// The runtime's start-up and shutdown: every subsystem's start-up routine, each once, in the
// one order they depend on, and the shutdown routines in theirs. The main routine and the test
// fixtures both go through here, so the order is written down once. The private heap is made
// before start-up and destroyed after shutdown by the caller (tests use fixed-size heaps).
#pragma once

// Needs the private heap. Each routine relies on the ones before it: the BMP decoder registers
// into the decoder registry, and the window layer's records come from the gadget and event
// state made just before it.
void RuntimeStartup();

// Closes every window first (its procedure still uses the gadget and event state), then the
// subsystems that the windows used. Every shutdown routine forgets the records it owned, so a
// later start-up in the same process never sees a pointer into a destroyed heap.
void RuntimeShutdown();
