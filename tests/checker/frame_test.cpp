// The checker's reading of one frame: which pictures are correct, and the words a person reads,
// on frames painted by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame.h"

namespace {

const int W = 800;
const int H = 600;

struct Fill {
    int x, y, w, h;
    uint32_t colour;
};

struct FrameCase {
    const char* name;
    std::vector<Fill> fills; // painted in order on a grey frame
    bool good;
    const char* description;
};

std::vector<uint32_t> Paint(const std::vector<Fill>& fills) {
    // The top byte is not part of the colour; XGetImage leaves it as the server likes.
    std::vector<uint32_t> pixels(W * H, 0xFF000000 | GREY);
    for (const Fill& f : fills)
        for (int y = f.y; y < f.y + f.h; ++y)
            for (int x = f.x; x < f.x + f.w; ++x)
                pixels[y * W + x] = f.colour;
    return pixels;
}

TEST(FrameTest, BoxesStrayColoursAndTheirDescription) {
    const FrameCase cases[] = {
        {"corner of the range", {{5, 5, 20, 20, 0}}, true, "1 box at (5,5)"},
        {"far corner of the range", {{775, 575, 20, 20, 0}}, true, "1 box at (775,575)"},
        {"left of the range",
         {{4, 300, 20, 20, 0}},
         false,
         "1 box at (4,300), outside 5..775 x 5..575"},
        {"below the range",
         {{300, 576, 20, 20, 0}},
         false,
         "1 box at (300,576), outside 5..775 x 5..575"},
        {"nothing drawn", {}, false, "0 boxes"},
        {"two boxes on the same rows",
         {{10, 10, 20, 20, 0}, {400, 15, 20, 20, 0}},
         false,
         "2 boxes at (10,10) and (400,15)"},
        // Rows 10..29 of one frame, rows 30.. of the next: both boxes whole.
        {"two boxes one above the other",
         {{10, 10, 20, 20, 0}, {400, 300, 20, 20, 0}},
         false,
         "2 boxes at (10,10) and (400,300)"},
        {"one box cut by a band of another frame",
         {{100, 200, 20, 20, 0}, {100, 205, 20, 6, GREY}},
         false,
         "2 boxes of 20x5 (100 black pixels) at (100,200) and of 20x9 (180 black pixels) at "
         "(100,211) (a torn frame: rows of different frames)"},
        {"taller than a box",
         {{10, 10, 20, 21, 0}},
         false,
         "1 box of 20x21 (420 black pixels) at (10,10)"},
        {"a pixel missing",
         {{10, 10, 20, 20, 0}, {15, 15, 1, 1, GREY}},
         false,
         "1 box of 20x20 (399 black pixels) at (10,10)"},
        {"touching side by side",
         {{10, 10, 20, 20, 0}, {30, 10, 20, 20, 0}},
         false,
         "1 box of 40x20 (800 black pixels) at (10,10)"},
        // Regions are 4-connected: boxes meeting at a corner stay two, on rows of their own.
        {"touching corner to corner",
         {{10, 10, 20, 20, 0}, {30, 30, 20, 20, 0}},
         false,
         "2 boxes at (10,10) and (30,30)"},
        {"a stray colour beside the box",
         {{10, 10, 20, 20, 0}, {3, 4, 1, 1, 0x123456}},
         false,
         "1 box at (10,10); 1 pixel neither grey nor black, the first 0x123456 at (3,4)"},
        {"nearly black is not black",
         {{10, 10, 20, 20, 0x010000}},
         false,
         "0 boxes; 400 pixels neither grey nor black, the first 0x010000 at (10,10)"},
        {"five boxes",
         {{10, 10, 20, 20, 0},
          {10, 100, 20, 20, 0},
          {10, 200, 20, 20, 0},
          {10, 300, 20, 20, 0},
          {10, 400, 20, 20, 0}},
         false,
         "5 boxes at (10,10), (10,100), (10,200), (10,300) and 1 more"},
        {"the child window's background over the whole frame",
         {{0, 0, W, H, CHILD_BACKGROUND}},
         false,
         "0 boxes; the child window's background 0xf5f5f5 over 480000 pixels (a flash)"},
        {"the child window's background over the top, a box and a stray colour below",
         {{0, 0, W, 100, CHILD_BACKGROUND}, {300, 300, 20, 20, 0}, {3, 400, 2, 1, 0x00ff00}},
         false,
         "1 box at (300,300); the child window's background 0xf5f5f5 over 80000 pixels (a "
         "flash); 2 pixels neither grey nor black, the first 0x00ff00 at (3,400)"},
        {"never cleared to grey",
         {{0, 0, W, H, 0}},
         false,
         "1 box of 800x600 (480000 black pixels) at (0,0), outside 5..775 x 5..575"},
    };
    FrameReport previous = FrameAnalyse(Paint({{0, 0, 1, 1, 0x010101}}).data(), W, H);
    for (const FrameCase& c : cases) {
        std::vector<uint32_t> pixels = Paint(c.fills);
        FrameReport report = FrameAnalyse(pixels.data(), W, H);
        // Every row's picture differs from the row's before it: the still time counts on it.
        EXPECT_TRUE(FrameSame(report, FrameAnalyse(pixels.data(), W, H))) << c.name;
        EXPECT_FALSE(FrameSame(report, previous)) << c.name;
        previous = report;
        EXPECT_EQ(FrameIsGood(report), c.good) << c.name;
        EXPECT_EQ(FrameDescribe(report), c.description) << c.name;
    }
}

TEST(FrameTest, RegionPlacesAndSizes) {
    std::vector<uint32_t> pixels =
        Paint({{700, 20, 20, 20, 0}, {5, 30, 3, 7, 0}, {6, 36, 30, 2, 0}, {0, 599, 800, 1, 0}});
    FrameReport report = FrameAnalyse(pixels.data(), W, H);
    ASSERT_EQ(report.boxes.size(), 3u);
    const int expected[3][5] = {
        {700, 20, 20, 20, 400},
        {5, 30, 31, 8, 21 + 60 - 2}, // the L shape: 3x7 and 30x2 overlapping in 2 pixels
        {0, 599, 800, 1, 800},
    };
    for (int i = 0; i < 3; ++i) {
        const FrameBox& b = report.boxes[i];
        EXPECT_EQ(b.x, expected[i][0]) << i;
        EXPECT_EQ(b.y, expected[i][1]) << i;
        EXPECT_EQ(b.width, expected[i][2]) << i;
        EXPECT_EQ(b.height, expected[i][3]) << i;
        EXPECT_EQ(b.pixels, expected[i][4]) << i;
    }
    EXPECT_EQ(report.otherPixels, 0);
}

} // namespace
