// libFuzzer target for the BMP decoder: every input goes through check and close as a memory
// source and as a stdio file, and through decode from one of them. The destination is fenced with
// guard bytes after every row and after the picture, so a write outside the picture traps even
// where it would land inside the allocation.
#include "core/platform.h"
#include "image/bmp.h"
#include "image/decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t GUARD = 0x5A;
constexpr int32_t SIDE = 4;
// Pictures above this are accepted by check but not decoded here: they would only slow the
// search down; the arithmetic that sizes them is covered by the limits check enforces.
constexpr uint64_t MAX_FUZZ_DESTINATION = 64u << 10;

void DecodeGuarded(DecoderContext* ctx, bool bottomUp) {
    const int32_t rows = ctx->height < 0 ? -ctx->height : ctx->height;
    const int32_t pitch = 3 * ctx->width + SIDE;
    const uint64_t bytes = uint64_t(pitch) * (uint64_t(rows) + 1);
    if (bytes > MAX_FUZZ_DESTINATION)
        return;
    std::vector<uint8_t> store(bytes, GUARD);
    for (int32_t r = 0; r < rows; r++)
        std::memset(&store[size_t(pitch) * r], 0, size_t(3) * ctx->width);
    uint8_t* top = store.data();
    if (bottomUp && rows > 0)
        ctx->decoder->decode(ctx, top + size_t(pitch) * (rows - 1), -pitch, 0);
    else
        ctx->decoder->decode(ctx, top, pitch, 0);
    // Picture rows occupy the first 3 * width bytes of each memory row; the rest of every row
    // and the extra row after the last are guard bytes.
    const size_t rowBytes = size_t(3) * ctx->width;
    for (int32_t r = 0; r < rows; r++)
        for (size_t i = rowBytes; i < size_t(pitch); i++)
            if (store[size_t(pitch) * r + i] != GUARD)
                __builtin_trap();
    for (size_t i = size_t(pitch) * rows; i < bytes; i++)
        if (store[i] != GUARD)
            __builtin_trap();
}

void Run(DecoderContext* ctx, bool decode, bool bottomUp) {
    if (DecoderFind()) {
        if (ctx->depth != 24 || ctx->width < 0 || ctx->width > BMP_MAX_DIMENSION ||
            ctx->height < -BMP_MAX_DIMENSION || ctx->height > BMP_MAX_DIMENSION)
            __builtin_trap();
        if (decode)
            DecodeGuarded(ctx, bottomUp);
    } else if (ctx->decoderBuffer) {
        __builtin_trap(); // a refusal must leave no buffer behind
    }
    DecoderClose();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PrivateHeapCreate(0);
    DecoderRegistryInit();
    BmpDecoderRegister();
    DecoderContext* ctx = DecoderContextGet();
    // Both sources give the decoder the same bytes, so one decode per input is enough; the last
    // byte picks which source decodes and the destination's orientation.
    const uint8_t last = size > 0 ? data[size - 1] : 0;
    const bool bottomUp = last & 1;
    const bool fromFile = last & 2;

    ctx->inMemory = 1;
    ctx->memory = data;
    ctx->memorySize = size;
    ctx->file = nullptr;
    Run(ctx, !fromFile, bottomUp);

    if (size > 0) {
        FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
        if (f) {
            ctx->inMemory = 0;
            ctx->memory = nullptr;
            ctx->memorySize = 0;
            ctx->file = f;
            Run(ctx, fromFile, bottomUp); // DecoderClose closes the stream
        }
    }
    PrivateHeapDestroy();
    return 0;
}
