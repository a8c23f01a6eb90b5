#include "random/random.h"

#include "core/platform.h"

namespace {

RandomState state; // all zero at load: never seeded

constexpr uint32_t kMultiplier = 2891336453u; // 0xAC564B05

inline uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

void SeedFrom(uint32_t s) {
    for (int k = 0; k < 17; k++) {
        s = s * kMultiplier + 1;
        state.b[k] = s;
        s = s * kMultiplier + 1;
        state.a[k] = s;
    }
    state.i = 0;
    state.j = 10;
    // Warm-up: the first words of a linear congruential seed are poorly mixed.
    for (int k = 0; k < 31; k++)
        RandomStep();
}

} // namespace

RandomWords RandomStep() {
    int32_t i = state.i, j = state.j;
    // Both words of entry i are read before either is written.
    uint32_t x = Rotl(state.b[i], 19) + state.b[j];
    uint32_t y = Rotl(state.a[i], 27) + state.a[j];
    state.a[i] = x;
    state.b[i] = y;
    state.i = i == 0 ? 16 : i - 1;
    state.j = j == 0 ? 16 : j - 1;
    return {x, y};
}

void RandomAutoSeed() {
    // The flag goes up first so that the seeding below cannot seed again.
    state.seeded = 1;
    uint32_t id = PlatformThreadId();
    uint32_t tick = PlatformTickCount();
    SeedFrom(id ^ tick);
}

void RandomSetSeed(uint32_t seed) {
    if (!state.seeded)
        RandomAutoSeed();
    SeedFrom(seed);
}

int32_t RandomUpTo(int32_t max) {
    if (!state.seeded)
        RandomAutoSeed();
    uint32_t m = static_cast<uint32_t>(max) + 1u;
    uint32_t x = RandomStep().x;
    if (m == 0)
        return static_cast<int32_t>(x);
    // Multiply-and-shift instead of a modulo: no division, and the slight bias for an m that is
    // not a power of two is accepted.
    return static_cast<int32_t>((static_cast<uint64_t>(x) * m) >> 32);
}

const RandomState& RandomStateGet() { return state; }
