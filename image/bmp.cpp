#include "image/bmp.h"

#include "core/platform.h"

#include <cstring>

// Palette words are stored whole and their first three bytes are blue, green and red: that
// holds on the little-endian machines this runs on (x86 and the hosts that test it).
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the pixel stores assume a little-endian machine"
#endif

namespace {

constexpr uint16_t BMP_MAGIC = 0x4D42; // "BM"
constexpr uint32_t COMPRESSION_RLE8 = 1;
constexpr uint32_t COMPRESSION_RLE4 = 2;

DecoderDescriptor bmpDescriptor;

// Little-endian reads; callers have checked that the bytes lie inside the source.
inline uint32_t Read16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void Put3(uint8_t* out, uint32_t bgr) {
    out[0] = uint8_t(bgr);
    out[1] = uint8_t(bgr >> 8);
    out[2] = uint8_t(bgr >> 16);
}

int32_t Refuse(DecoderContext* context) {
    if (context->decoderBuffer) {
        PrivateHeapFree(context->decoderBuffer);
        context->decoderBuffer = nullptr;
    }
    context->decoderData = nullptr;
    context->dataSize = 0;
    return 0;
}

// Bytes of one stored row, padded to 4. Width and bit count are bounded by the caller, so this
// cannot overflow 64 bits.
inline uint64_t StoredRowBytes(int32_t width, uint32_t bits) {
    return (uint64_t(width) * bits + 31) / 32 * 4;
}

// The colour table as blue | green << 8 | red << 16. Entries past the end of the source are
// black, and so are indices beyond what the bit count can reach.
void LoadPalette(const uint8_t* src, size_t size, uint32_t bits, uint32_t palette[256]) {
    std::memset(palette, 0, 256 * sizeof(uint32_t));
    const uint64_t start = 14 + uint64_t(Read32(src + 14));
    const uint32_t entries = 1u << bits;
    for (uint32_t i = 0; i < entries; i++) {
        const uint64_t at = start + uint64_t(i) * 4;
        if (at + 3 > size)
            break;
        palette[i] = uint32_t(src[at]) | uint32_t(src[at + 1]) << 8 | uint32_t(src[at + 2]) << 16;
    }
}

// Row converters: write exactly `pixels` pixels, reading only the bytes those pixels occupy.
// Wide stores never reach past the last pixel: the tails are finished 3 bytes at a time.
void Row1(const uint8_t* in, uint8_t* out, int32_t pixels) {
    for (int32_t i = 0; i < pixels; i++) {
        const uint8_t v = (in[i >> 3] >> (7 - (i & 7))) & 1 ? 255 : 0;
        out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = v;
    }
}

void Row4(const uint8_t* in, uint8_t* out, int32_t pixels, const uint32_t* palette) {
    for (int32_t i = 0; i < pixels; i++) {
        const uint8_t b = in[i >> 1];
        Put3(out + 3 * i, palette[i & 1 ? b & 15 : b >> 4]);
    }
}

void Row8(const uint8_t* in, uint8_t* out, int32_t pixels, const uint32_t* palette) {
    // Four pixels are twelve bytes: one 64-bit and one 32-bit store.
    int32_t i = 0;
    for (; i + 4 <= pixels; i += 4) {
        const uint64_t p0 = palette[in[i]], p1 = palette[in[i + 1]];
        const uint64_t p2 = palette[in[i + 2]];
        const uint32_t p3 = palette[in[i + 3]];
        const uint64_t low = p0 | p1 << 24 | p2 << 48;
        const uint32_t high = uint32_t(p2 >> 16) | p3 << 8;
        std::memcpy(out + 3 * i, &low, 8);
        std::memcpy(out + 3 * i + 8, &high, 4);
    }
    for (; i < pixels; i++)
        Put3(out + 3 * i, palette[in[i]]);
}

void Row16(const uint8_t* in, uint8_t* out, int32_t pixels) {
    for (int32_t i = 0; i < pixels; i++) {
        const uint32_t v = Read16(in + 2 * i);
        out[3 * i] = uint8_t((v & 31) << 3);
        out[3 * i + 1] = uint8_t(((v >> 5) & 31) << 3);
        out[3 * i + 2] = uint8_t(((v >> 10) & 31) << 3);
    }
}

void Row32(const uint8_t* in, uint8_t* out, int32_t pixels) {
    int32_t i = 0;
    for (; i + 1 < pixels; i++)
        std::memcpy(out + 3 * i, in + 4 * i, 4);
    if (i < pixels)
        std::memcpy(out + 3 * i, in + 4 * i, 3);
}

// Run-length 8-bit data. Lines count from the bottom. Nothing here trusts the stream: runs,
// absolute runs and deltas that reach past the row are clipped to it (ordinary writers end
// each line with a run over the row padding), lines past the top stop the decoding, and a
// stream that ends early simply stops.
//
// Runs are short and of every length, so a line is first gathered as palette indices, where a
// run is a few wide stores that may overshoot into the slack, and each stretch written
// without a gap (from a line start or a delta up to the next code that moves the position) is
// then converted in one pass. Pixels that the stream skips stay untouched.
void DecodeRle8(const uint8_t* src, size_t size, uint64_t pos, int32_t width, int32_t height,
                const uint32_t* palette, uint8_t* destination, ptrdiff_t pitch) {
    uint8_t line[BMP_MAX_DIMENSION + 256 + 32];
    int32_t x = 0;
    int32_t y = 0;
    int32_t stretch = 0; // where the stretch being gathered began
    uint8_t* row = destination + ptrdiff_t(height - 1) * pitch;
    auto flush = [&] {
        if (x > stretch)
            Row8(line + stretch, row + 3 * ptrdiff_t(stretch), x - stretch, palette);
    };
    while (pos + 2 <= size) {
        const uint32_t count = src[pos];
        const uint32_t value = src[pos + 1];
        pos += 2;
        if (count) {
            if (x < width) {
                const uint64_t splat = value * 0x0101010101010101ull;
                uint8_t* out = line + x;
                for (uint32_t at = 0; at < count; at += 32) {
                    std::memcpy(out + at, &splat, 8);
                    std::memcpy(out + at + 8, &splat, 8);
                    std::memcpy(out + at + 16, &splat, 8);
                    std::memcpy(out + at + 24, &splat, 8);
                }
            }
            x = x + int32_t(count) < width ? x + int32_t(count) : width;
            continue;
        }
        if (value == 0) {
            flush();
            x = stretch = 0;
            if (++y >= height)
                return;
            row -= pitch;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            flush();
            if (pos + 2 > size)
                return;
            const int32_t dx = src[pos];
            const int32_t dy = src[pos + 1];
            pos += 2;
            x = stretch = x + dx < width ? x + dx : width;
            y += dy;
            if (y >= height)
                return;
            row -= ptrdiff_t(dy) * pitch;
        } else {
            const int32_t available = int32_t(size - pos < value ? size - pos : value);
            const int32_t end = x + available < width ? x + available : width;
            if (end > x)
                std::memcpy(line + x, src + pos, size_t(end - x));
            x = end;
            if (uint32_t(available) < value)
                break;
            pos += value + (value & 1);
        }
    }
    flush();
}

} // namespace

int32_t BmpDecoderRegister() {
    bmpDescriptor.check = BmpCheck;
    bmpDescriptor.decode = BmpDecode;
    bmpDescriptor.cleanup = BmpCleanup;
    return DecoderRegister(&bmpDescriptor);
}

int32_t BmpCheck(DecoderContext* context) {
    if (!context)
        return 0;
    context->decoderData = nullptr;
    context->dataSize = 0;
    const uint8_t* start;
    size_t size;
    size_t fileLength = 0;
    if (context->inMemory) {
        if (!context->memory || context->memorySize < 14)
            return Refuse(context);
        start = context->memory;
        size = context->memorySize;
    } else {
        FILE* file = context->file;
        if (!file || std::fseek(file, 0, SEEK_END) != 0)
            return Refuse(context);
        const long length = std::ftell(file);
        if (length < 14 || uint64_t(length) > BMP_MAX_FILE_BYTES ||
            std::fseek(file, 0, SEEK_SET) != 0)
            return Refuse(context);
        fileLength = size_t(length);
        auto* block = static_cast<uint8_t*>(PrivateHeapAlloc(fileLength));
        if (!block)
            return Refuse(context);
        context->decoderBuffer = block;
        // A file can shrink between ftell and fread; only the bytes actually read count.
        if (std::fread(block, 1, 14, file) != 14)
            return Refuse(context);
        start = block;
        size = 14;
    }
    if (Read16(start) != BMP_MAGIC || Read16(start + 6) != 0 || Read16(start + 8) != 0)
        return Refuse(context);
    if (!context->inMemory) {
        auto* block = static_cast<uint8_t*>(context->decoderBuffer);
        size += std::fread(block + 14, 1, fileLength - 14, context->file);
    }
    // Each refusal below is a picture a loader could not hold, or a header that is not there.
    if (size < BMP_HEADER_BYTES)
        return Refuse(context);
    const int32_t width = int32_t(Read32(start + 18));
    const int32_t height = int32_t(Read32(start + 22));
    if (width < 0 || width > BMP_MAX_DIMENSION)
        return Refuse(context);
    if (height < -BMP_MAX_DIMENSION || height > BMP_MAX_DIMENSION)
        return Refuse(context);
    const uint64_t rows = uint64_t(height < 0 ? -int64_t(height) : height);
    if ((uint64_t(width) * 3 + 3) / 4 * 4 * rows > BMP_MAX_IMAGE_BYTES)
        return Refuse(context);
    context->width = width;
    context->height = height;
    context->decoderData = start;
    context->dataSize = size;
    context->sourceDepth = int32_t(Read16(start + 28));
    context->depth = 24;
    return 1;
}

int32_t BmpCleanup(DecoderContext* context) {
    if (!context || !context->decoderBuffer)
        return 0;
    const int32_t released = PrivateHeapFree(context->decoderBuffer);
    context->decoderBuffer = nullptr;
    return released;
}

int32_t BmpDecode(DecoderContext* context, uint8_t* destination, int32_t pitch, int32_t reserved) {
    (void)reserved;
    if (!context || !destination || !context->decoderData || context->dataSize < BMP_HEADER_BYTES)
        return 1;
    const uint8_t* src = context->decoderData;
    const size_t size = context->dataSize;
    // The destination was made from the context's size, which check bounded; the file's own
    // fields are not consulted again for it.
    const int32_t width = context->width;
    const int32_t height = context->height;
    if (width <= 0 || width > BMP_MAX_DIMENSION || height <= 0 || height > BMP_MAX_DIMENSION)
        return 1;
    const uint32_t bits = Read16(src + 28);
    const uint32_t compression = Read32(src + 30);
    const uint64_t pixelOffset = Read32(src + 10);
    if (pixelOffset >= size)
        return 1;
    uint32_t palette[256];
    if (bits == 8 && compression == COMPRESSION_RLE8) {
        LoadPalette(src, size, 8, palette);
        DecodeRle8(src, size, pixelOffset, width, height, palette, destination, pitch);
        return 1;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return 1;
    if (bits == 4 && compression == COMPRESSION_RLE4)
        return 1;
    if (bits == 4 || bits == 8)
        LoadPalette(src, size, bits, palette);
    const uint64_t rowBytes = StoredRowBytes(width, bits);
    // Rows run bottom-up; a row cut short by the end of the source gives the whole pixels it
    // holds, and the rows after it give none.
    uint64_t at = pixelOffset;
    for (int32_t k = 0; k < height && at < size; k++, at += rowBytes) {
        const uint64_t available = size - at < rowBytes ? size - at : rowBytes;
        const uint64_t whole = available * 8 / bits;
        const int32_t pixels = whole < uint64_t(width) ? int32_t(whole) : width;
        const uint8_t* in = src + at;
        uint8_t* out = destination + ptrdiff_t(height - 1 - k) * pitch;
        switch (bits) {
        case 1:
            Row1(in, out, pixels);
            break;
        case 4:
            Row4(in, out, pixels, palette);
            break;
        case 8:
            Row8(in, out, pixels, palette);
            break;
        case 16:
            Row16(in, out, pixels);
            break;
        case 24:
            std::memcpy(out, in, size_t(pixels) * 3);
            break;
        case 32:
            Row32(in, out, pixels);
            break;
        }
    }
    return 1;
}
