#include "image/resample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The expected values in this file come from resample_expected.py beside it, which works them
// out with exact rational arithmetic; larger results are held as the FNV-1a hash of their bytes.

uint32_t Fnv1a(const Bytes& bytes) {
    uint32_t h = 0x811C9DC5u;
    for (uint8_t b : bytes)
        h = (h ^ b) * 0x01000193u;
    return h;
}

// Pixel bytes from a 31-bit linear congruential generator, in one of three mixes: noise; hard
// 0/255 edges, which the cubic's overshoot must clamp; noise with runs of 255.
Bytes Content(uint32_t seed, size_t n, int mode) {
    Bytes out(n);
    uint32_t state = seed;
    for (uint8_t& v : out) {
        state = (state * 1103515245u + 12345u) & 0x7FFFFFFFu;
        const uint32_t r = state >> 16;
        v = mode == 0   ? uint8_t(r & 255)
            : mode == 1 ? uint8_t(r & 1 ? 255 : 0)
                        : uint8_t(r & 3 ? (r >> 2) & 255 : 255);
    }
    return out;
}

Bytes Resample(const Bytes& src, int32_t sw, int32_t sh, int32_t dw, int32_t dh, int32_t bpp) {
    Bytes out(size_t(dw) * dh * bpp, 0xCD);
    EXPECT_EQ(ImageResample(src.data(), sw, sh, out.data(), dw, dh, bpp * 8), 1);
    return out;
}

struct ListsOwner {
    ContributionList* lists = nullptr;
    int32_t count = 0;
    ~ListsOwner() { ContributionsFree(count, lists); }
};

// ---------------------------------------------------------------------------------------------
// Filters and weights

// Values worked out with fractions from the filter's two cubic pieces.
TEST(ResampleFilters, CubicValues) {
    // Mitchell (B = C = 1/3): symmetric, negative between 1 and 2, zero from 2 on.
    CubicFilterSetup(1.0 / 3.0, 1.0 / 3.0);
    const double mitchell[][2] = {{0, 8.0 / 9.0},   {0.5, 77.0 / 144.0}, {1, 1.0 / 18.0},
                                  {-1, 1.0 / 18.0}, {1.5, -5.0 / 144.0}, {2, 0},
                                  {-2.5, 0}};
    for (const auto& c : mitchell)
        EXPECT_NEAR(CubicFilter(c[0]), c[1], 1e-15) << c[0];
    EXPECT_NEAR(CubicFilter(0.999999), CubicFilter(1.000001), 1e-5) << "continuous at 1";
    for (double x = 0; x < 2.5; x += 0.0625)
        EXPECT_EQ(CubicFilter(x), CubicFilter(-x)) << x;
    // B = 0, C = 0.5 is Catmull-Rom: interpolating, 1 at 0 and 0 at 1; every value exact.
    CubicFilterSetup(0, 0.5);
    const double catmullRom[][2] = {{0, 1}, {0.5, 9.0 / 16.0}, {1, 0}, {1.5, -1.0 / 16.0}};
    for (const auto& c : catmullRom)
        EXPECT_EQ(CubicFilter(c[0]), c[1]) << c[0];
}

TEST(ResampleFilters, Triangle) {
    const double cases[][2] = {{0, 1}, {0.25, 0.75}, {-0.25, 0.75}, {1, 0}, {-1.5, 0}, {3, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(TriangleFilter(c[0]), c[1]) << c[0];
}

// One row per output sample, in order: filter, destination and source sizes, then the range of
// contributors and their weights.
struct WeightRow {
    struct {
        ResampleFilter filter;
        int32_t dest, source, first, last;
    } at;
    std::vector<double> weights;
};

constexpr ResampleFilter CUBIC = RESAMPLE_FILTER_CUBIC;
constexpr ResampleFilter TRIANGLE = RESAMPLE_FILTER_TRIANGLE;

// Enlarging, shrinking, the same size (not an identity for the cubic), 1 from 1, and an output
// whose contributors outnumber the room the pass reserves (5 from 12, third output: the range
// loses its first index).
const WeightRow WEIGHT_ROWS[] = {
    {{CUBIC, 4, 2, 0, 1}, {1.0308924485125859, -0.030892448512585814}},
    {{CUBIC, 4, 2, 0, 1}, {0.7533444816053512, 0.24665551839464883}},
    {{CUBIC, 4, 2, 0, 1}, {0.24665551839464883, 0.7533444816053512}},
    {{CUBIC, 4, 2, 0, 1}, {-0.030892448512585814, 1.0308924485125859}},
    {{CUBIC, 2, 4, 0, 3},
     {0.43526570048309177, 0.43526570048309177, 0.14251207729468598, -0.013043478260869565}},
    {{CUBIC, 2, 4, 0, 3},
     {-0.013043478260869565, 0.14251207729468598, 0.43526570048309177, 0.43526570048309177}},
    {{CUBIC, 3, 3, 0, 2}, {0.9411764705882353, 0.058823529411764705, 0.0}},
    {{CUBIC, 3, 3, 0, 2}, {0.05555555555555555, 0.8888888888888888, 0.05555555555555555}},
    {{CUBIC, 3, 3, 0, 2}, {0.0, 0.058823529411764705, 0.9411764705882353}},
    {{CUBIC, 1, 1, 0, 0}, {1.0}},
    {{CUBIC, 7, 3, 0, 2}, {1.0391236306729263, -0.03912363067292645, 0.0}},
    {{CUBIC, 7, 3, 0, 2}, {0.8514739229024944, 0.15419501133786848, -0.005668934240362812}},
    {{CUBIC, 7, 3, 0, 2}, {0.44004400440044006, 0.5951595159515951, -0.0352035203520352}},
    {{CUBIC, 7, 3, 0, 2}, {0.05555555555555555, 0.8888888888888888, 0.05555555555555555}},
    {{CUBIC, 7, 3, 0, 2}, {-0.0352035203520352, 0.5951595159515951, 0.44004400440044006}},
    {{CUBIC, 7, 3, 0, 2}, {-0.005668934240362812, 0.15419501133786848, 0.8514739229024944}},
    {{CUBIC, 7, 3, 0, 2}, {0.0, -0.03912363067292645, 1.0391236306729263}},
    {{CUBIC, 3, 7, 0, 6},
     {0.3634373289545703, 0.41105637657361793, 0.21893814997263272, 0.02681992337164751,
      -0.01751505199781062, -0.002736726874657909, 0.0}},
    {{CUBIC, 3, 7, 0, 6},
     {-0.011973180076628353, 0.06513409961685823, 0.25909961685823757, 0.37547892720306514,
      0.25909961685823757, 0.06513409961685823, -0.011973180076628353}},
    {{CUBIC, 3, 7, 0, 6},
     {0.0, -0.002736726874657909, -0.01751505199781062, 0.02681992337164751, 0.21893814997263272,
      0.41105637657361793, 0.3634373289545703}},
    {{CUBIC, 5, 12, 0, 6},
     {0.35139366833753255, 0.40413359875799393, 0.22910819580482977, 0.03708453422882678,
      -0.016573302157267888, -0.005146694971915099, 0.0}},
    {{CUBIC, 5, 12, 0, 8},
     {-0.012008762656986523, 0.05757723836687476, 0.24032650537527175, 0.36623152561980177,
      0.2767566866785009, 0.08862217523984284, -0.00660024865202678, -0.010905119971278696, 0.0}},
    {{CUBIC, 5, 12, 1, 11},
     {-0.0018524282372312975, -0.01498843696556525, 0.015048678534255698, 0.1634203154650147,
      0.33837187120352613, 0.33837187120352613, 0.1634203154650147, 0.015048678534255698,
      -0.01498843696556525, -0.0018524282372312975, 0.0}},
    {{CUBIC, 5, 12, 3, 11},
     {0.0, -0.010905119971278696, -0.00660024865202678, 0.08862217523984284, 0.2767566866785009,
      0.36623152561980177, 0.24032650537527175, 0.05757723836687476, -0.012008762656986523}},
    {{CUBIC, 5, 12, 5, 11},
     {0.0, -0.005146694971915099, -0.016573302157267888, 0.03708453422882678, 0.22910819580482977,
      0.40413359875799393, 0.35139366833753255}},
    {{CUBIC, 1, 5, 0, 4},
     {0.16880391699696898, 0.2146187922592679, 0.23315458148752624, 0.2146187922592679,
      0.16880391699696898}},
    {{TRIANGLE, 5, 2, 0, 1}, {1.0, 0.0}},
    {{TRIANGLE, 5, 2, 0, 1}, {0.9, 0.1}},
    {{TRIANGLE, 5, 2, 0, 1}, {0.5, 0.5}},
    {{TRIANGLE, 5, 2, 0, 1}, {0.1, 0.9}},
    {{TRIANGLE, 5, 2, 0, 1}, {0.0, 1.0}},
    {{TRIANGLE, 3, 8, 0, 4},
     {0.2894736842105263, 0.39473684210526316, 0.23684210526315788, 0.07894736842105263, 0.0}},
    {{TRIANGLE, 3, 8, 1, 7},
     {0.023809523809523808, 0.16666666666666666, 0.30952380952380953, 0.30952380952380953,
      0.16666666666666666, 0.023809523809523808, 0.0}},
    {{TRIANGLE, 3, 8, 3, 7},
     {0.0, 0.07894736842105263, 0.23684210526315788, 0.39473684210526316, 0.2894736842105263}},
    {{TRIANGLE, 6, 6, 0, 1}, {1.0, 0.0}},
    {{TRIANGLE, 6, 6, 0, 2}, {0.0, 1.0, 0.0}},
    {{TRIANGLE, 6, 6, 1, 3}, {0.0, 1.0, 0.0}},
    {{TRIANGLE, 6, 6, 2, 4}, {0.0, 1.0, 0.0}},
    {{TRIANGLE, 6, 6, 3, 5}, {0.0, 1.0, 0.0}},
    {{TRIANGLE, 6, 6, 4, 5}, {0.0, 1.0}},
};

TEST(ResampleWeights, ExactValuesOfKnownCases) {
    for (size_t r = 0; r < std::size(WEIGHT_ROWS);) {
        const auto& c = WEIGHT_ROWS[r].at;
        ListsOwner got;
        got.lists = ResampleContributions(c.filter, c.dest, c.source, &got.count);
        ASSERT_EQ(got.count, c.dest) << c.dest << " from " << c.source;
        for (int32_t i = 0; i < c.dest; i++, r++) {
            SCOPED_TRACE(testing::Message() << c.dest << " from " << c.source << " at " << i);
            const WeightRow& want = WEIGHT_ROWS[r];
            ASSERT_TRUE(want.at.filter == c.filter && want.at.dest == c.dest &&
                        want.at.source == c.source)
                << "one row per output sample";
            ASSERT_EQ(got.lists[i].first, want.at.first);
            ASSERT_EQ(got.lists[i].last, want.at.last);
            for (size_t j = 0; j < want.weights.size(); j++)
                EXPECT_NEAR(got.lists[i].weights[j], want.weights[j], 1e-12) << "weight " << j;
        }
    }
    // A single contributor is exactly 1, so a 1 by 1 image is copied.
    ListsOwner one;
    one.lists = ResampleContributions(CUBIC, 1, 1, &one.count);
    EXPECT_EQ(one.lists[0].weights[0], 1.0);
}

// Every list of many size pairs stays inside the source and, where anything contributes, its
// weights add up to 1.
TEST(ResampleWeights, RangesInsideTheSourceAndWeightsSummingToOne) {
    for (ResampleFilter filter : {CUBIC, TRIANGLE})
        for (int32_t d = 1; d <= 40; d++)
            for (int32_t s = 1; s <= 40; s++) {
                ListsOwner got;
                got.lists = ResampleContributions(filter, d, s, &got.count);
                ASSERT_EQ(got.count, d);
                for (int32_t i = 0; i < d; i++) {
                    SCOPED_TRACE(testing::Message() << d << " from " << s << " at " << i);
                    const ContributionList& list = got.lists[i];
                    ASSERT_GE(list.first, 0);
                    ASSERT_LE(list.last, s - 1);
                    ASSERT_LE(list.first, list.last);
                    double sum = 0;
                    for (int32_t j = 0; j <= list.last - list.first; j++)
                        sum += list.weights[j];
                    EXPECT_NEAR(sum, 1.0, 1e-12);
                }
            }
}

TEST(ResampleWeights, RefusesBadSizes) {
    const int32_t bad[][2] = {{0, 5}, {5, 0}, {-1, 5}, {5, -3}};
    for (const auto& b : bad) {
        int32_t count = 77;
        EXPECT_EQ(ResampleContributions(RESAMPLE_FILTER_CUBIC, b[0], b[1], &count), nullptr);
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(ResampleContributions(RESAMPLE_FILTER_CUBIC, 4, 4, nullptr), nullptr);
    int32_t count = 1;
    EXPECT_EQ(ResampleContributions(ResampleFilter(7), 4, 4, &count), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Exact results of small known cases

TEST(ResampleExamples, Rows) {
    const struct {
        Bytes in;
        Bytes out;
    } cases[] = {
        {{0, 255}, {0, 63, 192, 255}},
        {{0, 255, 0, 255}, {108, 147}},
        {{10, 200, 30}, {21, 180, 40}},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        const Bytes& in = cases[i].in;
        const int32_t dw = int32_t(cases[i].out.size());
        EXPECT_EQ(Resample(in, int32_t(in.size()), 1, dw, 1, 1), cases[i].out) << "case " << i;
        // The same numbers down a column.
        EXPECT_EQ(Resample(in, 1, int32_t(in.size()), 1, dw, 1), cases[i].out) << "case " << i;
        Bytes direct(dw, 0);
        EXPECT_EQ(ResampleRows(in.data(), int32_t(in.size()), direct.data(), dw, 1, 1), 1);
        EXPECT_EQ(direct, cases[i].out) << "case " << i;
    }
}

TEST(ResampleExamples, OneByOneIsCopiedInEveryDepth) {
    const Bytes pixel = {0x12, 0xFE, 0x00, 0x81};
    for (int32_t bpp = 1; bpp <= 4; bpp++) {
        const Bytes in(pixel.begin(), pixel.begin() + bpp);
        EXPECT_EQ(Resample(in, 1, 1, 1, 1, bpp), in) << bpp;
    }
}

// ---------------------------------------------------------------------------------------------
// Whole resamplings and single passes against exact results

struct ResampleCase {
    int32_t sw, sh, dw, dh, bpp, mode;
    uint32_t seed, hash;
};

// The first five choose the pass order: rows first when both orders keep intermediates of the
// same size (2x3 to 4x6), otherwise the order with the smaller one; their contents give other
// bytes in the other order. Then one-pixel sides, every depth, rows not a multiple of the four
// lanes, strong shrinks whose columns pass sweeps the rows in strips, and hard 0/255 edges
// enlarged both ways, which clamp in every lane of the vector paths.
const ResampleCase RESAMPLE_CASES[] = {
    {2, 3, 4, 6, 1, 0, 1, 0x0DAABF2Cu},       {9, 5, 3, 7, 2, 1, 1, 0x8014BD3Au},
    {5, 9, 7, 3, 2, 2, 3, 0x9B25454Cu},       {16, 4, 5, 11, 3, 0, 1, 0xDE4619F3u},
    {4, 16, 11, 5, 4, 1, 2, 0x4A7A6AC1u},     {1, 1, 1, 1, 4, 0, 1, 0x30E741A5u},
    {1, 1, 5, 3, 3, 1, 1, 0x236395A8u},       {5, 1, 1, 1, 1, 2, 1, 0xF80C48A8u},
    {13, 7, 29, 17, 1, 2, 8, 0xC8FE8BDEu},    {37, 23, 11, 45, 3, 0, 2, 0x5FA32BFAu},
    {31, 37, 44, 19, 4, 0, 1, 0xA444481Cu},   {17, 17, 19, 15, 3, 0, 23, 0x41C883A6u},
    {193, 107, 80, 60, 1, 0, 1, 0xC1C93D94u}, {64, 48, 161, 121, 3, 0, 169, 0x0C3A63DBu},
    {300, 5, 17, 40, 4, 1, 1, 0x4BB8D54Fu},   {50, 400, 47, 3, 3, 0, 2, 0x91F11BECu},
    {300, 500, 20, 4, 1, 2, 1, 0xDFA9537Eu},  {7, 250, 9, 2, 2, 1, 1, 0x174761B1u},
    {63, 63, 150, 150, 3, 1, 7, 0x3C08C60Bu},
};

TEST(ResampleExactness, WholeResamplings) {
    for (const ResampleCase& c : RESAMPLE_CASES) {
        const Bytes src = Content(c.seed, size_t(c.sw) * c.sh * c.bpp, c.mode);
        EXPECT_EQ(Fnv1a(Resample(src, c.sw, c.sh, c.dw, c.dh, c.bpp)), c.hash)
            << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh << " at " << c.bpp;
    }
}

TEST(ResampleExactness, SinglePasses) {
    const struct {
        int32_t sw, dw, rows, bpp, mode;
        uint32_t seed, hash;
    } rowCases[] = {
        {6, 9, 4, 2, 0, 1, 0xD855982Bu},
        {50, 13, 7, 3, 1, 1, 0xC68B6D02u},
        {3, 41, 5, 4, 2, 2, 0xEFF50A6Eu},
        {29, 1, 3, 1, 0, 1, 0x061B75BFu},
    };
    for (const auto& c : rowCases) {
        const Bytes src = Content(c.seed, size_t(c.sw) * c.rows * c.bpp, c.mode);
        Bytes out(size_t(c.dw) * c.rows * c.bpp, 0xCD);
        ASSERT_EQ(ResampleRows(src.data(), c.sw, out.data(), c.dw, c.rows, c.bpp), 1);
        EXPECT_EQ(Fnv1a(out), c.hash) << "rows " << c.sw << " to " << c.dw << " at " << c.bpp;
    }
    // Fewer columns than the source rows hold: the source stride stays the full row.
    const struct {
        int32_t sw, sh, columns, dh, bpp, mode;
        uint32_t seed, hash;
    } columnCases[] = {{6, 4, 5, 3, 2, 0, 1, 0x20D99EC9u},
                       {30, 45, 17, 8, 3, 2, 1, 0xE25B8D67u},
                       {12, 7, 12, 33, 4, 1, 1, 0x43470809u},
                       {9, 3, 1, 10, 1, 0, 1, 0x65278EC3u}};
    for (const auto& c : columnCases) {
        const Bytes src = Content(c.seed, size_t(c.sw) * c.sh * c.bpp, c.mode);
        Bytes out(size_t(c.columns) * c.dh * c.bpp, 0xCD);
        ASSERT_EQ(ResampleColumns(src.data(), c.sw, c.sh, out.data(), c.columns, c.dh, c.bpp), 1);
        EXPECT_EQ(Fnv1a(out), c.hash) << "columns " << c.sh << " to " << c.dh << " at " << c.bpp;
    }
}

// ---------------------------------------------------------------------------------------------
// Refusals: nothing is written

TEST(ResampleRefusals, BadArgumentsLeaveTheDestinationAlone) {
    const Bytes src(64, 9);
    Bytes dst(64, 0xAB);
    const Bytes untouched = dst;
    const int32_t TOP = INT32_MAX;
    struct Case {
        int32_t sw, sh, dw, dh, bits;
    } cases[] = {
        {0, 2, 2, 2, 24},  {2, 0, 2, 2, 24},  {2, 2, 0, 2, 24},     {2, 2, 2, 0, 24},
        {-2, 2, 2, 2, 24}, {2, 2, 2, -1, 24}, {2, 2, 2, 2, 7},      {2, 2, 2, 2, 40},
        {2, 2, 2, 2, 0},   {2, 2, 2, 2, -8},  {TOP, TOP, 2, 2, 32}, {1, 1, TOP, TOP, 32},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        const Case& c = cases[i];
        EXPECT_EQ(ImageResample(src.data(), c.sw, c.sh, dst.data(), c.dw, c.dh, c.bits), 0);
        EXPECT_EQ(dst, untouched);
    }
    EXPECT_EQ(ImageResample(nullptr, 2, 2, dst.data(), 2, 2, 8), 0);
    EXPECT_EQ(ImageResample(src.data(), 2, 2, nullptr, 2, 2, 8), 0);

    EXPECT_EQ(ResampleRows(src.data(), 0, dst.data(), 2, 2, 1), 0);
    EXPECT_EQ(ResampleRows(src.data(), 2, dst.data(), 2, 2, 5), 0);
    EXPECT_EQ(ResampleRows(src.data(), 2, dst.data(), 2, 0, 1), 0);
    EXPECT_EQ(ResampleColumns(src.data(), 2, 2, dst.data(), 3, 2, 1), 0);
    EXPECT_EQ(ResampleColumns(src.data(), 2, 2, dst.data(), 2, 2, 0), 0);
    EXPECT_EQ(ResampleColumns(src.data(), 2, -2, dst.data(), 2, 2, 1), 0);
    EXPECT_EQ(dst, untouched);
}

TEST(ResampleRefusals, BuffersBeyondTheAddressSpaceOnTheSmallTarget) {
    if (sizeof(void*) != 4)
        GTEST_SKIP() << "only the 32-bit target has buffers this size out of reach";
    const Bytes src(64, 9);
    Bytes dst(64, 0xAB);
    EXPECT_EQ(ImageResample(src.data(), 2, 2, dst.data(), 40000, 20000, 32), 0);
    EXPECT_EQ(ImageResample(src.data(), 46341, 46341, dst.data(), 2, 2, 8), 0);
    EXPECT_EQ(dst, Bytes(64, 0xAB));
}

// ---------------------------------------------------------------------------------------------
// Allocation failures: every allocation in turn is refused

struct FailingAllocator {
    static inline int64_t calls = 0;
    static inline int64_t failAt = -1;
    static inline int64_t live = 0;
    static void* Allocate(size_t bytes) {
        if (calls++ == failAt)
            return nullptr;
        live++;
        return std::malloc(bytes);
    }
    static void Release(void* block) {
        live--;
        std::free(block);
    }
};

class ResampleAllocation : public ::testing::Test {
  protected:
    void SetUp() override {
        FailingAllocator::calls = 0;
        FailingAllocator::failAt = -1;
        FailingAllocator::live = 0;
        ResampleAllocatorSet(FailingAllocator::Allocate, FailingAllocator::Release);
    }
    void TearDown() override { ResampleAllocatorSet(nullptr, nullptr); }

    // Runs op once to count its allocations, then once more refusing each of them in turn.
    // op writes into dst and returns its result.
    template <typename Op> int64_t FailEachAllocation(Op op, Bytes& dst) {
        std::fill(dst.begin(), dst.end(), uint8_t(0xAB));
        FailingAllocator::calls = 0;
        EXPECT_EQ(op(), 1);
        EXPECT_EQ(FailingAllocator::live, 0);
        const int64_t total = FailingAllocator::calls;
        for (int64_t k = 0; k < total; k++) {
            std::fill(dst.begin(), dst.end(), uint8_t(0xAB));
            FailingAllocator::calls = 0;
            FailingAllocator::failAt = k;
            EXPECT_EQ(op(), 0) << "allocation " << k << " of " << total;
            EXPECT_EQ(dst, Bytes(dst.size(), 0xAB)) << "allocation " << k;
            EXPECT_EQ(FailingAllocator::live, 0) << "allocation " << k;
        }
        FailingAllocator::failAt = -1;
        return total;
    }
};

TEST_F(ResampleAllocation, ImageResampleFailsCleanlyInBothOrders) {
    // Rows first (5 * 4 <= 7 * 6), then columns first (9 * 6 > 3 * 5).
    const int32_t cases[][4] = {{7, 5, 4, 6}, {3, 9, 6, 5}};
    for (const auto& c : cases) {
        const Bytes src = Content(3, size_t(c[0]) * c[1] * 3, 0);
        Bytes dst(size_t(c[2]) * c[3] * 3);
        const int64_t total = FailEachAllocation(
            [&] { return ImageResample(src.data(), c[0], c[1], dst.data(), c[2], c[3], 24); }, dst);
        // Two list arrays, a weight array per output sample, two scratch blocks, the middle.
        EXPECT_EQ(total, 2 + c[2] + c[3] + 2 + 1);
    }
}

TEST_F(ResampleAllocation, SinglePassesAndListsFailCleanly) {
    const Bytes src = Content(8, 6 * 4 * 2, 0);
    Bytes rows(9 * 4 * 2);
    EXPECT_EQ(
        FailEachAllocation([&] { return ResampleRows(src.data(), 6, rows.data(), 9, 4, 2); }, rows),
        1 + 9 + 1);
    Bytes cols(5 * 3 * 2);
    EXPECT_EQ(FailEachAllocation(
                  [&] { return ResampleColumns(src.data(), 6, 4, cols.data(), 5, 3, 2); }, cols),
              1 + 3 + 1);

    for (int64_t k = 0; k < 6; k++) {
        FailingAllocator::calls = 0;
        FailingAllocator::failAt = k;
        int32_t count = 99;
        EXPECT_EQ(ResampleContributions(RESAMPLE_FILTER_CUBIC, 5, 8, &count), nullptr) << k;
        EXPECT_EQ(count, 0);
        EXPECT_EQ(FailingAllocator::live, 0) << k;
    }
}

} // namespace
