// What a watched place keeps of a run: the frames around the first bad one, taken from the
// grabber's ring without copying, the first bad and the last frame, and how often the picture
// changed. Frames are painted into the ring's slots as the grabber fills them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "record.h"

namespace {

const int W = PICTURE_WIDTH;
const int H = PICTURE_HEIGHT;

// A frame by a number: n > 0 one box at (10n, 100), a good frame; n < 0 two boxes, at (-10n, 100)
// and (-10n, 300), a bad one. Equal numbers paint the same picture.
std::vector<uint32_t> Paint(int n) {
    std::vector<uint32_t> pixels(W * H, GREY);
    int x = (n > 0 ? n : -n) * 10;
    for (int top : {100, 300}) {
        for (int y = top; y < top + BOX_SIZE; ++y)
            for (int dx = 0; dx < BOX_SIZE; ++dx)
                pixels[y * W + x + dx] = 0;
        if (n > 0)
            break;
    }
    return pixels;
}

struct RecordCase {
    const char* name;
    std::vector<int> frames;    // judged in order, one every 10 ms
    std::vector<size_t> around; // indices of the frames kept around the first bad one
    int changes;
    int longestStillMs; // up to the end, 10 ms after the last frame
};

TEST(RecordTest, RingKeepsTheFramesAroundTheFirstBadOne) {
    const RecordCase cases[] = {
        {"all good", {1, 2, 3, 4, 5}, {}, 5, 10},
        // Four before, it, four after, from a ring of five slots.
        {"bad in the middle",
         {1, 2, 3, 4, 5, 6, -7, 8, 9, 10, 11, 12, 13},
         {2, 3, 4, 5, 6, 7, 8, 9, 10},
         13,
         10},
        {"bad second", {1, -2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5}, 7, 10},
        {"bad first", {-1, 2, 3}, {0, 1, 2}, 3, 10},
        // The run ends before four frames follow it.
        {"bad near the end", {1, 2, 3, 4, 5, 6, -7, 8}, {2, 3, 4, 5, 6, 7}, 8, 10},
        // A later bad frame is one of the four after; only the first is the first bad.
        {"two bad close together", {1, 2, -3, 4, -5, 6, 7, 8}, {0, 1, 2, 3, 4, 5, 6}, 8, 10},
        // A picture presented again unchanged is no change: it stood for 40 ms.
        {"a picture repeated", {1, 2, 2, 2, 2, 3}, {}, 3, 40},
    };
    for (const RecordCase& c : cases) {
        std::vector<std::vector<uint32_t>> slots(RING_SLOTS);
        PlaceRecord record;
        record.Start(0);
        for (size_t i = 0; i < c.frames.size(); ++i) {
            std::vector<uint32_t>& slot = slots[record.Next()];
            slot = Paint(c.frames[i]);
            record.Judge(slot.data(), 0.010 * (i + 1));
        }
        record.End(0.010 * (c.frames.size() + 1));
        const auto& around = record.AroundFirstBad();
        ASSERT_EQ(around.size(), c.around.size()) << c.name;
        for (size_t k = 0; k < around.size(); ++k)
            EXPECT_TRUE(around[k] == Paint(c.frames[c.around[k]])) << c.name << ": grab " << k;
        int firstBad = record.Frames().firstBad;
        if (firstBad < 0)
            EXPECT_TRUE(record.FirstBad().empty()) << c.name;
        else
            EXPECT_TRUE(record.FirstBad() == Paint(c.frames[firstBad])) << c.name;
        ASSERT_NE(record.Last(), nullptr) << c.name;
        EXPECT_TRUE(
            std::equal(record.Last(), record.Last() + W * H, Paint(c.frames.back()).begin()))
            << c.name;
        EXPECT_EQ(record.Changes(), c.changes) << c.name;
        EXPECT_EQ(static_cast<int>(record.LongestStill() * 1000 + 0.5), c.longestStillMs) << c.name;
    }
}

} // namespace
