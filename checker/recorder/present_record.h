// The present recorder's file: what a d3d9.dll wrapped around the layer under test saw at each
// Present, written by the recorder (a Windows DLL, either width) and read by the checker (Linux).
// Plain fixed-size records of fixed-width little-endian integers, the same on i686, x86_64 and
// the host, so either side reads them with one memcpy and no parsing.
//
//   file   = header, record*
//   header = 32 bytes: magic "OBXPRES1", recordSize (64), boxSlots (4), qpcFrequency, processId
//   record = 64 bytes, one a Present, in the order the program called them
//
// A record's times are QueryPerformanceCounter readings: under Wine 8.0 that counter is Linux's
// CLOCK_MONOTONIC_RAW in units of 1 / qpcFrequency seconds (10,000,000 a second), so
// ticks / qpcFrequency is directly a CLOCK_MONOTONIC_RAW time in seconds (see
// checker/accounting.h for how it was measured). A file cut short by a process that died keeps
// every whole record written before; a trailing partial record is ignored by the reader.
#pragma once
#include <cstdint>

const char PRESENT_MAGIC[8] = {'O', 'B', 'X', 'P', 'R', 'E', 'S', '1'};
const int PRESENT_BOX_SLOTS = 4;

struct PresentFileHeader {
    char magic[8];        // PRESENT_MAGIC
    uint32_t recordSize;  // sizeof(PresentRecord): a reader refuses any other
    uint32_t boxSlots;    // PRESENT_BOX_SLOTS
    int64_t qpcFrequency; // QueryPerformanceFrequency
    uint32_t processId;   // of the program that presented
    uint32_t reserved;
};

// Flags of a record.
const uint8_t PRESENT_READ = 0x01;     // the back buffer was read: boxes[] is what it held
const uint8_t PRESENT_SKIPPED = 0x02;  // not read on purpose (the benchmark's periods without)
const uint8_t PRESENT_OVERFLOW = 0x04; // more black regions than slots: boxCount is the total

struct PresentBox {
    int16_t x, y;          // top-left corner of a black region's bounding box, back-buffer pixels
    int16_t width, height; // of the bounding box
};

struct PresentRecord {
    uint32_t index;    // 1 for the program's first Present, counted over the whole process
    int32_t result;    // the HRESULT the wrapped Present returned
    int64_t qpcCall;   // just before the wrapped Present was called (after the read-back)
    int64_t qpcReturn; // just after it returned
    uint8_t boxCount;  // black regions found in the back buffer (255 at most)
    uint8_t flags;     // PRESENT_*
    uint16_t reserved;
    uint32_t probeTicks;                 // the read-back's own cost in counter ticks
    PresentBox boxes[PRESENT_BOX_SLOTS]; // the first min(boxCount, slots) regions, scan order
};

static_assert(sizeof(PresentFileHeader) == 32, "the header is 32 bytes on every target");
static_assert(sizeof(PresentRecord) == 64, "a record is 64 bytes on every target");
