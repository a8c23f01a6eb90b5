// The process-wide pseudo-random generator: a rotated lagged-Fibonacci generator on pairs of
// 32-bit words (a ring of 17, lag 10, rotations by 19 and 27) seeded by a linear congruential
// sequence. A given seed fixes the whole sequence; without one the generator seeds itself from
// the thread id and the tick count on first use.
#pragma once

#include <cstdint>

// 0..max inclusive, max read as unsigned; RandomUpTo(-1) returns a whole 32-bit word.
int32_t RandomUpTo(int32_t max);
// Replaces the whole state by the one the seed determines.
void RandomSetSeed(uint32_t seed);
void RandomAutoSeed();

struct RandomWords {
    uint32_t x; // what every caller uses
    uint32_t y; // kept only in the state
};
RandomWords RandomStep();

struct RandomState {
    int32_t i; // entry updated by the next step
    int32_t j; // entry added in; always (i + 10) mod 17 after seeding
    uint32_t a[17];
    uint32_t b[17];
    int32_t seeded;
};
// Read-only view for tests and diagnostics.
const RandomState& RandomStateGet();
