// Where the black boxes are in a back buffer, found cheaply enough to run before every Present:
// a sparse grid of probes, then a local search for the bounds of each black region a probe hit.
// Plain CPU work on the locked pixels, no Windows in it, so the host's tests reach it.
//
// The grid's step is the box's size, 20: every whole 20x20 box covers exactly one grid column
// and one grid row, so no box is missed, and an 800x600 buffer costs 40 x 30 = 1,200 reads plus
// about 80 short line scans a box instead of 480,000 reads. What it can miss is a black region
// narrower or lower than a box lying between grid lines, which no frame drawn whole contains.
#pragma once
#include <cstdint>

#include "present_record.h"

// A back buffer's pixels as the lock hands them out. bytesPerPixel is 4 (X8R8G8B8, A8R8G8B8)
// or 2 (R5G6B5, X1R5G5B5); a pixel is black when its value masked with colourMask is 0.
struct ProbeImage {
    const uint8_t* bits;
    int pitch; // bytes from one row to the next
    int width, height;
    int bytesPerPixel;
    uint32_t colourMask; // 0xFFFFFF, 0xFFFF (R5G6B5) or 0x7FFF (X1R5G5B5)
};

// The grid step: the box's size.
const int PROBE_STEP = 20;

// Finds the black regions: each one's bounding box, grown from the probe that hit it until no
// black pixel touches it from outside (side by side, not corner to corner, as the checker joins
// pixels), so that a solid box, or boxes drawn over each other, give the bounds the checker
// finds on the screen. Writes the first `capacity` in scan order of the probe that hit them and
// returns how many there are, which may be more.
int ProbeBoxes(const ProbeImage& image, PresentBox* boxes, int capacity);
