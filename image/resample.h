// Scaling of plain pixel arrays (rows packed with no padding, one byte per channel, 1 to 4
// channels) with a separable Mitchell-Netravali cubic: one pass filters every row, the other
// every column, through an intermediate byte image. Results are fixed doubles, bit for bit the
// same on every build: each output channel is one double sum taken in source order, with no
// fused multiply-add, then rounded by truncating (sum + 0.5) and clamped to 0..255.
// Memory comes from malloc and free (or the allocator a test installs), never from the private
// heap.
#pragma once

#include <cstddef>
#include <cstdint>

struct ContributionList;

enum ResampleFilter : int32_t {
    RESAMPLE_FILTER_CUBIC = 0,    // Mitchell-Netravali, B = C = 1/3, support 2
    RESAMPLE_FILTER_TRIANGLE = 1, // support 1
};

// 1 when done. 0, with the destination untouched, when a size is below 1, bits per pixel lie
// outside 8..32, a buffer would not fit in the address space, or any allocation fails.
// The destination holds destWidth * destHeight * (bitsPerPixel / 8) bytes.
int ImageResample(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                  uint8_t* destination, int32_t destWidth, int32_t destHeight,
                  int32_t bitsPerPixel);

// One pass each. 1 when done; 0, with the destination untouched, on the refusals above or when
// memory is short. ResampleColumns also refuses more columns than the source rows hold.
int ResampleRows(const uint8_t* source, int32_t sourceWidth, uint8_t* destination,
                 int32_t destWidth, int32_t rows, int32_t bytesPerPixel);
int ResampleColumns(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                    uint8_t* destination, int32_t columns, int32_t destHeight,
                    int32_t bytesPerPixel);

// One list per destination sample, destSize of them, stored through count. Null (count 0) when
// a size is below 1, the weights would not fit in the address space, or memory is short.
ContributionList* ResampleContributions(ResampleFilter filter, int32_t destSize, int32_t sourceSize,
                                        int32_t* count);
// Frees every weight array, then the array; takes lists that were only partly filled.
void ContributionsFree(int32_t count, ContributionList* lists);

// Sets the process-wide cubic coefficients that CubicFilter uses.
void CubicFilterSetup(double b, double c);
double CubicFilter(double x);
double TriangleFilter(double x);

// Allocator seam for tests that make allocations fail; null for either restores malloc/free.
// The release function is never given a null pointer.
using ResampleAllocFn = void* (*)(size_t bytes);
using ResampleFreeFn = void (*)(void* block);
void ResampleAllocatorSet(ResampleAllocFn allocate, ResampleFreeFn release);

struct ContributionList {
    double* weights; // room for every contributor the pass can have
    int32_t first;   // first contributing source index
    int32_t last;    // last contributing source index; below first when nothing contributes
};

struct CubicCoefficients {
    double p0, p2, p3;
    double q0, q1, q2, q3;
};
// Read-only view for tests.
const CubicCoefficients& CubicCoefficientsGet();
