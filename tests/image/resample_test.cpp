#include "image/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The plain formulation, written as straight loops with one double sum per output channel in
// source order. The optimised code must give these bytes exactly.
struct RefList {
    int32_t first;
    int32_t last;
    std::vector<double> weights;
};

double RefCubic(double x) {
    const double b = 0.3333333333333333, c = 0.3333333333333333;
    const double p0 = (6 - 2 * b) / 6, p2 = (-18 + 12 * b + 6 * c) / 6,
                 p3 = (12 - 9 * b - 6 * c) / 6;
    const double q0 = (8 * b + 24 * c) / 6, q1 = (-12 * b - 48 * c) / 6, q2 = (6 * b + 30 * c) / 6,
                 q3 = (-b - 6 * c) / 6;
    const double a = std::fabs(x);
    if (a < 1)
        return (p3 * a + p2) * (a * a) + p0;
    if (a < 2)
        return ((q3 * a + q2) * a + q1) * a + q0;
    return 0;
}

double RefTriangle(double x) {
    const double a = std::fabs(x);
    return a < 1 ? 1 - a : 0;
}

std::vector<RefList> RefContributions(bool cubic, int32_t d, int32_t s) {
    const double support = cubic ? 2 : 1;
    const double scale = double(d) / double(s);
    double width = support, filterScale = 1;
    if (scale < 1) {
        width = support / scale;
        filterScale = scale;
    }
    const int32_t n = int32_t(2 * std::ceil(width) + 1);
    const double offset = 0.5 / scale - 0.5;
    std::vector<RefList> lists(d);
    for (int32_t i = 0; i < d; i++) {
        const double center = i / scale + offset;
        int32_t first = int32_t(std::floor(center - width));
        if (first < 0)
            first = 0;
        int32_t last = int32_t(std::ceil(center + width));
        if (last >= s - 1)
            last = s - 1;
        if (last - first + 1 > n) {
            if (first < s)
                first += 1;
            else
                last -= 1;
        }
        lists[i].first = first;
        lists[i].last = last;
        double sum = 0;
        for (int32_t j = first; j <= last; j++) {
            const double f = cubic ? RefCubic((center - j) * filterScale)
                                   : RefTriangle((center - j) * filterScale);
            lists[i].weights.push_back(f * filterScale);
            sum += f * filterScale;
        }
        if (sum > 0 && sum != 1)
            for (double& w : lists[i].weights)
                w /= sum;
    }
    return lists;
}

uint8_t RefByte(double acc) {
    int32_t v = int32_t(acc + 0.5);
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

Bytes RefRows(const Bytes& src, int32_t sw, int32_t dw, int32_t rows, int32_t bpp) {
    const std::vector<RefList> lists = RefContributions(true, dw, sw);
    Bytes out(size_t(dw) * rows * bpp);
    for (int32_t y = 0; y < rows; y++)
        for (int32_t x = 0; x < dw; x++) {
            double acc[4] = {0, 0, 0, 0};
            for (int32_t k = lists[x].first; k <= lists[x].last; k++)
                for (int32_t c = 0; c < bpp; c++)
                    acc[c] +=
                        src[(size_t(y) * sw + k) * bpp + c] * lists[x].weights[k - lists[x].first];
            for (int32_t c = 0; c < bpp; c++)
                out[(size_t(y) * dw + x) * bpp + c] = RefByte(acc[c]);
        }
    return out;
}

Bytes RefColumns(const Bytes& src, int32_t sw, int32_t sh, int32_t columns, int32_t dh,
                 int32_t bpp) {
    const std::vector<RefList> lists = RefContributions(true, dh, sh);
    Bytes out(size_t(columns) * dh * bpp);
    for (int32_t x = 0; x < columns; x++)
        for (int32_t y = 0; y < dh; y++) {
            double acc[4] = {0, 0, 0, 0};
            for (int32_t k = lists[y].first; k <= lists[y].last; k++)
                for (int32_t c = 0; c < bpp; c++)
                    acc[c] +=
                        src[(size_t(k) * sw + x) * bpp + c] * lists[y].weights[k - lists[y].first];
            for (int32_t c = 0; c < bpp; c++)
                out[(size_t(y) * columns + x) * bpp + c] = RefByte(acc[c]);
        }
    return out;
}

Bytes RefResample(const Bytes& src, int32_t sw, int32_t sh, int32_t dw, int32_t dh, int32_t bpp,
                  bool rowsFirst) {
    if (rowsFirst)
        return RefColumns(RefRows(src, sw, dw, sh, bpp), dw, sh, dw, dh, bpp);
    return RefRows(RefColumns(src, sw, sh, sw, dh, bpp), sw, dw, dh, bpp);
}

Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    // Runs of 0 and 255 beside noise: the overshoot of the cubic needs hard edges to clamp.
    const int mode = int(rng() % 3);
    for (uint8_t& v : b)
        v = mode == 0   ? uint8_t(rng())
            : mode == 1 ? uint8_t(rng() % 2 ? 255 : 0)
                        : uint8_t(rng() % 4 ? rng() : 255);
    return b;
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

TEST(ResampleFilters, MitchellValuesAtKnots) {
    CubicFilterSetup(1.0 / 3.0, 1.0 / 3.0);
    EXPECT_NEAR(CubicFilter(0), 16.0 / 18.0, 1e-15);
    EXPECT_NEAR(CubicFilter(1), 1.0 / 18.0, 1e-15);
    EXPECT_NEAR(CubicFilter(-1), 1.0 / 18.0, 1e-15);
    EXPECT_EQ(CubicFilter(2), 0.0);
    EXPECT_EQ(CubicFilter(-2.5), 0.0);
    // Continuous at 1 from both pieces, and negative lobe between 1 and 2.
    EXPECT_NEAR(CubicFilter(0.999999), CubicFilter(1.000001), 1e-5);
    EXPECT_LT(CubicFilter(1.5), 0.0);
    for (double x = 0; x < 2.5; x += 0.0625)
        EXPECT_EQ(CubicFilter(x), CubicFilter(-x)) << x;
    // B = 0, C = 0.5 is Catmull-Rom: interpolating, 1 at 0 and 0 at 1.
    CubicFilterSetup(0, 0.5);
    EXPECT_EQ(CubicFilter(0), 1.0);
    EXPECT_EQ(CubicFilter(1), 0.0);
    EXPECT_EQ(CubicCoefficientsGet().q3, -0.5);
}

TEST(ResampleFilters, Triangle) {
    const double cases[][2] = {{0, 1}, {0.25, 0.75}, {-0.25, 0.75}, {1, 0}, {-1.5, 0}, {3, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(TriangleFilter(c[0]), c[1]) << c[0];
}

void ExpectWeights(const ContributionList& list, int32_t first, int32_t last,
                   std::vector<double> weights) {
    ASSERT_EQ(list.first, first);
    ASSERT_EQ(list.last, last);
    for (size_t j = 0; j < weights.size(); j++)
        EXPECT_NEAR(list.weights[j], weights[j], 0.00005) << "weight " << j;
}

TEST(ResampleWeights, KnownCasesToFourDecimals) {
    ListsOwner up;
    up.lists = ResampleContributions(RESAMPLE_FILTER_CUBIC, 4, 2, &up.count);
    ASSERT_EQ(up.count, 4);
    ExpectWeights(up.lists[0], 0, 1, {1.0309, -0.0309});
    ExpectWeights(up.lists[1], 0, 1, {0.7533, 0.2467});
    ExpectWeights(up.lists[2], 0, 1, {0.2467, 0.7533});
    ExpectWeights(up.lists[3], 0, 1, {-0.0309, 1.0309});

    ListsOwner down;
    down.lists = ResampleContributions(RESAMPLE_FILTER_CUBIC, 2, 4, &down.count);
    ASSERT_EQ(down.count, 2);
    ExpectWeights(down.lists[0], 0, 3, {0.4353, 0.4353, 0.1425, -0.0130});
    ExpectWeights(down.lists[1], 0, 3, {-0.0130, 0.1425, 0.4353, 0.4353});

    ListsOwner same;
    same.lists = ResampleContributions(RESAMPLE_FILTER_CUBIC, 3, 3, &same.count);
    ASSERT_EQ(same.count, 3);
    ExpectWeights(same.lists[0], 0, 2, {0.9412, 0.0588, 0});
    ExpectWeights(same.lists[1], 0, 2, {0.0556, 0.8889, 0.0556});

    ListsOwner one;
    one.lists = ResampleContributions(RESAMPLE_FILTER_CUBIC, 1, 1, &one.count);
    ASSERT_EQ(one.count, 1);
    ExpectWeights(one.lists[0], 0, 0, {1});
    EXPECT_EQ(one.lists[0].weights[0], 1.0);
}

// Every list of many size pairs, both filters, against the plain formulation bit for bit.
TEST(ResampleWeights, MatchPlainFormulationExactly) {
    std::vector<std::pair<int32_t, int32_t>> sizes;
    for (int32_t d = 1; d <= 40; d++)
        for (int32_t s = 1; s <= 40; s++)
            sizes.push_back({d, s});
    const std::pair<int32_t, int32_t> more[] = {{800, 1920}, {600, 1080}, {1600, 640}, {1200, 480},
                                                {7, 1000},   {1000, 7},   {333, 999},  {1, 513}};
    sizes.insert(sizes.end(), std::begin(more), std::end(more));
    for (bool cubic : {true, false})
        for (const auto& [d, s] : sizes) {
            const std::vector<RefList> ref = RefContributions(cubic, d, s);
            ListsOwner got;
            got.lists = ResampleContributions(
                cubic ? RESAMPLE_FILTER_CUBIC : RESAMPLE_FILTER_TRIANGLE, d, s, &got.count);
            ASSERT_EQ(got.count, d);
            for (int32_t i = 0; i < d; i++) {
                ASSERT_EQ(got.lists[i].first, ref[i].first) << d << " from " << s << " at " << i;
                ASSERT_EQ(got.lists[i].last, ref[i].last) << d << " from " << s << " at " << i;
                for (size_t j = 0; j < ref[i].weights.size(); j++)
                    ASSERT_EQ(got.lists[i].weights[j], ref[i].weights[j])
                        << d << " from " << s << " at " << i << " weight " << j;
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

TEST(ResampleExamples, OvershootIsClamped) {
    // 2 -> 4 weights (1.0309, -0.0309): 240 * -0.0309 is -7.4 and 255 * 1.0309 is 262.9.
    Bytes low = Resample({0, 240}, 2, 1, 4, 1, 1);
    EXPECT_EQ(low[0], 0);
    EXPECT_EQ(low[3], 247);
    Bytes high = Resample({255, 0}, 2, 1, 4, 1, 1);
    EXPECT_EQ(high[0], 255);
    EXPECT_EQ(high[3], 0);
    // Clamping in every lane of the vector paths too: a wide checkerboard, enlarged both ways.
    Bytes board(64 * 64 * 3);
    for (size_t i = 0; i < board.size(); i++)
        board[i] = ((i / 3) % 64 + (i / 3) / 64) % 2 ? 255 : 0;
    const Bytes got = Resample(board, 64, 64, 150, 150, 3);
    EXPECT_EQ(got, RefResample(board, 64, 64, 150, 150, 3, true));
}

// With sh * dw equal to sw * dh both orders keep the same intermediate; rows go first.
TEST(ResampleExamples, TieResamplesRowsFirst) {
    std::mt19937 rng(4);
    bool differed = false;
    for (int attempt = 0; attempt < 50 && !differed; attempt++) {
        const Bytes src = RandomBytes(rng, 2 * 3);
        const Bytes rowsFirst = RefResample(src, 2, 3, 4, 6, 1, true);
        const Bytes columnsFirst = RefResample(src, 2, 3, 4, 6, 1, false);
        if (rowsFirst == columnsFirst)
            continue;
        differed = true;
        EXPECT_EQ(Resample(src, 2, 3, 4, 6, 1), rowsFirst);
    }
    ASSERT_TRUE(differed) << "no content told the two orders apart";
}

TEST(ResampleExamples, OrderFollowsTheSmallerIntermediate) {
    std::mt19937 rng(5);
    struct Case {
        int32_t sw, sh, dw, dh;
        bool rowsFirst;
    };
    const Case cases[] = {
        {9, 5, 3, 7, true}, {5, 9, 7, 3, false}, {16, 4, 5, 11, true}, {4, 16, 11, 5, false}};
    for (const Case& c : cases) {
        bool differed = false;
        for (int attempt = 0; attempt < 50 && !differed; attempt++) {
            const Bytes src = RandomBytes(rng, size_t(c.sw) * c.sh * 2);
            const Bytes want = RefResample(src, c.sw, c.sh, c.dw, c.dh, 2, c.rowsFirst);
            if (want == RefResample(src, c.sw, c.sh, c.dw, c.dh, 2, !c.rowsFirst))
                continue;
            differed = true;
            EXPECT_EQ(Resample(src, c.sw, c.sh, c.dw, c.dh, 2), want) << c.sw << "x" << c.sh;
        }
        EXPECT_TRUE(differed) << c.sw << "x" << c.sh;
    }
}

// ---------------------------------------------------------------------------------------------
// The vector paths against the plain formulation

TEST(ResampleExactness, RandomSizesAndContents) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 400; i++) {
        const int32_t bpp = 1 + int32_t(rng() % 4);
        const int32_t sw = 1 + int32_t(rng() % 37), sh = 1 + int32_t(rng() % 37);
        const int32_t dw = 1 + int32_t(rng() % 45), dh = 1 + int32_t(rng() % 45);
        const Bytes src = RandomBytes(rng, size_t(sw) * sh * bpp);
        const bool rowsFirst = int64_t(sh) * dw <= int64_t(sw) * dh;
        ASSERT_EQ(Resample(src, sw, sh, dw, dh, bpp),
                  RefResample(src, sw, sh, dw, dh, bpp, rowsFirst))
            << "case " << i << ": " << sw << "x" << sh << " -> " << dw << "x" << dh << " at "
            << bpp;
    }
}

TEST(ResampleExactness, LargerShrinkAndEnlarge) {
    std::mt19937 rng(7);
    const int32_t cases[][4] = {{193, 107, 80, 60}, {64, 48, 161, 121}, {300, 5, 17, 40}};
    for (const auto& c : cases)
        for (int32_t bpp : {1, 3, 4}) {
            const Bytes src = RandomBytes(rng, size_t(c[0]) * c[1] * bpp);
            const bool rowsFirst = int64_t(c[1]) * c[2] <= int64_t(c[0]) * c[3];
            ASSERT_EQ(Resample(src, c[0], c[1], c[2], c[3], bpp),
                      RefResample(src, c[0], c[1], c[2], c[3], bpp, rowsFirst))
                << c[0] << "x" << c[1] << " at " << bpp;
        }
}

TEST(ResampleExactness, SinglePasses) {
    std::mt19937 rng(11);
    for (int i = 0; i < 150; i++) {
        const int32_t bpp = 1 + int32_t(rng() % 4);
        const int32_t sw = 1 + int32_t(rng() % 50), sh = 1 + int32_t(rng() % 30);
        const int32_t d = 1 + int32_t(rng() % 50);
        const Bytes src = RandomBytes(rng, size_t(sw) * sh * bpp);

        Bytes rows(size_t(d) * sh * bpp, 0xCD);
        ASSERT_EQ(ResampleRows(src.data(), sw, rows.data(), d, sh, bpp), 1);
        ASSERT_EQ(rows, RefRows(src, sw, d, sh, bpp)) << "rows case " << i;

        // Fewer columns than the source rows hold: the source stride stays the full row.
        const int32_t columns = 1 + int32_t(rng() % sw);
        Bytes cols(size_t(columns) * d * bpp, 0xCD);
        ASSERT_EQ(ResampleColumns(src.data(), sw, sh, cols.data(), columns, d, bpp), 1);
        ASSERT_EQ(cols, RefColumns(src, sw, sh, columns, d, bpp)) << "columns case " << i;
    }
}

// Strong shrinks in height have so many contributors that the columns pass sweeps the rows in
// narrow strips; the strips and their ragged last one must add up to the plain results.
TEST(ResampleExactness, TallShrinkSweptInStrips) {
    std::mt19937 rng(12);
    const Bytes src = RandomBytes(rng, 50 * 400 * 3);
    Bytes cols(50 * 3 * 3, 0xCD);
    ASSERT_EQ(ResampleColumns(src.data(), 50, 400, cols.data(), 50, 3, 3), 1);
    EXPECT_EQ(cols, RefColumns(src, 50, 400, 50, 3, 3));

    const Bytes wide = RandomBytes(rng, 300 * 500 * 1);
    EXPECT_EQ(Resample(wide, 300, 500, 20, 4, 1), RefResample(wide, 300, 500, 20, 4, 1, false));
}

// ---------------------------------------------------------------------------------------------
// Refusals: nothing is written

TEST(ResampleRefusals, BadArgumentsLeaveTheDestinationAlone) {
    const Bytes src(64, 9);
    Bytes dst(64, 0xAB);
    const Bytes untouched = dst;
    const struct {
        int32_t sw, sh, dw, dh, bits;
    } cases[] = {
        {0, 2, 2, 2, 24},
        {2, 0, 2, 2, 24},
        {2, 2, 0, 2, 24},
        {2, 2, 2, 0, 24},
        {-2, 2, 2, 2, 24},
        {2, 2, 2, -1, 24},
        {2, 2, 2, 2, 7},
        {2, 2, 2, 2, 40},
        {2, 2, 2, 2, 0},
        {2, 2, 2, 2, -8},
        {INT32_MAX, INT32_MAX, 2, 2, 32},
        {1, 1, INT32_MAX, INT32_MAX, 32},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        const auto& c = cases[i];
        EXPECT_EQ(ImageResample(src.data(), c.sw, c.sh, dst.data(), c.dw, c.dh, c.bits), 0)
            << "case " << i;
        EXPECT_EQ(dst, untouched) << "case " << i;
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
    // op writes into dst and returns its result; want is what the whole run produces.
    template <typename Op> int64_t FailEachAllocation(Op op, Bytes& dst, const Bytes& want) {
        std::fill(dst.begin(), dst.end(), uint8_t(0xAB));
        FailingAllocator::calls = 0;
        EXPECT_EQ(op(), 1);
        EXPECT_EQ(dst, want);
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
    std::mt19937 rng(3);
    // Rows first (5 * 4 <= 7 * 6), then columns first (9 * 6 > 3 * 5).
    const int32_t cases[][4] = {{7, 5, 4, 6}, {3, 9, 6, 5}};
    for (const auto& c : cases) {
        const Bytes src = RandomBytes(rng, size_t(c[0]) * c[1] * 3);
        const bool rowsFirst = int64_t(c[1]) * c[2] <= int64_t(c[0]) * c[3];
        const Bytes want = RefResample(src, c[0], c[1], c[2], c[3], 3, rowsFirst);
        Bytes dst(want.size());
        const int64_t total = FailEachAllocation(
            [&] { return ImageResample(src.data(), c[0], c[1], dst.data(), c[2], c[3], 24); }, dst,
            want);
        // Two list arrays, a weight array per output sample, two scratch blocks, the middle.
        EXPECT_EQ(total, 2 + c[2] + c[3] + 2 + 1);
    }
}

TEST_F(ResampleAllocation, SinglePassesAndListsFailCleanly) {
    std::mt19937 rng(8);
    const Bytes src = RandomBytes(rng, 6 * 4 * 2);
    Bytes rows(9 * 4 * 2);
    EXPECT_EQ(FailEachAllocation([&] { return ResampleRows(src.data(), 6, rows.data(), 9, 4, 2); },
                                 rows, RefRows(src, 6, 9, 4, 2)),
              1 + 9 + 1);
    Bytes cols(5 * 3 * 2);
    EXPECT_EQ(
        FailEachAllocation([&] { return ResampleColumns(src.data(), 6, 4, cols.data(), 5, 3, 2); },
                           cols, RefColumns(src, 6, 4, 5, 3, 2)),
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
