// Shared by the BMP tests: a fixture with the private heap and the decoder registry, a writer of
// small BMP files, and a decode into a destination fenced with guard bytes on every side, so a
// write outside the picture fails the test on every platform, not only under AddressSanitizer.
#pragma once

#include "core/platform.h"
#include "image/bmp.h"
#include "image/decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

using Bytes = std::vector<uint8_t>;

class BmpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PrivateHeapCreate(0), 1);
        ASSERT_EQ(DecoderRegistryInit(), 1);
        ASSERT_EQ(BmpDecoderRegister(), 1);
    }
    void TearDown() override { PrivateHeapDestroy(); }
};

inline void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++)
        b[at + i] = uint8_t(v >> (8 * i));
}

struct BmpLayout {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> palette; // 0x00RRGGBB
    Bytes pixels;                  // stored exactly as given, rows padded by the caller
};

// BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER, the palette as RGBQUADs, then the pixels.
inline Bytes MakeBmp(const BmpLayout& s) {
    Bytes b(54 + 4 * s.palette.size());
    b[0] = 'B';
    b[1] = 'M';
    const uint32_t offset = uint32_t(b.size());
    Put32(b, 2, uint32_t(offset + s.pixels.size()));
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(s.width));
    Put32(b, 22, uint32_t(s.height));
    Put16(b, 26, 1);
    Put16(b, 28, s.bits);
    Put32(b, 30, s.compression);
    Put32(b, 46, uint32_t(s.palette.size()));
    for (size_t i = 0; i < s.palette.size(); i++)
        Put32(b, 54 + 4 * i, s.palette[i]);
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    return b;
}

// Points the loader's context at a memory source or at a stream.
inline DecoderContext* UseMemory(const uint8_t* data, size_t size) {
    DecoderContext* ctx = DecoderContextGet();
    ctx->inMemory = 1;
    ctx->memory = data;
    ctx->memorySize = size;
    ctx->file = nullptr;
    return ctx;
}
inline DecoderContext* UseMemory(const Bytes& b) { return UseMemory(b.data(), b.size()); }
inline DecoderContext* UseFile(FILE* f) {
    DecoderContext* ctx = DecoderContextGet();
    ctx->inMemory = 0;
    ctx->file = f;
    return ctx;
}

constexpr uint8_t GUARD = 0xA5;
constexpr uint8_t FRESH = 0x11; // what an undecoded destination pixel holds

// width x rows pixels, each row followed by guard bytes, with guard rows above and below.
struct GuardedImage {
    int32_t width;
    int32_t rows;
    int32_t pitch;
    Bytes store;
    static constexpr int32_t SIDE = 8;

    GuardedImage(int32_t w, int32_t h) : width(w), rows(h), pitch(3 * w + SIDE) {
        store.assign(size_t(pitch) * (rows + 2), GUARD);
        for (int32_t r = 0; r < rows; r++)
            std::memset(Row(r), FRESH, size_t(3) * width);
    }
    uint8_t* Row(int32_t r) { return store.data() + size_t(pitch) * (r + 1); }
    const uint8_t* Pixel(int32_t x, int32_t y) const {
        return store.data() + size_t(pitch) * (y + 1) + 3 * x;
    }
    // Every byte outside the picture still holds the guard value.
    bool GuardsIntact() const {
        for (size_t i = 0; i < store.size(); i++) {
            const int64_t row = int64_t(i / pitch) - 1;
            const size_t col = i % pitch;
            const bool inside = row >= 0 && row < rows && col < size_t(3) * width;
            if (!inside && store[i] != GUARD)
                return false;
        }
        return true;
    }
    // The picture, top row first, 3 bytes per pixel.
    Bytes Picture() const {
        Bytes out;
        for (int32_t r = 0; r < rows; r++)
            out.insert(out.end(), Pixel(0, r), Pixel(0, r) + 3 * width);
        return out;
    }
};

// Checks a memory source and decodes it the way a loader does for a bottom-up DIB section:
// destination = last row in memory, negative pitch; or top-down with a positive pitch.
struct Decoded {
    bool accepted = false;
    GuardedImage image{0, 0};
};

inline Decoded DecodeMemory(const Bytes& file, bool bottomUpDestination = true) {
    Decoded d;
    DecoderContext* ctx = UseMemory(file);
    if (!DecoderFind())
        return d;
    d.accepted = true;
    const int32_t rows = ctx->height < 0 ? -ctx->height : ctx->height;
    d.image = GuardedImage(ctx->width, rows);
    if (bottomUpDestination) {
        // Memory order reversed: picture row 0 is the last row in memory.
        GuardedImage flipped(ctx->width, rows);
        uint8_t* last = rows ? flipped.Row(rows - 1) : flipped.Row(0);
        EXPECT_EQ(ctx->decoder->decode(ctx, last, -flipped.pitch, 0), 1);
        for (int32_t r = 0; r < rows; r++)
            std::memcpy(d.image.Row(r), flipped.Row(rows - 1 - r), size_t(3) * ctx->width);
        EXPECT_TRUE(flipped.GuardsIntact());
    } else {
        EXPECT_EQ(ctx->decoder->decode(ctx, d.image.Row(0), d.image.pitch, 0), 1);
    }
    DecoderClose();
    return d;
}
