#include "image/resample.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdlib>

namespace {

CubicCoefficients cubic;

void* MallocBlock(size_t bytes) { return std::malloc(bytes); }
void FreeBlock(void* block) { std::free(block); }

ResampleAllocFn allocateFn = MallocBlock;
ResampleFreeFn releaseFn = FreeBlock;

void* Allocate(size_t bytes) { return allocateFn(bytes ? bytes : 1); }
void Release(void* block) {
    if (block)
        releaseFn(block);
}

// Every buffer must be addressable with signed offsets, so a block may not exceed PTRDIFF_MAX
// (2 GiB on the 32-bit target, where width * height * 4 of two int32 sizes easily passes it).
bool BlockSize(uint64_t a, uint64_t b, uint64_t c, size_t* bytes) {
    const uint64_t most = PTRDIFF_MAX;
    if (a == 0 || b == 0 || c == 0)
        return false;
    if (a > most / b)
        return false;
    const uint64_t ab = a * b;
    if (ab > most / c)
        return false;
    *bytes = static_cast<size_t>(ab * c);
    return true;
}

// Conversion of a finished sum to a channel byte: truncate (sum + 0.5) toward zero, then clamp.
// Written with comparisons first so that no out-of-range double is ever converted to int; the
// vector paths get the same bytes from cvttpd and saturating packs.
inline uint8_t ChannelByte(double sum) {
    const double v = sum + 0.5;
    if (!(v >= 1.0))
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<uint8_t>(static_cast<int32_t>(v));
}

// Four rows are filtered together, one per double lane across two SSE2 registers: the rows
// share every weight, so each lane keeps its own sum in the one source order and the results
// are those of the scalar formulation.
constexpr int ROW_LANES = 4;

// Rows of doubles the columns pass keeps converted, at most about 256 KiB so that they stay in
// the second-level cache while every destination row of a sweep reads them.
constexpr size_t RING_BUDGET_DOUBLES = 32768;

struct Pass {
    ContributionList* lists;
    int32_t count;
    int32_t widest;     // most contributors of any list
    size_t strip;       // columns pass: bytes of a row filtered per sweep
    size_t stripStride; // columns pass: doubles from one converted row to the next
    void* scratchBlock; // as allocated
    double* scratch;    // 16-byte aligned inside scratchBlock
};

void PassFree(Pass* pass) {
    if (pass->lists)
        ContributionsFree(pass->count, pass->lists);
    Release(pass->scratchBlock);
    *pass = Pass{};
}

bool PassLists(Pass* pass, int32_t destSize, int32_t sourceSize) {
    *pass = Pass{};
    pass->lists = ResampleContributions(RESAMPLE_FILTER_CUBIC, destSize, sourceSize, &pass->count);
    if (!pass->lists)
        return false;
    pass->widest = 1;
    for (int32_t i = 0; i < pass->count; i++) {
        const int32_t n = pass->lists[i].last - pass->lists[i].first + 1;
        if (n > pass->widest)
            pass->widest = n;
    }
    return true;
}

bool PassScratch(Pass* pass, uint64_t doubles) {
    size_t bytes;
    if (!BlockSize(doubles, sizeof(double), 1, &bytes) || bytes > PTRDIFF_MAX - 16)
        return PassFree(pass), false;
    // 32-bit malloc only promises 8-byte alignment.
    pass->scratchBlock = Allocate(bytes + 16);
    if (!pass->scratchBlock)
        return PassFree(pass), false;
    const uintptr_t at = reinterpret_cast<uintptr_t>(pass->scratchBlock);
    pass->scratch = reinterpret_cast<double*>((at + 15) & ~uintptr_t(15));
    return true;
}

// Scratch: the doubles of four source rows.
bool RowsPassMake(Pass* pass, int32_t destWidth, int32_t sourceWidth, int32_t bytesPerPixel) {
    return PassLists(pass, destWidth, sourceWidth) &&
           PassScratch(pass, uint64_t(sourceWidth) * bytesPerPixel * ROW_LANES);
}

// Scratch: a ring of converted source rows, as many as the widest list, cut into strips when
// whole rows would not fit the budget.
bool ColumnsPassMake(Pass* pass, int32_t destHeight, int32_t sourceHeight, size_t rowBytes) {
    if (!PassLists(pass, destHeight, sourceHeight))
        return false;
    const size_t widest = size_t(pass->widest);
    size_t strip = rowBytes;
    if (rowBytes > RING_BUDGET_DOUBLES / widest) {
        strip = (RING_BUDGET_DOUBLES / widest) & ~size_t(15);
        if (strip < 16)
            strip = 16;
        if (strip > rowBytes)
            strip = rowBytes;
    }
    pass->strip = strip;
    pass->stripStride = (strip + 1) & ~size_t(1);
    return PassScratch(pass, uint64_t(widest) * pass->stripStride);
}

// Doubles of four rows interleaved by byte: block[p * 4 + r] = rows[r][p].
void InterleaveRows(const uint8_t* const rows[ROW_LANES], size_t rowBytes, double* block) {
    const __m128i zero = _mm_setzero_si128();
    size_t p = 0;
    for (; p + 8 <= rowBytes; p += 8) {
        const __m128i r0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[0] + p));
        const __m128i r1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[1] + p));
        const __m128i r2 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[2] + p));
        const __m128i r3 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[3] + p));
        const __m128i r01 = _mm_unpacklo_epi8(r0, r1);
        const __m128i r23 = _mm_unpacklo_epi8(r2, r3);
        const __m128i quads[2] = {_mm_unpacklo_epi16(r01, r23), _mm_unpackhi_epi16(r01, r23)};
        double* out = block + p * ROW_LANES;
        for (const __m128i q : quads) {
            const __m128i words[2] = {_mm_unpacklo_epi8(q, zero), _mm_unpackhi_epi8(q, zero)};
            for (const __m128i w : words) {
                const __m128i lo = _mm_unpacklo_epi16(w, zero);
                const __m128i hi = _mm_unpackhi_epi16(w, zero);
                _mm_store_pd(out, _mm_cvtepi32_pd(lo));
                _mm_store_pd(out + 2, _mm_cvtepi32_pd(_mm_srli_si128(lo, 8)));
                _mm_store_pd(out + 4, _mm_cvtepi32_pd(hi));
                _mm_store_pd(out + 6, _mm_cvtepi32_pd(_mm_srli_si128(hi, 8)));
                out += 8;
            }
        }
    }
    for (; p < rowBytes; p++)
        for (int r = 0; r < ROW_LANES; r++)
            block[p * ROW_LANES + r] = rows[r][p];
}

template <int BPP>
void RowsRun(const Pass& pass, const uint8_t* source, int32_t sourceWidth, uint8_t* destination,
             int32_t destWidth, int32_t rows) {
    const size_t inBytes = size_t(sourceWidth) * BPP;
    const size_t outBytes = size_t(destWidth) * BPP;
    const __m128d half = _mm_set1_pd(0.5);
    for (int32_t r0 = 0; r0 < rows; r0 += ROW_LANES) {
        const int live = rows - r0 < ROW_LANES ? rows - r0 : ROW_LANES;
        const uint8_t* in[ROW_LANES];
        uint8_t* out[ROW_LANES];
        for (int r = 0; r < ROW_LANES; r++) {
            // Lanes past the last row repeat it and are never stored.
            const int32_t row = r0 + (r < live ? r : live - 1);
            in[r] = source + size_t(row) * inBytes;
            out[r] = destination + size_t(row) * outBytes;
        }
        InterleaveRows(in, inBytes, pass.scratch);
        for (int32_t x = 0; x < destWidth; x++) {
            const ContributionList& list = pass.lists[x];
            __m128d acc[BPP][2];
            for (int c = 0; c < BPP; c++)
                acc[c][0] = acc[c][1] = _mm_setzero_pd();
            const int32_t n = list.last - list.first + 1;
            if (n > 0) {
                const double* t = pass.scratch + size_t(list.first) * BPP * ROW_LANES;
                for (int32_t j = 0; j < n; j++, t += BPP * ROW_LANES) {
                    const __m128d w = _mm_set1_pd(list.weights[j]);
                    for (int c = 0; c < BPP; c++) {
                        acc[c][0] = _mm_add_pd(acc[c][0], _mm_mul_pd(_mm_load_pd(t + 4 * c), w));
                        acc[c][1] =
                            _mm_add_pd(acc[c][1], _mm_mul_pd(_mm_load_pd(t + 4 * c + 2), w));
                    }
                }
            }
            for (int c = 0; c < BPP; c++) {
                const __m128i lo = _mm_cvttpd_epi32(_mm_add_pd(acc[c][0], half));
                const __m128i hi = _mm_cvttpd_epi32(_mm_add_pd(acc[c][1], half));
                __m128i v = _mm_unpacklo_epi64(lo, hi);
                v = _mm_packs_epi32(v, v);
                v = _mm_packus_epi16(v, v);
                const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
                for (int r = 0; r < live; r++)
                    out[r][size_t(x) * BPP + c] = static_cast<uint8_t>(bytes >> (8 * r));
            }
        }
    }
}

void RowsDispatch(const Pass& pass, const uint8_t* source, int32_t sourceWidth,
                  uint8_t* destination, int32_t destWidth, int32_t rows, int32_t bytesPerPixel) {
    switch (bytesPerPixel) {
    case 1:
        return RowsRun<1>(pass, source, sourceWidth, destination, destWidth, rows);
    case 2:
        return RowsRun<2>(pass, source, sourceWidth, destination, destWidth, rows);
    case 3:
        return RowsRun<3>(pass, source, sourceWidth, destination, destWidth, rows);
    default:
        return RowsRun<4>(pass, source, sourceWidth, destination, destWidth, rows);
    }
}

// Exact doubles of bytes, into 16-byte aligned storage when p advances from an aligned start.
void BytesToDoubles(const uint8_t* in, size_t n, double* out) {
    const __m128i zero = _mm_setzero_si128();
    size_t p = 0;
    for (; p + 16 <= n; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + p));
        const __m128i words[2] = {_mm_unpacklo_epi8(bytes, zero), _mm_unpackhi_epi8(bytes, zero)};
        for (int h = 0; h < 2; h++) {
            const __m128i lo = _mm_unpacklo_epi16(words[h], zero);
            const __m128i hi = _mm_unpackhi_epi16(words[h], zero);
            double* o = out + p + 8 * h;
            _mm_store_pd(o, _mm_cvtepi32_pd(lo));
            _mm_store_pd(o + 2, _mm_cvtepi32_pd(_mm_srli_si128(lo, 8)));
            _mm_store_pd(o + 4, _mm_cvtepi32_pd(hi));
            _mm_store_pd(o + 6, _mm_cvtepi32_pd(_mm_srli_si128(hi, 8)));
        }
    }
    for (; p < n; p++)
        out[p] = in[p];
}

// Every byte of a destination row is a sum over the same source rows with the same weights,
// so the bytes of a row are filtered side by side, sixteen at a time, each in its own lane.
// Source rows are converted to doubles once into a ring and read from there by every
// destination row that needs them.
void ColumnsRun(const Pass& pass, const uint8_t* source, size_t sourceRowBytes,
                uint8_t* destination, size_t rowBytes, int32_t destHeight) {
    const __m128d half = _mm_set1_pd(0.5);
    const int64_t ringRows = pass.widest;
    const size_t stride = pass.stripStride;
    double* const ring = pass.scratch;
    for (size_t s0 = 0; s0 < rowBytes; s0 += pass.strip) {
        const size_t width = pass.strip < rowBytes - s0 ? pass.strip : rowBytes - s0;
        // The ring holds source rows held..next-1, row k in slot k % ringRows.
        int64_t held = 0, next = 0;
        for (int32_t y = 0; y < destHeight; y++) {
            const ContributionList& list = pass.lists[y];
            const int32_t n = list.last - list.first + 1;
            uint8_t* out = destination + size_t(y) * rowBytes + s0;
            if (n <= 0) {
                for (size_t p = 0; p < width; p++)
                    out[p] = ChannelByte(0);
                continue;
            }
            if (list.first < held || list.first > next)
                held = next = list.first;
            for (; next <= list.last; next++)
                BytesToDoubles(source + size_t(next) * sourceRowBytes + s0, width,
                               ring + size_t(next % ringRows) * stride);
            if (held < next - ringRows)
                held = next - ringRows;

            const size_t firstSlot = size_t(list.first % ringRows);
            size_t p = 0;
            for (; p + 16 <= width; p += 16) {
                __m128d acc[8];
                for (__m128d& a : acc)
                    a = _mm_setzero_pd();
                size_t slot = firstSlot;
                for (int32_t j = 0; j < n; j++) {
                    const __m128d w = _mm_set1_pd(list.weights[j]);
                    const double* in = ring + slot * stride + p;
                    for (int i = 0; i < 8; i++)
                        acc[i] = _mm_add_pd(acc[i], _mm_mul_pd(_mm_load_pd(in + 2 * i), w));
                    if (++slot == size_t(ringRows))
                        slot = 0;
                }
                __m128i quads[4];
                for (int q = 0; q < 4; q++) {
                    const __m128i lo = _mm_cvttpd_epi32(_mm_add_pd(acc[2 * q], half));
                    const __m128i hi = _mm_cvttpd_epi32(_mm_add_pd(acc[2 * q + 1], half));
                    quads[q] = _mm_unpacklo_epi64(lo, hi);
                }
                const __m128i v = _mm_packus_epi16(_mm_packs_epi32(quads[0], quads[1]),
                                                   _mm_packs_epi32(quads[2], quads[3]));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + p), v);
            }
            for (; p < width; p++) {
                double acc = 0;
                size_t slot = firstSlot;
                for (int32_t j = 0; j < n; j++) {
                    acc += ring[slot * stride + p] * list.weights[j];
                    if (++slot == size_t(ringRows))
                        slot = 0;
                }
                out[p] = ChannelByte(acc);
            }
        }
    }
}

bool BytesPerPixelValid(int32_t bytesPerPixel) { return bytesPerPixel >= 1 && bytesPerPixel <= 4; }

} // namespace

void CubicFilterSetup(double b, double c) {
    cubic.p0 = (6 - 2 * b) / 6;
    cubic.p2 = (-18 + 12 * b + 6 * c) / 6;
    cubic.p3 = (12 - 9 * b - 6 * c) / 6;
    cubic.q0 = (8 * b + 24 * c) / 6;
    cubic.q1 = (-12 * b - 48 * c) / 6;
    cubic.q2 = (6 * b + 30 * c) / 6;
    cubic.q3 = (-b - 6 * c) / 6;
}

double CubicFilter(double x) {
    const double a = std::fabs(x);
    if (a < 1)
        return (cubic.p3 * a + cubic.p2) * (a * a) + cubic.p0;
    if (a < 2)
        return ((cubic.q3 * a + cubic.q2) * a + cubic.q1) * a + cubic.q0;
    return 0;
}

double TriangleFilter(double x) {
    const double a = std::fabs(x);
    return a < 1 ? 1 - a : 0;
}

const CubicCoefficients& CubicCoefficientsGet() { return cubic; }

void ResampleAllocatorSet(ResampleAllocFn allocate, ResampleFreeFn release) {
    if (allocate && release) {
        allocateFn = allocate;
        releaseFn = release;
    } else {
        allocateFn = MallocBlock;
        releaseFn = FreeBlock;
    }
}

ContributionList* ResampleContributions(ResampleFilter filter, int32_t destSize, int32_t sourceSize,
                                        int32_t* count) {
    if (count)
        *count = 0;
    if (!count || destSize < 1 || sourceSize < 1)
        return nullptr;
    if (filter != RESAMPLE_FILTER_CUBIC && filter != RESAMPLE_FILTER_TRIANGLE)
        return nullptr;
    double support = 1;
    double (*kernel)(double) = TriangleFilter;
    if (filter == RESAMPLE_FILTER_CUBIC) {
        CubicFilterSetup(1.0 / 3.0, 1.0 / 3.0);
        support = 2;
        kernel = CubicFilter;
    }
    const double scale = double(destSize) / double(sourceSize);
    double width = support;
    double filterScale = 1;
    if (scale < 1) {
        width = support / scale;
        filterScale = scale;
    }
    const double most = 2 * std::ceil(width) + 1;
    // A list never reaches past either end of the source, so a shrink to a handful of samples
    // needs no more room than the source has samples.
    const uint64_t room = most < double(sourceSize) ? uint64_t(most) : uint64_t(sourceSize);
    size_t listBytes, weightBytes;
    if (!BlockSize(uint64_t(destSize), sizeof(ContributionList), 1, &listBytes) ||
        !BlockSize(room, sizeof(double), 1, &weightBytes))
        return nullptr;
    auto* lists = static_cast<ContributionList*>(Allocate(listBytes));
    if (!lists)
        return nullptr;
    for (int32_t i = 0; i < destSize; i++)
        lists[i] = ContributionList{nullptr, 0, -1};
    for (int32_t i = 0; i < destSize; i++) {
        lists[i].weights = static_cast<double*>(Allocate(weightBytes));
        if (!lists[i].weights) {
            ContributionsFree(destSize, lists);
            return nullptr;
        }
    }
    const double offset = 0.5 / scale - 0.5;
    for (int32_t i = 0; i < destSize; i++) {
        // Kept exactly in this form: an algebraically equal centre rounds differently and
        // moves exact .5 ties between neighbouring outputs.
        const double center = i / scale + offset;
        // Clamped as doubles: for large shrinks the unclamped ends lie beyond int32.
        const double low = std::floor(center - width);
        const double high = std::ceil(center + width);
        int32_t first = low < 0 ? 0 : low >= sourceSize ? sourceSize : int32_t(low);
        int32_t last = high >= sourceSize - 1 ? sourceSize - 1 : high < -1 ? -1 : int32_t(high);
        // One step is enough with exact arithmetic; rounding of center +- width can open the
        // span by one more, and the weights have no room for it.
        while (double(last) - first + 1 > most) {
            if (first < sourceSize)
                first++;
            else
                last--;
        }
        lists[i].first = first;
        lists[i].last = last;
        if (first > last)
            continue;
        double* weights = lists[i].weights;
        double sum = 0;
        for (int32_t j = first; j <= last; j++) {
            const double w = kernel((center - j) * filterScale) * filterScale;
            weights[j - first] = w;
            sum += w;
        }
        if (sum > 0 && sum != 1)
            for (int32_t j = 0; j <= last - first; j++)
                weights[j] /= sum;
    }
    *count = destSize;
    return lists;
}

void ContributionsFree(int32_t count, ContributionList* lists) {
    if (!lists)
        return;
    for (int32_t i = 0; i < count; i++)
        Release(lists[i].weights);
    Release(lists);
}

int ResampleRows(const uint8_t* source, int32_t sourceWidth, uint8_t* destination,
                 int32_t destWidth, int32_t rows, int32_t bytesPerPixel) {
    size_t bytes;
    if (!source || !destination || sourceWidth < 1 || destWidth < 1 || rows < 1 ||
        !BytesPerPixelValid(bytesPerPixel) ||
        !BlockSize(uint64_t(sourceWidth), uint64_t(rows), uint64_t(bytesPerPixel), &bytes) ||
        !BlockSize(uint64_t(destWidth), uint64_t(rows), uint64_t(bytesPerPixel), &bytes))
        return 0;
    Pass pass;
    if (!RowsPassMake(&pass, destWidth, sourceWidth, bytesPerPixel))
        return 0;
    RowsDispatch(pass, source, sourceWidth, destination, destWidth, rows, bytesPerPixel);
    PassFree(&pass);
    return 1;
}

int ResampleColumns(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                    uint8_t* destination, int32_t columns, int32_t destHeight,
                    int32_t bytesPerPixel) {
    size_t bytes;
    // More columns than a source row holds would read past the last source row.
    if (!source || !destination || sourceWidth < 1 || sourceHeight < 1 || columns < 1 ||
        columns > sourceWidth || destHeight < 1 || !BytesPerPixelValid(bytesPerPixel) ||
        !BlockSize(uint64_t(sourceWidth), uint64_t(sourceHeight), uint64_t(bytesPerPixel),
                   &bytes) ||
        !BlockSize(uint64_t(columns), uint64_t(destHeight), uint64_t(bytesPerPixel), &bytes))
        return 0;
    Pass pass;
    if (!ColumnsPassMake(&pass, destHeight, sourceHeight, size_t(columns) * bytesPerPixel))
        return 0;
    ColumnsRun(pass, source, size_t(sourceWidth) * bytesPerPixel, destination,
               size_t(columns) * bytesPerPixel, destHeight);
    PassFree(&pass);
    return 1;
}

int ImageResample(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                  uint8_t* destination, int32_t destWidth, int32_t destHeight,
                  int32_t bitsPerPixel) {
    if (!source || !destination || sourceWidth < 1 || sourceHeight < 1 || destWidth < 1 ||
        destHeight < 1 || bitsPerPixel < 8 || bitsPerPixel > 32)
        return 0;
    const int32_t bpp = bitsPerPixel / 8;
    size_t bytes;
    if (!BlockSize(uint64_t(sourceWidth), uint64_t(sourceHeight), uint64_t(bpp), &bytes) ||
        !BlockSize(uint64_t(destWidth), uint64_t(destHeight), uint64_t(bpp), &bytes))
        return 0;
    // Ties go to rows first.
    const bool rowsFirst = int64_t(sourceHeight) * destWidth <= int64_t(sourceWidth) * destHeight;
    size_t middleBytes;
    const bool middleFits =
        rowsFirst
            ? BlockSize(uint64_t(sourceHeight), uint64_t(destWidth), uint64_t(bpp), &middleBytes)
            : BlockSize(uint64_t(sourceWidth), uint64_t(destHeight), uint64_t(bpp), &middleBytes);
    if (!middleFits)
        return 0;

    // Everything is allocated before the first byte is written, so a failure leaves the
    // destination as it was.
    Pass rows{}, columns{};
    bool made;
    if (rowsFirst)
        made = RowsPassMake(&rows, destWidth, sourceWidth, bpp) &&
               ColumnsPassMake(&columns, destHeight, sourceHeight, size_t(destWidth) * bpp);
    else
        made = ColumnsPassMake(&columns, destHeight, sourceHeight, size_t(sourceWidth) * bpp) &&
               RowsPassMake(&rows, destWidth, sourceWidth, bpp);
    uint8_t* middle = made ? static_cast<uint8_t*>(Allocate(middleBytes)) : nullptr;
    if (!middle) {
        if (rowsFirst) {
            PassFree(&columns);
            PassFree(&rows);
        } else {
            PassFree(&rows);
            PassFree(&columns);
        }
        return 0;
    }

    if (rowsFirst) {
        RowsDispatch(rows, source, sourceWidth, middle, destWidth, sourceHeight, bpp);
        ColumnsRun(columns, middle, size_t(destWidth) * bpp, destination, size_t(destWidth) * bpp,
                   destHeight);
    } else {
        ColumnsRun(columns, source, size_t(sourceWidth) * bpp, middle, size_t(sourceWidth) * bpp,
                   destHeight);
        RowsDispatch(rows, middle, sourceWidth, destination, destWidth, destHeight, bpp);
    }
    Release(middle);
    PassFree(&rows);
    PassFree(&columns);
    return 1;
}
