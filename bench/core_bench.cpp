// The runtime core and the generator against the obvious alternatives, in one run so that
// the ratios mean something on whatever machine runs them.
#include "core/platform.h"
#include "core/pool.h"
#include "core/registry.h"
#include "random/random.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

// --- random numbers: one draw reduced to 0..770 by x * m >> 32 in every case ---
// Every generator is measured as RandomUpTo is used: process-wide state behind an out-of-line
// call. A generator inlined into the loop with its state in registers would measure the
// compiler's register allocation, not the generator.

uint32_t Reduce(uint32_t x, uint32_t m) {
    return static_cast<uint32_t>((static_cast<uint64_t>(x) * m) >> 32);
}

void BM_RandomUpTo(benchmark::State& state) {
    RandomSetSeed(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(RandomUpTo(770));
}
BENCHMARK(BM_RandomUpTo);

struct Xoshiro128pp {
    uint32_t s[4] = {1, 2, 3, 4};
    static uint32_t Rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }
    uint32_t Next() {
        uint32_t result = Rotl(s[0] + s[3], 7) + s[0];
        uint32_t t = s[1] << 9;
        s[2] ^= s[0];
        s[3] ^= s[1];
        s[1] ^= s[2];
        s[0] ^= s[3];
        s[2] ^= t;
        s[3] = Rotl(s[3], 11);
        return result;
    }
};

Xoshiro128pp xoshiro;
std::mt19937 mt(1);

__attribute__((noinline)) uint32_t XoshiroUpTo(uint32_t max) {
    return Reduce(xoshiro.Next(), max + 1);
}

__attribute__((noinline)) uint32_t MtUpTo(uint32_t max) {
    return Reduce(static_cast<uint32_t>(mt()), max + 1);
}

void BM_Xoshiro128pp(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(XoshiroUpTo(770));
}
BENCHMARK(BM_Xoshiro128pp);

void BM_Mt19937(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(MtUpTo(770));
}
BENCHMARK(BM_Mt19937);

// --- small elements: 24-byte records, 64 live, one given back and one taken per iteration ---
// The live set is made the way a running program leaves it: 80 taken, every fifth given back,
// so that blocks have free slots scattered through them (both allocators see the same history).

constexpr int kLive = 64;

template <typename Take, typename Give> std::vector<void*> Scatter(Take take, Give give) {
    std::vector<void*> all, live;
    for (int i = 0; i < kLive + kLive / 4; i++)
        all.push_back(take());
    for (size_t i = 0; i < all.size(); i++) {
        if (i % 5 == 4)
            give(all[i]);
        else
            live.push_back(all[i]);
    }
    return live;
}

void BM_PoolTakeGive(benchmark::State& state) {
    PrivateHeapCreate(0);
    ElementPool* pool = PoolCreate(24, 16, 256);
    std::vector<void*> live =
        Scatter([pool] { return PoolTake(pool); }, [pool](void* e) { PoolGive(pool, e); });
    size_t k = 0;
    for (auto _ : state) {
        PoolGive(pool, live[k]);
        live[k] = PoolTake(pool);
        benchmark::DoNotOptimize(live[k]);
        k = (k + 1) % kLive;
    }
    PrivateHeapDestroy();
}
BENCHMARK(BM_PoolTakeGive);

void BM_MallocFree(benchmark::State& state) {
    std::vector<void*> live =
        Scatter([] { return std::malloc(24); }, [](void* e) { std::free(e); });
    size_t k = 0;
    for (auto _ : state) {
        std::free(live[k]);
        live[k] = std::malloc(24);
        benchmark::DoNotOptimize(live[k]);
        k = (k + 1) % kLive;
    }
    for (void* e : live)
        std::free(e);
}
BENCHMARK(BM_MallocFree);

// --- dynamic-number lookup: the cost must not grow with the number of live records ---

void BM_RegistryLookupDynamic(benchmark::State& state) {
    PrivateHeapCreate(0);
    ObjectRegistry* r = RegistryCreate(16, 16, nullptr);
    std::vector<ObjectNumber> numbers;
    for (int64_t i = 0; i < state.range(0); i++) {
        auto* rec = static_cast<uint32_t*>(RegistrySlotFor(r, DYNAMIC_NUMBER));
        rec[0] = 1;
        numbers.push_back(RegistryNumberOf(rec));
    }
    // Visit the records in a scattered order so that the measurement is not one hot line.
    std::vector<ObjectNumber> order;
    for (size_t i = 0; i < 1024; i++)
        order.push_back(numbers[(i * 7919) % numbers.size()]);
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegistryLookup(r, order[k]));
        k = (k + 1) & 1023;
    }
    PrivateHeapDestroy();
}
BENCHMARK(BM_RegistryLookupDynamic)->Arg(10)->Arg(10000);

} // namespace
