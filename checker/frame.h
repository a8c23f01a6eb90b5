// What one grabbed frame of the screen shows: the black regions (4-connected components of
// pure black pixels) with their bounding boxes, and the pixels that are neither the picture's
// grey nor black. Plain CPU work on a copy of the pixels, no X.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The picture a correct frame shows (its size, grey, box and the range of the box's corner).
#include "app/picture.h"

struct FrameBox {
    int x, y;          // top-left corner of the bounding box
    int width, height; // of the bounding box
    int pixels;        // black pixels in the region
};

struct FrameReport {
    std::vector<FrameBox> boxes; // in scan order of their first pixel (top to bottom)
    int otherPixels;             // neither grey nor black
    int backgroundPixels;        // of those, the pixels of the child window's background
    int otherX, otherY;          // the first of the rest, scan order (-1 when none)
    uint32_t otherColour;        // its colour, 0xRRGGBB
};

// The background the screen's STATIC child paints under Wine: when it shows through, the frame
// presented into the child did not reach the screen at that moment (a flash).
const uint32_t CHILD_BACKGROUND = 0xF5F5F5;

// pixels: width * height values 0x??RRGGBB, rows top to bottom (the top byte is ignored). The
// checker calls it for every frame that lands, so the common picture (grey and one box) costs
// one pass over the pixels and no allocation after the first call.
FrameReport FrameAnalyse(const uint32_t* pixels, int width, int height);

// Whether two reports say the same of their frames: the same regions in the same places, the
// same stray pixels.
bool FrameSame(const FrameReport& a, const FrameReport& b);

// Whether any pixel of the frame is the picture's grey: a frame of the program at all, rather
// than a window's background before its first present. pixels: a whole picture's.
bool FrameShowsGrey(const uint32_t* pixels);

// A copy of a whole picture's pixels, kept past the grab buffer they came in; empty for null.
std::vector<uint32_t> FrameCopy(const uint32_t* pixels);

// Whether the frame shows the child window's background anywhere.
inline bool FrameIsFlash(const FrameReport& report) { return report.backgroundPixels > 0; }

// Whether the frame is made of rows of different frames (a torn frame): nothing but grey and
// black, every black region within a box's size, and at least one of them cut short, narrower
// or lower than a box. Wine 8.0's Vulkan renderer leaves such pictures on the screen when it
// presents into a child window.
bool FrameIsTorn(const FrameReport& report);

// Exactly one solid box of BOX_SIZE inside the range and nothing but grey around it.
bool FrameIsGood(const FrameReport& report);

// "2 boxes at (12,300) and (640,88)", "1 box of 20x13 at (5,9)", "0 boxes; 12 pixels neither
// grey nor black, the first 0xff0000 at (3,4)", "0 boxes; the child window's background
// 0xf5f5f5 over 480000 pixels (a flash)", "3 boxes of ... (a torn frame)", ... for the
// verdict line.
std::string FrameDescribe(const FrameReport& report);
