// Files that ImageMagick wrote, decoded from a file and from memory, against ImageMagick's own
// decoding of the same files.
#include "bmp_test_support.h"

#include <cstdio>
#include <string>

namespace {

std::string SamplePath(const std::string& name) {
#ifdef _WIN32
    // Wine maps the host's root to drive Z:.
    return std::string("Z:") + BMP_SAMPLES_DIR + "/" + name;
#else
    return std::string(BMP_SAMPLES_DIR) + "/" + name;
#endif
}

bool ReadAll(const std::string& path, Bytes& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    for (int c; (c = std::fgetc(f)) != EOF;)
        out.push_back(uint8_t(c));
    std::fclose(f);
    return true;
}

struct Sample {
    const char* name;
    int bits;
};

const Sample SAMPLES[] = {
    {"bits1", 1},      {"bits1_wide", 1}, {"bits4", 4},        {"bits4_wide", 4},
    {"bits8", 8},      {"bits8_wide", 8}, {"rle8", 8},         {"rle8_wide", 8},
    {"rle8_bands", 8}, {"bits16", 16},    {"bits16_wide", 16}, {"bits24", 24},
    {"bits24_v5", 24}, {"bits32", 32},    {"bits32_wide", 32},
};

// ImageMagick widens 5-bit channels as round(v * 255 / 31); the decoder as v * 8.
uint8_t FiveBitsAsDecoded(uint8_t imageMagick) {
    return uint8_t((imageMagick * 31 + 127) / 255 * 8);
}

class BmpSampleTest : public BmpTest, public ::testing::WithParamInterface<Sample> {};

TEST_P(BmpSampleTest, MatchesImageMagick) {
    const Sample& s = GetParam();
    Bytes file, rgb;
    ASSERT_TRUE(ReadAll(SamplePath(std::string(s.name) + ".bmp"), file)) << s.name;
    ASSERT_TRUE(ReadAll(SamplePath(std::string(s.name) + ".rgb"), rgb)) << s.name;

    // From memory.
    Decoded d = DecodeMemory(file);
    ASSERT_TRUE(d.accepted);
    const Bytes fromMemory = d.image.Picture();
    ASSERT_EQ(fromMemory.size(), rgb.size());
    const int32_t width = d.image.width;

    // From the file, through the loader's steps.
    FILE* f = std::fopen(SamplePath(std::string(s.name) + ".bmp").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    DecoderContext* ctx = UseFile(f);
    ASSERT_NE(DecoderFind(), nullptr);
    EXPECT_EQ(ctx->sourceDepth, s.bits);
    EXPECT_EQ(ctx->depth, 24);
    GuardedImage img(ctx->width, ctx->height);
    ctx->decoder->decode(ctx, img.Row(0), img.pitch, 0);
    DecoderClose();
    EXPECT_TRUE(img.GuardsIntact());
    EXPECT_EQ(img.Picture(), fromMemory);

    // ImageMagick gives red, green, blue; the decoder blue, green, red.
    int mismatches = 0;
    for (size_t p = 0; p < rgb.size() / 3; p++) {
        for (int c = 0; c < 3; c++) {
            uint8_t expected = rgb[3 * p + 2 - c];
            if (s.bits == 16)
                expected = FiveBitsAsDecoded(expected);
            if (fromMemory[3 * p + c] != expected && mismatches++ < 5)
                ADD_FAILURE() << s.name << ": pixel (" << p % width << ", " << p / width
                              << ") channel " << c << " is " << int(fromMemory[3 * p + c])
                              << ", ImageMagick gives " << int(expected);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(ImageMagickFiles, BmpSampleTest, ::testing::ValuesIn(SAMPLES),
                         [](const ::testing::TestParamInfo<Sample>& i) {
                             return std::string(i.param.name);
                         });

} // namespace
