#include "bmp_test_support.h"

#include <cstdio>

namespace {

Bytes Rgb(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v)
        b.push_back(uint8_t(x));
    return b;
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
    ASSERT_EQ(DecoderRegister(&refusing), 1);
    ASSERT_EQ(DecoderRegister(&accepting), 1);
    ASSERT_EQ(DecoderRegister(&later), 1);
    EXPECT_EQ(DecoderAt(1), &refusing);
    EXPECT_EQ(DecoderAt(2), &accepting);
    EXPECT_EQ(DecoderAt(3), &later);
    EXPECT_EQ(DecoderAt(4), nullptr);
    EXPECT_EQ(DecoderAt(-1), nullptr);

    // Not a BMP: the BMP decoder refuses, the second registered one accepts.
    Bytes junk(64, 0x42);
    DecoderContext* ctx = DecoderContextGet();
    ctx->inMemory = 1;
    ctx->memory = junk.data();
    ctx->memorySize = junk.size();
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
    PrivateHeapDestroy();
    ASSERT_EQ(PrivateHeapCreate(4096), 1);
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
    for (int i = 6; i < 10; i++)
        b[i] = 0;
    Put32(b, 18, 7);
    Put32(b, 22, uint32_t(-9));
    Put16(b, 28, 77);
    DecoderContext* ctx = DecoderContextGet();
    ctx->inMemory = 1;
    ctx->memory = b.data();
    ctx->memorySize = b.size();
    ASSERT_EQ(BmpCheck(ctx), 1);
    EXPECT_EQ(ctx->width, 7);
    EXPECT_EQ(ctx->height, -9);
    EXPECT_EQ(ctx->sourceDepth, 77);
    EXPECT_EQ(ctx->depth, 24);
    EXPECT_EQ(ctx->decoderData, b.data());
    EXPECT_EQ(ctx->decoderBuffer, nullptr);
    EXPECT_EQ(BmpCleanup(ctx), 0); // a memory source keeps no copy
}

TEST_F(BmpTest, CheckRefusesWrongMagicAndReservedWords) {
    const Bytes good = MakeBmp(BmpSpec{});
    struct Case {
        size_t at;
        uint8_t value;
    } cases[] = {{0, 'M'}, {1, 'B'}, {6, 1}, {7, 1}, {8, 1}, {9, 0x80}};
    for (const Case& c : cases) {
        Bytes b = good;
        b[c.at] = c.value;
        if (c.at == 0)
            b[1] = 'B'; // "MB"
        FILE* f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        std::fwrite(b.data(), 1, b.size(), f);
        DecoderContext* ctx = DecoderContextGet();
        ctx->inMemory = 0;
        ctx->file = f;
        EXPECT_EQ(BmpCheck(ctx), 0) << "byte " << c.at;
        EXPECT_EQ(ctx->decoderBuffer, nullptr) << "byte " << c.at;
        std::fclose(f);
        ctx->inMemory = 1;
        ctx->memory = b.data();
        ctx->memorySize = b.size();
        EXPECT_EQ(BmpCheck(ctx), 0) << "byte " << c.at;
    }
}

TEST_F(BmpTest, FileSourceIsCopiedClosedAndReleased) {
    const Bytes b = MakeBmp(BmpSpec{2, 1, 24, 0, {}, Rgb({1, 2, 3, 4, 5, 6, 0, 0})});
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    DecoderContext* ctx = DecoderContextGet();
    ctx->inMemory = 0;
    ctx->file = f;
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

TEST_F(BmpTest, FileSourceRefusedWhenShortOrWhenTheHeapRefusesTheCopy) {
    const Bytes b = MakeBmp(BmpSpec{64, 64, 24, 0, {}, Bytes(64 * 64 * 3, 7)});
    for (size_t length : {size_t(0), size_t(13)}) {
        FILE* f = std::tmpfile();
        std::fwrite(b.data(), 1, length, f);
        DecoderContext* ctx = DecoderContextGet();
        ctx->inMemory = 0;
        ctx->file = f;
        EXPECT_EQ(BmpCheck(ctx), 0) << length;
        EXPECT_EQ(ctx->decoderBuffer, nullptr);
        std::fclose(f);
    }
    PrivateHeapDestroy();
    ASSERT_EQ(PrivateHeapCreate(4096), 1);
    ASSERT_EQ(DecoderRegistryInit(), 1);
    FILE* f = std::tmpfile();
    std::fwrite(b.data(), 1, b.size(), f);
    DecoderContext* ctx = DecoderContextGet();
    ctx->inMemory = 0;
    ctx->file = f;
    EXPECT_EQ(BmpCheck(ctx), 0);
    EXPECT_EQ(ctx->decoderBuffer, nullptr);
    std::fclose(f);
}

// The header fields sit up to offset 34: a source that ends before the whole info header is
// refused rather than read past its end.
TEST_F(BmpTest, CheckRefusesSourcesShorterThanTheHeaders) {
    const Bytes good = MakeBmp(BmpSpec{});
    for (size_t length : {size_t(0), size_t(14), size_t(30), BMP_HEADER_BYTES - 1}) {
        Bytes b(good.begin(), good.begin() + length);
        DecoderContext* ctx = DecoderContextGet();
        ctx->inMemory = 1;
        ctx->memory = b.empty() ? nullptr : b.data();
        ctx->memorySize = b.size();
        EXPECT_EQ(BmpCheck(ctx), 0) << length;
        FILE* f = std::tmpfile();
        if (!b.empty())
            std::fwrite(b.data(), 1, b.size(), f);
        ctx->inMemory = 0;
        ctx->file = f;
        EXPECT_EQ(BmpCheck(ctx), 0) << length;
        EXPECT_EQ(ctx->decoderBuffer, nullptr);
        std::fclose(f);
    }
    // A memory source without a size is empty.
    DecoderContext* ctx = DecoderContextGet();
    ctx->inMemory = 1;
    ctx->memory = good.data();
    ctx->memorySize = 0;
    EXPECT_EQ(BmpCheck(ctx), 0);
}

TEST_F(BmpTest, CheckRefusesSizesBeyondTheLimits) {
    struct Case {
        int32_t width, height;
        int accepted;
    } cases[] = {
        {BMP_MAX_DIMENSION, 1, 1},
        {1, BMP_MAX_DIMENSION, 1},
        {1, -BMP_MAX_DIMENSION, 1},
        {0, 0, 1},
        {BMP_MAX_DIMENSION + 1, 1, 0},
        {1, BMP_MAX_DIMENSION + 1, 0},
        {1, -BMP_MAX_DIMENSION - 1, 0},
        {-1, 1, 0},
        {INT32_MIN, 1, 0},
        {1, INT32_MIN, 0},
        // width x height x 3 overflows 32 bits
        {0x7FFFFFFF, 0x7FFFFFFF, 0},
        {65536, 65536, 0},
        // each side allowed, the whole image too large
        {BMP_MAX_DIMENSION, BMP_MAX_DIMENSION, 0},
        {9460, 9460, 0},
        {9400, 9400, 1},
    };
    for (const Case& c : cases) {
        BmpSpec s;
        s.width = c.width;
        s.height = c.height;
        const Bytes b = MakeBmp(s);
        DecoderContext* ctx = DecoderContextGet();
        ctx->inMemory = 1;
        ctx->memory = b.data();
        ctx->memorySize = b.size();
        EXPECT_EQ(BmpCheck(ctx), c.accepted) << c.width << " x " << c.height;
    }
}

// --- Decoding: the design's cases ----------------------------------------------------------

TEST_F(BmpTest, OneBitIgnoresThePaletteAndTakesOnlyTheBitsTheWidthNeeds) {
    // 10 wide: two bytes per row, the second supplying two bits; palette red and blue.
    const Bytes px = Rgb({0xA5, 0xFF, 0, 0, 0x0F, 0x40, 0, 0});
    const Bytes got = DecodeBoth(MakeBmp(BmpSpec{10, 2, 1, 0, {0xFF0000, 0x0000FF}, px}));
    const int top[10] = {0, 0, 0, 0, 1, 1, 1, 1, 0, 1};
    const int bottom[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1};
    for (int x = 0; x < 10; x++)
        for (int c = 0; c < 3; c++) {
            EXPECT_EQ(got[3 * x + c], top[x] ? 255 : 0) << x;
            EXPECT_EQ(got[30 + 3 * x + c], bottom[x] ? 255 : 0) << x;
        }
}

TEST_F(BmpTest, RowPaddingIsSkipped) {
    // Two rows each, so that a wrong stored row length shifts the top row.
    struct Case {
        uint16_t bits;
        int32_t width;
        std::vector<uint32_t> palette;
        Bytes pixels;
        Bytes expected; // top row first
    } cases[] = {
        {24,
         3,
         {},
         Rgb({1,  2,  3,  4,  5,  6,  7,  8,  9,  0xEE, 0xEE, 0xEE,
              11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, 0xEE, 0xEE}),
         Rgb({11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
        {8,
         3,
         {0x030201, 0x060504, 0x090807},
         Rgb({0, 1, 2, 1, 2, 1, 0, 2}),
         Rgb({7, 8, 9, 4, 5, 6, 1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
        {16,
         3,
         {},
         Rgb({0x1F, 0, 0xE0, 0x03, 0x00, 0x7C, 0xEE, 0xEE, 0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xEE,
              0xEE}),
         Rgb({0, 0, 248, 0, 248, 0, 248, 0, 0, 248, 0, 0, 0, 248, 0, 0, 0, 248})},
    };
    for (const Case& c : cases) {
        const Bytes got = DecodeBoth(MakeBmp(BmpSpec{c.width, 2, c.bits, 0, c.palette, c.pixels}));
        EXPECT_EQ(got, c.expected) << c.bits << " bits";
    }
}

TEST_F(BmpTest, FourBitWritesExactlyTheWidth) {
    // 5 wide: three bytes per row; the low nibble of the third (index 15) must not be used.
    std::vector<uint32_t> pal(16, 0xFFFFFF);
    for (uint32_t i = 0; i < 5; i++)
        pal[i] = (i + 1) * 0x010101;
    const Bytes got = DecodeBoth(MakeBmp(BmpSpec{5, 1, 4, 0, pal, Rgb({0x01, 0x23, 0x4F, 0xFF})}));
    EXPECT_EQ(got, Rgb({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5}));
}

TEST_F(BmpTest, SixteenBitIsFiveFiveFive) {
    const Bytes got = DecodeBoth(
        MakeBmp(BmpSpec{4, 1, 16, 0, {}, Rgb({0xFF, 0x7F, 0x1F, 0x00, 0xFF, 0xFF, 0x21, 0x84})}));
    // 0x7FFF, 0x001F, 0xFFFF (bit 15 ignored), 0x8421 (1 in each channel)
    EXPECT_EQ(got, Rgb({248, 248, 248, 248, 0, 0, 248, 248, 248, 8, 8, 8}));
}

TEST_F(BmpTest, ThirtyTwoBitDropsTheFourthByte) {
    const Bytes got =
        DecodeBoth(MakeBmp(BmpSpec{3, 1, 32, 3, {}, Rgb({1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99})}));
    EXPECT_EQ(got, Rgb({1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(BmpTest, PicturesThatAreNotDecodedLeaveTheDestinationUntouched) {
    const Bytes untouched(3 * 4 * 2, FRESH);
    BmpSpec topDown{4, -2, 24, 0, {}, Bytes(24, 0x55)};
    BmpSpec rle4{4, 2, 4, 2, {0xFFFFFF}, Rgb({4, 0, 0, 0, 4, 0, 0, 1})};
    BmpSpec twoBits{4, 2, 2, 0, {0xFFFFFF}, Bytes(8, 0x55)};
    BmpSpec rle8TopDown{4, -2, 8, 1, {0xFFFFFF}, Rgb({4, 0, 0, 0, 4, 0, 0, 1})};
    for (const BmpSpec& s : {topDown, rle4, twoBits, rle8TopDown})
        EXPECT_EQ(DecodeBoth(MakeBmp(s)), untouched) << s.bits << " bits, " << s.height;
}

TEST_F(BmpTest, Rle8ThreeOfColourFiveThenEndOfPicture) {
    std::vector<uint32_t> pal(6, 0);
    pal[5] = 0x0A0B0C;
    const Bytes got = DecodeBoth(MakeBmp(BmpSpec{4, 2, 8, 1, pal, Rgb({3, 5, 0, 1, 3, 5})}));
    Bytes expected(24, FRESH);
    for (int x = 0; x < 3; x++) {
        expected[12 + 3 * x] = 0x0C;
        expected[12 + 3 * x + 1] = 0x0B;
        expected[12 + 3 * x + 2] = 0x0A;
    }
    EXPECT_EQ(got, expected);
}

TEST_F(BmpTest, Rle8AbsoluteRunsDeltasAndLines) {
    std::vector<uint32_t> pal;
    for (uint32_t i = 0; i < 10; i++)
        pal.push_back(i * 0x010101);
    // Bottom line: absolute run of 3 (odd, padded), then a run of 2. Delta (1, 1) to column 6
    // of the second line, one pixel; end of line; third line a run of 8 of colour 9.
    const Bytes stream = Rgb({0, 3, 1, 2, 3, 0, 2, 4, 0, 2, 1, 1, 1, 7, 0, 0, 8, 9, 0, 1});
    const Bytes got = DecodeBoth(MakeBmp(BmpSpec{8, 3, 8, 1, pal, stream}));
    const int F = -1;
    const int expected[3][8] = {
        {9, 9, 9, 9, 9, 9, 9, 9}, {F, F, F, F, F, F, 7, F}, {1, 2, 3, 4, 4, F, F, F}};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(got[(y * 8 + x) * 3], expected[y][x] < 0 ? FRESH : expected[y][x])
                << x << "," << y;
}

// --- Hostile files: each of these read or wrote out of bounds in a trusting decoder ---------

TEST_F(BmpTest, PixelOffsetPastTheEndWritesNothing) {
    for (uint32_t offset : {60u, 1000u, 0xFFFFFFFFu}) {
        Bytes b = MakeBmp(BmpSpec{2, 1, 24, 0, {}, Bytes(8, 0x33)});
        Put32(b, 10, offset);
        EXPECT_EQ(DecodeBoth(b), Bytes(6, FRESH)) << offset;
    }
}

TEST_F(BmpTest, ShortRowsDecodeTheWholePixelsPresent) {
    // 3 x 3 at 24 bits: 12-byte rows, cut after the bottom row and two bytes more than one
    // pixel of the middle row.
    Bytes px(12 + 5);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = uint8_t(i + 1);
    const Bytes got = DecodeBoth(MakeBmp(BmpSpec{3, 3, 24, 0, {}, px}));
    Bytes expected(27, FRESH);
    std::memcpy(&expected[9], &px[12], 3); // middle row: one whole pixel
    std::memcpy(&expected[18], &px[0], 9); // bottom row: complete
    EXPECT_EQ(got, expected);
    // The same for each depth: nothing is read or written beyond the cut.
    for (uint16_t bits : {1, 4, 8, 16, 32}) {
        for (size_t cut = 0; cut < 9; cut++) {
            Bytes b = MakeBmp(
                BmpSpec{5, 3, bits, 0, std::vector<uint32_t>(2, 0x808080), Bytes(cut, 0xFF)});
            DecodeBoth(b);
        }
    }
}

TEST_F(BmpTest, HugeInfoHeaderSizeGivesABlackPaletteInsteadOfWrapping) {
    // 14 + 0xFFFFFFF6 wraps to 4 in 32-bit arithmetic and would read the table from the header.
    Bytes b = MakeBmp(BmpSpec{2, 1, 8, 0, {0x010203, 0x040506}, Rgb({0, 1, 0, 0})});
    Put32(b, 14, 0xFFFFFFF6);
    EXPECT_EQ(DecodeBoth(b), Bytes(6, 0));
}

TEST_F(BmpTest, ColourIndicesBeyondTheSourceAreBlack) {
    // The pixel data overlaps where the table would be, and the file ends after one entry:
    // index 0 is the bytes 0, 1, 2; indices 1 and 200 lie past the end of the file.
    Bytes b = MakeBmp(BmpSpec{4, 1, 8, 0, {}, Rgb({0, 1, 2, 200})});
    const Bytes got = DecodeBoth(b);
    EXPECT_EQ(got, Rgb({0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // 4 bits: entry 0 is again the pixel bytes; entry 1 would start at the file's last byte.
    Bytes four = MakeBmp(BmpSpec{2, 1, 4, 0, {}, Rgb({0x01, 0x77, 0x11, 0x22, 0x33})});
    EXPECT_EQ(DecodeBoth(four), Rgb({0x01, 0x77, 0x11, 0, 0, 0}));
}

TEST_F(BmpTest, Rle8RunsOverThePaddingAreClippedToTheRow) {
    // What common writers produce: each line ends with a run over the row padding, here on a
    // 3 wide picture padded to 4; and the top line runs far past the buffer.
    std::vector<uint32_t> pal = {0x000000, 0x111111, 0x222222};
    const Bytes stream = Rgb({3, 1, 1, 0, 0, 0, 255, 2, 255, 2, 0, 0, 255, 1, 0, 1});
    const Bytes got = DecodeBoth(MakeBmp(BmpSpec{3, 2, 8, 1, pal, stream}));
    EXPECT_EQ(got, Bytes({0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x11, 0x11, 0x11,
                          0x11, 0x11, 0x11, 0x11, 0x11, 0x11}));
}

TEST_F(BmpTest, Rle8DeltasAndAbsoluteRunsOutsideThePictureAreDropped) {
    std::vector<uint32_t> pal = {0x000000, 0x111111, 0x222222};
    const Bytes cases[] = {
        // delta far up, then a run: lands above the picture
        Rgb({0, 2, 0, 200, 4, 1, 0, 1}),
        // delta far right, then runs and an absolute run: past the row
        Rgb({0, 2, 250, 0, 4, 1, 0, 3, 1, 1, 1, 0, 0, 1}),
        // many end-of-lines, then a run
        Rgb({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 2}),
        // absolute run of 255 on a 4 wide picture, then the stream ends mid-run
        [] {
            Bytes b = Rgb({0, 255});
            b.insert(b.end(), 100, 2);
            return b;
        }(),
        // a delta cut short, a code byte cut short
        Rgb({0, 2, 1}),
        Rgb({1}),
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        const Bytes got = DecodeBoth(MakeBmp(BmpSpec{4, 2, 8, 1, pal, cases[i]}));
        ASSERT_EQ(got.size(), 24u);
        if (i == 3) {
            EXPECT_EQ(Bytes(got.begin() + 12, got.end()), Bytes(12, 0x22));
            EXPECT_EQ(Bytes(got.begin(), got.begin() + 12), Bytes(12, FRESH));
        } else {
            EXPECT_EQ(got, Bytes(24, FRESH)) << i;
        }
    }
}

} // namespace
