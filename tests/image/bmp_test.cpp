#include "bmp_test_support.h"

#include <cstdio>

namespace {

Bytes Rgb(std::initializer_list<int> v) { return Bytes(v.begin(), v.end()); }

// Grey pixels: each value in all three bytes.
Bytes Grey(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v)
        b.insert(b.end(), 3, uint8_t(x));
    return b;
}

// A stream holding the first length bytes of b.
FILE* TempFile(const Bytes& b, size_t length) {
    FILE* f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    if (f && length)
        std::fwrite(b.data(), 1, length, f);
    return f;
}

// Both destination orders give the same picture and leave the guards alone.
Bytes DecodeBoth(const Bytes& file) {
    Decoded up = DecodeMemory(file, true);
    EXPECT_TRUE(up.accepted);
    Decoded down = DecodeMemory(file, false);
    EXPECT_TRUE(down.image.GuardsIntact());
    EXPECT_EQ(up.image.Picture(), down.image.Picture());
    return down.image.Picture();
}

void SmallHeap() {
    PrivateHeapDestroy();
    ASSERT_EQ(PrivateHeapCreate(4096), 1);
}

// --- The registry ------------------------------------------------------------------------

int32_t RefuseAll(DecoderContext*) { return 0; }
int32_t AcceptAll(DecoderContext*) { return 1; }
int cleanups;
int32_t CountCleanup(DecoderContext*) { return ++cleanups; }

TEST_F(BmpTest, RegistryKeepsOrderAndFindsTheFirstAcceptingDecoder) {
    ASSERT_EQ(DecoderCount(), 1);
    DecoderDescriptor refusing{RefuseAll, nullptr, CountCleanup};
    DecoderDescriptor accepting{AcceptAll, nullptr, CountCleanup};
    DecoderDescriptor later{AcceptAll, nullptr, CountCleanup};
    for (DecoderDescriptor* d : {&refusing, &accepting, &later})
        ASSERT_EQ(DecoderRegister(d), 1);
    EXPECT_EQ(DecoderAt(1), &refusing);
    EXPECT_EQ(DecoderAt(2), &accepting);
    EXPECT_EQ(DecoderAt(3), &later);
    EXPECT_EQ(DecoderAt(4), nullptr);
    EXPECT_EQ(DecoderAt(-1), nullptr);

    // Not a BMP: the BMP decoder refuses, the second registered one accepts.
    const Bytes junk(64, 0x42);
    DecoderContext* ctx = UseMemory(junk);
    EXPECT_EQ(DecoderFind(), &accepting);
    EXPECT_EQ(ctx->decoder, &accepting);
    cleanups = 0;
    DecoderClose();
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(ctx->decoder, nullptr);
    DecoderClose(); // nothing left to clean up
    EXPECT_EQ(cleanups, 1);
}

TEST_F(BmpTest, RegistryRefusesAThirtyFirstDecoder) {
    static DecoderDescriptor extra[DECODER_TABLE_CAPACITY];
    for (int i = 1; i < DECODER_TABLE_CAPACITY; i++)
        ASSERT_EQ(DecoderRegister(&extra[i]), 1) << i;
    EXPECT_EQ(DecoderCount(), DECODER_TABLE_CAPACITY);
    EXPECT_EQ(DecoderRegister(&extra[0]), 0);
    EXPECT_EQ(DecoderCount(), DECODER_TABLE_CAPACITY);
    EXPECT_EQ(DecoderRegister(nullptr), 0);
    // Start-up empties the table again.
    ASSERT_EQ(DecoderRegistryInit(), 1);
    EXPECT_EQ(DecoderCount(), 0);
}

TEST_F(BmpTest, RegistryInitFailsWhenTheHeapRefusesTheContext) {
    SmallHeap();
    // Fill the fixed heap: the platform rounds its size up, so only a refusal tells it is full.
    int blocks = 0;
    while (blocks < 100000 && PrivateHeapAlloc(8))
        blocks++;
    ASSERT_LT(blocks, 100000);
    EXPECT_EQ(DecoderRegistryInit(), 0);
    EXPECT_EQ(DecoderContextGet(), nullptr);
    EXPECT_EQ(DecoderFind(), nullptr);
    DecoderClose(); // no context: nothing to do, nothing to crash on
}

// --- Check -------------------------------------------------------------------------------

TEST_F(BmpTest, CheckAcceptsAnyHeaderWithTheMagicAndZeroReservedWords) {
    Bytes b(54, 0xEE); // every other field holds junk
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 6, 0);
    Put32(b, 18, 7);
    Put32(b, 22, uint32_t(-9));
    Put16(b, 28, 77);
    DecoderContext* ctx = UseMemory(b);
    ASSERT_EQ(BmpCheck(ctx), 1);
    EXPECT_EQ(ctx->width, 7);
    EXPECT_EQ(ctx->height, -9);
    EXPECT_EQ(ctx->sourceDepth, 77);
    EXPECT_EQ(ctx->depth, 24);
    EXPECT_EQ(ctx->decoderData, b.data());
    EXPECT_EQ(ctx->decoderBuffer, nullptr);
    EXPECT_EQ(BmpCleanup(ctx), 0); // a memory source keeps no copy
}

// The header fields sit up to offset 34: a source that ends before the whole info header is
// refused rather than read past its end. A refused stream leaves no copy behind.
TEST_F(BmpTest, CheckRefusesWrongMagicReservedWordsAndShortSources) {
    const Bytes good = MakeBmp(BmpLayout{});
    const size_t ALL = good.size(), SHORT = BMP_HEADER_BYTES - 1;
    struct Case {
        size_t at;
        Bytes patch;
        size_t length;
    } cases[] = {
        {0, {'M', 'B'}, ALL}, {1, {'B'}, ALL},  {6, {1}, ALL},  {7, {1}, ALL},
        {8, {1}, ALL},        {9, {0x80}, ALL}, {0, {}, 0},     {0, {}, 13},
        {0, {}, 14},          {0, {}, 30},      {0, {}, SHORT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << c.at << ", length " << c.length);
        Bytes b(good.begin(), good.begin() + c.length);
        std::copy(c.patch.begin(), c.patch.end(), b.begin() + c.at);
        EXPECT_EQ(BmpCheck(UseMemory(b.empty() ? nullptr : b.data(), b.size())), 0);
        FILE* f = TempFile(b, b.size());
        DecoderContext* ctx = UseFile(f);
        EXPECT_EQ(BmpCheck(ctx), 0);
        EXPECT_EQ(ctx->decoderBuffer, nullptr);
        std::fclose(f);
    }
    EXPECT_EQ(BmpCheck(UseMemory(good.data(), 0)), 0) << "a memory source without a size";
}

TEST_F(BmpTest, FileSourceIsCopiedClosedAndReleased) {
    const Bytes b = MakeBmp(BmpLayout{2, 1, 24, 0, {}, Rgb({1, 2, 3, 4, 5, 6, 0, 0})});
    DecoderContext* ctx = UseFile(TempFile(b, b.size()));
    ASSERT_NE(DecoderFind(), nullptr);
    ASSERT_NE(ctx->decoderBuffer, nullptr);
    EXPECT_EQ(ctx->dataSize, b.size());
    EXPECT_EQ(0, std::memcmp(ctx->decoderData, b.data(), b.size()));
    GuardedImage img(2, 1);
    EXPECT_EQ(BmpDecode(ctx, img.Row(0), img.pitch, 0), 1);
    EXPECT_EQ(img.Picture(), Rgb({1, 2, 3, 4, 5, 6}));
    DecoderClose();
    EXPECT_EQ(ctx->decoderBuffer, nullptr);
    EXPECT_EQ(ctx->file, nullptr);
    DecoderClose(); // the stream is not closed twice
}

TEST_F(BmpTest, FileSourceRefusedWhenTheHeapRefusesTheCopy) {
    const Bytes b = MakeBmp(BmpLayout{64, 64, 24, 0, {}, Bytes(64 * 64 * 3, 7)});
    SmallHeap();
    ASSERT_EQ(DecoderRegistryInit(), 1);
    FILE* f = TempFile(b, b.size());
    DecoderContext* ctx = UseFile(f);
    EXPECT_EQ(BmpCheck(ctx), 0);
    EXPECT_EQ(ctx->decoderBuffer, nullptr);
    std::fclose(f);
}

// Each side within the limit, height negative for top-down; then sides beyond it, negative
// widths, width x height x 3 overflowing 32 bits, and sides allowed but the whole too large.
TEST_F(BmpTest, CheckRefusesSizesBeyondTheLimits) {
    const int32_t MAX = BMP_MAX_DIMENSION, OVER = MAX + 1, TOP = INT32_MAX;
    struct Case {
        int32_t width, height;
        int accepted;
    } cases[] = {
        {MAX, 1, 1},   {1, MAX, 1},       {1, -MAX, 1},  {0, 0, 1},         {OVER, 1, 0},
        {1, OVER, 0},  {1, -OVER, 0},     {-1, 1, 0},    {INT32_MIN, 1, 0}, {1, INT32_MIN, 0},
        {TOP, TOP, 0}, {65536, 65536, 0}, {MAX, MAX, 0}, {9460, 9460, 0},   {9400, 9400, 1},
    };
    for (const Case& c : cases) {
        const Bytes b = MakeBmp(BmpLayout{c.width, c.height, 24, 0, {}, {}});
        EXPECT_EQ(BmpCheck(UseMemory(b)), c.accepted) << c.width << " x " << c.height;
    }
}

// --- Decoding: the design's cases ----------------------------------------------------------

TEST_F(BmpTest, EachDepthDecodesToExactBytes) {
    std::vector<uint32_t> sixteen = {0x000000, 0x010101, 0x020202, 0x030303, 0x040404};
    sixteen.resize(16, 0xFFFFFF);
    const struct {
        BmpLayout layout;
        Bytes expected; // top row first
    } cases[] = {
        // 1 bit, 10 wide: two bytes a row, the second supplying two bits; the palette (red and
        // blue) is ignored.
        {{10, 2, 1, 0, {0xFF0000, 0x0000FF}, Rgb({0xA5, 0xFF, 0, 0, 0x0F, 0x40, 0, 0})},
         Grey({0, 0, 0, 0, 255, 255, 255, 255, 0, 255, 255, 0, 255, 0, 0, 255, 0, 255, 255, 255})},
        // 4 bits, 5 wide: three bytes a row; the low nibble of the third (index 15) is no pixel.
        {{5, 1, 4, 0, sixteen, Rgb({0x01, 0x23, 0x4F, 0xFF})}, Grey({0, 1, 2, 3, 4})},
        // Row padding skipped at 24, 8 and 16 bits: two rows each, so that a wrong stored row
        // length shifts the top row.
        {{3, 2, 24, 0, {}, Rgb({1,  2,  3,  4,  5,  6,  7,  8,  9,  0xEE, 0xEE, 0xEE,
                                11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, 0xEE, 0xEE})},
         Rgb({11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
        {{3, 2, 8, 0, {0x030201, 0x060504, 0x090807}, Rgb({0, 1, 2, 1, 2, 1, 0, 2})},
         Rgb({7, 8, 9, 4, 5, 6, 1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
        {{3, 2, 16, 0, {}, Rgb({0x1F, 0, 0xE0, 3, 0, 0x7C, 9, 9, 0, 0x7C, 0xE0, 3, 0x1F, 0, 9, 9})},
         Rgb({0, 0, 248, 0, 248, 0, 248, 0, 0, 248, 0, 0, 0, 248, 0, 0, 0, 248})},
        // 16 bits are 5-5-5: 0x7FFF, 0x001F, 0xFFFF (bit 15 ignored), 0x8421 (1 in each channel).
        {{4, 1, 16, 0, {}, Rgb({0xFF, 0x7F, 0x1F, 0x00, 0xFF, 0xFF, 0x21, 0x84})},
         Rgb({248, 248, 248, 248, 0, 0, 248, 248, 248, 8, 8, 8})},
        // 32 bits drop the fourth byte.
        {{3, 1, 32, 3, {}, Rgb({1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99})},
         Rgb({1, 2, 3, 4, 5, 6, 7, 8, 9})},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(DecodeBoth(MakeBmp(cases[i].layout)), cases[i].expected);
    }
}

// RLE8 pictures use a palette whose entry i is blue i, green i + 64 and red i + 128, so that
// every byte shows both the index and the channel order; F marks a pixel the stream leaves alone.
constexpr int F = -1;

Bytes Indexed(std::initializer_list<int> v) {
    Bytes b;
    for (int i : v)
        b.insert(b.end(), {uint8_t(i < 0 ? FRESH : i), uint8_t(i < 0 ? FRESH : i + 64),
                           uint8_t(i < 0 ? FRESH : i + 128)});
    return b;
}

// Runs that leave the row or the picture were writes out of bounds in a trusting decoder.
TEST_F(BmpTest, Rle8StreamsDecodeToExactBytes) {
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < 10; i++)
        palette.push_back(i | (i + 64) << 8 | (i + 128) << 16);
    Bytes longAbsolute = {0, 255};
    longAbsolute.insert(longAbsolute.end(), 100, 2);
    const struct {
        int32_t width, height;
        Bytes stream;
        Bytes expected; // top row first
    } cases[] = {
        // Three of colour 5, end of picture, then bytes that are ignored.
        {4, 2, {3, 5, 0, 1, 3, 5}, Indexed({F, F, F, F, 5, 5, 5, F})},
        // Bottom line: absolute run of 3 (odd, padded), then a run of 2. Delta (1, 1) to column
        // 6 of the second line, one pixel; end of line; third line a run of 8 of colour 9.
        {8,
         3,
         {0, 3, 1, 2, 3, 0, 2, 4, 0, 2, 1, 1, 1, 7, 0, 0, 8, 9, 0, 1},
         Indexed({9, 9, 9, 9, 9, 9, 9, 9, F, F, F, F, F, F, 7, F, 1, 2, 3, 4, 4, F, F, F})},
        // What common writers produce: each line ends with a run over the row padding, here on
        // a 3 wide picture padded to 4; and the top line runs far past the buffer.
        {3, 2, {3, 1, 1, 0, 0, 0, 255, 2, 255, 2, 0, 0, 255, 1, 0, 1}, Indexed({2, 2, 2, 1, 1, 1})},
        // Delta far up, then a run: lands above the picture.
        {4, 2, {0, 2, 0, 200, 4, 1, 0, 1}, Indexed({F, F, F, F, F, F, F, F})},
        // Delta far right, then runs and an absolute run: past the row.
        {4, 2, {0, 2, 250, 0, 4, 1, 0, 3, 1, 1, 1, 0, 0, 1}, Indexed({F, F, F, F, F, F, F, F})},
        // Many ends of line, then a run.
        {4, 2, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 2}, Indexed({F, F, F, F, F, F, F, F})},
        // Absolute run of 255 on a 4 wide picture, the stream ending mid-run.
        {4, 2, longAbsolute, Indexed({F, F, F, F, 2, 2, 2, 2})},
        // A delta cut short; a code byte cut short.
        {4, 2, {0, 2, 1}, Indexed({F, F, F, F, F, F, F, F})},
        {4, 2, {1}, Indexed({F, F, F, F, F, F, F, F})},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const auto& c = cases[i];
        EXPECT_EQ(DecodeBoth(MakeBmp(BmpLayout{c.width, c.height, 8, 1, palette, c.stream})),
                  c.expected);
    }
}

// --- Hostile files: most of these read or wrote out of bounds in a trusting decoder ---------

TEST_F(BmpTest, UndecodedAndHostilePicturesWriteOnlyWhatTheFileHolds) {
    const BmpLayout twoPixels{2, 1, 24, 0, {}, Bytes(8, 0x33)};
    const Bytes rle = Rgb({4, 0, 0, 0, 4, 0, 0, 1});
    struct Case {
        BmpLayout layout;
        size_t at; // a 32-bit field written over the header, 0 for none
        uint32_t value;
        Bytes expected;
    } cases[] = {
        // Pictures that are not decoded leave the destination untouched: top-down, RLE4, two
        // bits a pixel, top-down RLE8.
        {{4, -2, 24, 0, {}, Bytes(24, 0x55)}, 0, 0, Bytes(24, FRESH)},
        {{4, 2, 4, 2, {0xFFFFFF}, rle}, 0, 0, Bytes(24, FRESH)},
        {{4, 2, 2, 0, {0xFFFFFF}, Bytes(8, 0x55)}, 0, 0, Bytes(24, FRESH)},
        {{4, -2, 8, 1, {0xFFFFFF}, rle}, 0, 0, Bytes(24, FRESH)},
        // Pixel offsets past the end.
        {twoPixels, 10, 60, Bytes(6, FRESH)},
        {twoPixels, 10, 1000, Bytes(6, FRESH)},
        {twoPixels, 10, 0xFFFFFFFF, Bytes(6, FRESH)},
        // A huge info header size: 14 + 0xFFFFFFF6 wraps to 4 in 32-bit arithmetic and would
        // read the table from the header; the palette is black instead.
        {{2, 1, 8, 0, {0x010203, 0x040506}, Rgb({0, 1, 0, 0})}, 14, 0xFFFFFFF6, Bytes(6, 0)},
        // Colour indices beyond the source are black. The pixel data overlaps where the table
        // would be and the file ends after one entry: index 0 is the bytes 0, 1, 2; indices 1
        // and 200 lie past the end of the file.
        {{4, 1, 8, 0, {}, Rgb({0, 1, 2, 200})}, 0, 0, Rgb({0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        // At 4 bits entry 0 is again the pixel bytes; entry 1 would start at the file's last byte.
        {{2, 1, 4, 0, {}, Rgb({1, 0x77, 0x11, 0x22, 0x33})}, 0, 0, Rgb({1, 0x77, 0x11, 0, 0, 0})},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        Bytes b = MakeBmp(cases[i].layout);
        if (cases[i].at)
            Put32(b, cases[i].at, cases[i].value);
        EXPECT_EQ(DecodeBoth(b), cases[i].expected);
    }
}

TEST_F(BmpTest, ShortRowsDecodeTheWholePixelsPresent) {
    // 3 x 3 at 24 bits: 12-byte rows, cut after the bottom row and two bytes more than one
    // pixel of the middle row.
    Bytes px(12 + 5);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = uint8_t(i + 1);
    Bytes expected(27, FRESH);
    std::memcpy(&expected[9], &px[12], 3); // middle row: one whole pixel
    std::memcpy(&expected[18], &px[0], 9); // bottom row: complete
    EXPECT_EQ(DecodeBoth(MakeBmp(BmpLayout{3, 3, 24, 0, {}, px})), expected);
    // The same for each depth: nothing is read or written beyond the cut.
    for (uint16_t bits : {1, 4, 8, 16, 32})
        for (size_t cut = 0; cut < 9; cut++)
            DecodeBoth(MakeBmp(
                BmpLayout{5, 3, bits, 0, std::vector<uint32_t>(2, 0x808080), Bytes(cut, 0xFF)}));
}

} // namespace
