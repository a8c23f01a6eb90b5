// What one grabbed frame of the screen shows: the black regions (4-connected components of
// pure black pixels) with their bounding boxes, and the pixels that are neither the grey
// background 0x888888 nor black. Plain CPU work on a copy of the pixels, no X.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FrameBox {
    int x, y;          // top-left corner of the bounding box
    int width, height; // of the bounding box
    int pixels;        // black pixels in the region
};

struct FrameReport {
    std::vector<FrameBox> boxes; // in scan order of their first pixel (top to bottom)
    int otherPixels;             // neither grey nor black
    int otherX, otherY;          // the first of them, scan order
    uint32_t otherColour;        // its colour, 0xRRGGBB
};

// Every correct frame shows exactly one 20x20 box with its corner in this range.
const int BOX_SIZE = 20;
const int BOX_MIN = 5;
const int BOX_MAX_X = 775;
const int BOX_MAX_Y = 575;
const uint32_t GREY = 0x888888;

// pixels: width * height values 0x??RRGGBB, rows top to bottom (the top byte is ignored).
FrameReport FrameAnalyse(const uint32_t* pixels, int width, int height);

// Exactly one solid 20x20 box inside the range and nothing but grey around it.
bool FrameIsGood(const FrameReport& report);

// Whether the frame could be a grab that caught presents half done: made of bands of rows
// from different correct frames, so every row is grey with at most one 20-pixel black run and
// the pieces are solid, 20 wide, at most 20 high and inside the range. Only such a frame, and
// nothing else, is worth a second look.
bool FrameCouldBeTorn(const FrameReport& report);

// "2 boxes at (12,300) and (640,88)", "1 box of 20x13 at (5,9)", "0 boxes; 12 pixels neither
// grey nor black, the first 0xff0000 at (3,4)", ... for the verdict line.
std::string FrameDescribe(const FrameReport& report);
