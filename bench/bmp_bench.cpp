// The BMP decoder against Debian's stb_image on the same 1920x1080 files in memory, in the same
// run: 24 bits and 8 bits (plain). stb cannot read RLE8, so that one stands alone. Throughput is
// in bytes of 24-bit output per second.
#include "core/platform.h"
#include "image/bmp.h"
#include "image/decoder.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int WIDTH = 1920;
constexpr int HEIGHT = 1080;

void Put(Bytes& b, size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; i++)
        b[at + i] = uint8_t(v >> (8 * i));
}

Bytes Header(uint16_t bits, uint32_t compression, uint32_t colours, size_t pixelBytes) {
    Bytes b(54 + 4 * colours);
    b[0] = 'B';
    b[1] = 'M';
    Put(b, 2, uint32_t(b.size() + pixelBytes), 4);
    Put(b, 10, uint32_t(b.size()), 4);
    Put(b, 14, 40, 4);
    Put(b, 18, WIDTH, 4);
    Put(b, 22, HEIGHT, 4);
    Put(b, 26, 1, 2);
    Put(b, 28, bits, 2);
    Put(b, 30, compression, 4);
    Put(b, 46, colours, 4);
    for (uint32_t i = 0; i < colours; i++)
        Put(b, 54 + 4 * i, (i * 0x9E3779B1u) & 0xFFFFFF, 4);
    return b;
}

// Smooth gradients with noise, as a photograph gives.
Bytes Photo24() {
    std::mt19937 rng(1);
    const size_t stride = (WIDTH * 3 + 3) & ~size_t(3);
    Bytes px(stride * HEIGHT);
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH * 3; x++)
            px[y * stride + x] = uint8_t((x / 3 + y * (x % 3 + 1)) / 8 + rng() % 32);
    Bytes b = Header(24, 0, 0, px.size());
    b.insert(b.end(), px.begin(), px.end());
    return b;
}

// Palette indices of a quantised picture: regions of one index broken by noise.
Bytes Indices() {
    std::mt19937 rng(2);
    Bytes px(size_t(WIDTH) * HEIGHT);
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++)
            px[size_t(y) * WIDTH + x] =
                uint8_t(rng() % 8 == 0 ? rng() % 256 : (x / 24 + y / 16 * 7) % 256);
    return px;
}

Bytes Palette8() {
    const Bytes idx = Indices();
    Bytes b = Header(8, 0, 256, idx.size()); // 1920 is a multiple of 4: no padding
    b.insert(b.end(), idx.begin(), idx.end());
    return b;
}

// The way common writers encode: runs of 2 or more as runs, stretches of single pixels as
// absolute runs (3 or more) or single runs, and every line closed by an end-of-line code.
Bytes Rle8() {
    const Bytes idx = Indices();
    Bytes s;
    for (int y = 0; y < HEIGHT; y++) {
        const uint8_t* row = &idx[size_t(y) * WIDTH];
        int x = 0;
        while (x < WIDTH) {
            int run = 1;
            while (x + run < WIDTH && run < 255 && row[x + run] == row[x])
                run++;
            if (run >= 2) {
                s.push_back(uint8_t(run));
                s.push_back(row[x]);
                x += run;
                continue;
            }
            int lit = 1;
            while (x + lit < WIDTH && lit < 255 &&
                   !(x + lit + 1 < WIDTH && row[x + lit] == row[x + lit + 1]))
                lit++;
            if (lit < 3) {
                for (int i = 0; i < lit; i++) {
                    s.push_back(1);
                    s.push_back(row[x + i]);
                }
            } else {
                s.push_back(0);
                s.push_back(uint8_t(lit));
                s.insert(s.end(), row + x, row + x + lit);
                if (lit & 1)
                    s.push_back(0);
            }
            x += lit;
        }
        s.push_back(0);
        s.push_back(0);
    }
    s.push_back(0);
    s.push_back(1);
    Bytes b = Header(8, 1, 256, s.size());
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

void RunDecode(benchmark::State& state, const Bytes& file) {
    PrivateHeapCreate(0);
    DecoderRegistryInit();
    BmpDecoderRegister();
    const int32_t pitch = WIDTH * 3;
    Bytes dst(size_t(pitch) * HEIGHT);
    DecoderContext* ctx = DecoderContextGet();
    for (auto _ : state) {
        ctx->inMemory = 1;
        ctx->memory = file.data();
        ctx->memorySize = file.size();
        if (!DecoderFind()) {
            state.SkipWithError("refused");
            break;
        }
        // Bottom-up destination, as a loader passes a DIB section.
        ctx->decoder->decode(ctx, dst.data() + size_t(pitch) * (HEIGHT - 1), -pitch, 0);
        DecoderClose();
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    PrivateHeapDestroy();
    state.SetBytesProcessed(state.iterations() * int64_t(WIDTH) * HEIGHT * 3);
}

void RunStb(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* px = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 3);
        if (!px) {
            state.SkipWithError("stb refused");
            break;
        }
        benchmark::DoNotOptimize(px);
        stbi_image_free(px);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(WIDTH) * HEIGHT * 3);
}

const Bytes& File24() {
    static const Bytes f = Photo24();
    return f;
}
const Bytes& File8() {
    static const Bytes f = Palette8();
    return f;
}
const Bytes& FileRle8() {
    static const Bytes f = Rle8();
    return f;
}

void BM_BmpDecode24(benchmark::State& state) { RunDecode(state, File24()); }
void BM_StbBmp24(benchmark::State& state) { RunStb(state, File24()); }
void BM_BmpDecode8(benchmark::State& state) { RunDecode(state, File8()); }
void BM_StbBmp8(benchmark::State& state) { RunStb(state, File8()); }
void BM_BmpDecodeRle8(benchmark::State& state) {
    // The encoded file must decode to the same picture as the plain one, or the figure means
    // nothing.
    Bytes plain, rle;
    for (auto [file, out] : {std::pair{&File8(), &plain}, std::pair{&FileRle8(), &rle}}) {
        PrivateHeapCreate(0);
        DecoderRegistryInit();
        BmpDecoderRegister();
        DecoderContext* ctx = DecoderContextGet();
        ctx->inMemory = 1;
        ctx->memory = file->data();
        ctx->memorySize = file->size();
        out->assign(size_t(WIDTH) * HEIGHT * 3, 0);
        if (DecoderFind())
            ctx->decoder->decode(ctx, out->data(), WIDTH * 3, 0);
        DecoderClose();
        PrivateHeapDestroy();
    }
    if (plain != rle) {
        state.SkipWithError("RLE8 file decodes differently from the plain one");
        return;
    }
    RunDecode(state, FileRle8());
}

BENCHMARK(BM_BmpDecode24)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StbBmp24)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BmpDecode8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StbBmp8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BmpDecodeRle8)->Unit(benchmark::kMicrosecond);

} // namespace
