// The resampler against Debian's stb resize (v1 API, Mitchell filter, linear colour space) on
// the same pixels in the same run: a 1080p frame shrunk to 800x600 and a VGA frame enlarged to
// 1600x1200, three channels each.
#include "image/resample.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>
#pragma GCC diagnostic pop

namespace {

constexpr int CHANNELS = 3;

std::vector<uint8_t> Photo(int width, int height) {
    // Smooth gradients with noise on top, so that neither side meets only flat runs.
    std::mt19937 rng(1);
    std::vector<uint8_t> pixels(size_t(width) * height * CHANNELS);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < CHANNELS; c++)
                pixels[(size_t(y) * width + x) * CHANNELS + c] =
                    uint8_t((x * (c + 1) + y * (3 - c)) / 8 + rng() % 32);
    return pixels;
}

void RunResample(benchmark::State& state, int sw, int sh, int dw, int dh) {
    const std::vector<uint8_t> src = Photo(sw, sh);
    std::vector<uint8_t> dst(size_t(dw) * dh * CHANNELS);
    for (auto _ : state) {
        if (!ImageResample(src.data(), sw, sh, dst.data(), dw, dh, CHANNELS * 8))
            state.SkipWithError("ImageResample failed");
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(dw) * dh);
}

void RunStb(benchmark::State& state, int sw, int sh, int dw, int dh) {
    const std::vector<uint8_t> src = Photo(sw, sh);
    std::vector<uint8_t> dst(size_t(dw) * dh * CHANNELS);
    for (auto _ : state) {
        if (!stbir_resize_uint8_generic(src.data(), sw, sh, 0, dst.data(), dw, dh, 0, CHANNELS,
                                        STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                                        STBIR_FILTER_MITCHELL, STBIR_COLORSPACE_LINEAR, nullptr))
            state.SkipWithError("stbir_resize_uint8_generic failed");
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(dw) * dh);
}

void BM_ResampleShrink(benchmark::State& state) { RunResample(state, 1920, 1080, 800, 600); }
void BM_StbResizeShrink(benchmark::State& state) { RunStb(state, 1920, 1080, 800, 600); }
void BM_ResampleEnlarge(benchmark::State& state) { RunResample(state, 640, 480, 1600, 1200); }
void BM_StbResizeEnlarge(benchmark::State& state) { RunStb(state, 640, 480, 1600, 1200); }

BENCHMARK(BM_ResampleShrink)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbResizeShrink)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleEnlarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbResizeEnlarge)->Unit(benchmark::kMillisecond);

} // namespace
