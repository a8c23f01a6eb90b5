// The accounting against runs whose truth is made here: a program presenting 60 frames 5 ms apart,
// whose back buffers hold what a correct program, or one with a known fault, puts in them, and a
// layer that shows them as a correct layer does, or drops, delays, replays or tears them at a
// known rate. Each row's expected counts and words are worked out by hand from its rates.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "accounting.h"
#include "accounting_out.h"
#include "recorder/box_probe.h"
#include "recorder/present_record.h"

namespace {

const int FRAMES = 60;

AccountBox BoxOf(long i) {
    return AccountBox{5 + static_cast<int>(i * 37 % 770), 5 + static_cast<int>(i * 53 % 570), 20,
                      20};
}

struct Case {
    const char* name;
    // The program: every Nth present skips its clear (-N: its box lands on the one before),
    // is not drawn on a three-buffer flip chain, or is not drawn at all (0: never).
    int skipClear, stale, noDraw;
    // The layer: drops every Nth present, shows each after `delay` s, shows present i-2 again
    // after every Nth, tears every Nth between its predecessor's rows and its own.
    int dropEvery;
    double delay;
    int replayEvery, tearEvery;
    // What the accounting must say.
    int presented, shown, dropped, repeated, stale_, drawnOver, outOfOrder, unmatched;
    double latencyMedian;
    int picture; // index of a picture whose words are checked (-1: none)
    const char* text;
};

const Case CASES[] = {
    // All 60 shown, 2 ms after their present.
    {"correct", 0, 0, 0, 0, 0.002, 0, 0, 60, 60, 0, 0, 0, 0, 0, 0, 0.002, 9, "1 box: frame 10"},
    // Presents 4, 8, ..., 60 never shown: 60 is after the last one shown (59), so 59 are
    // counted, 14 dropped.
    {"drops one in 4", 0, 0, 0, 4, 0.002, 0, 0, 59, 45, 14, 0, 0, 0, 0, 0, 0.002, 3,
     "1 box: frame 5"},
    // Presents 5, 10, ..., 60 hold their predecessor's box under their own: 12.
    {"skips a clear in 5", 5, 0, 0, 0, 0.002, 0, 0, 60, 60, 0, 0, 0, 12, 0, 0, 0.002, 9,
     "2 boxes: frames 9 and 10 (frame 10 was drawn over frame 9)"},
    // The same, each new box landing 10 pixels right of and below the one it was drawn over:
    // one black region of 30x30 around both.
    {"skips a clear in 5, boxes touching", -5, 0, 0, 0, 0.002, 0, 0, 60, 60, 0, 0, 0, 12, 0, 0,
     0.002, 9, "1 box: frames 9 and 10 (frame 10 was drawn over frame 9)"},
    // Presents 5, 10, ..., 60 show the buffer of three presents before: 12 stale pictures,
    // each after a newer one.
    {"stale buffer in 5", 0, 5, 0, 0, 0.002, 0, 0, 60, 60, 0, 0, 12, 0, 12, 0, 0.002, 4,
     "1 box: frame 2 again, presented as frame 5 (a stale buffer, 3 frames old), shown after "
     "frame 4: out of order"},
    // Presents 4, 8, ..., 56 repeat their predecessor (60 is after the last picture's present):
    // 14 repeated, none dropped; the screen never changes for them. Each picture is seen 7 ms
    // after its present, after the next one: the picture of 3 is that of 4 too, and is 3's.
    {"draws nothing in 4", 0, 0, 4, 0, 0.007, 0, 0, 59, 45, 0, 14, 0, 0, 0, 0, 0.007, 3,
     "1 box: frame 5"},
    {"100 ms late", 0, 0, 0, 0, 0.100, 0, 0, 60, 60, 0, 0, 0, 0, 0, 0, 0.100, 0, "1 box: frame 1"},
    // After presents 10, 20, ..., 60 the layer shows present i-2 again: 6 out of order.
    {"replays an older frame", 0, 0, 0, 0, 0.002, 10, 0, 60, 60, 0, 0, 0, 0, 6, 0, 0.002, 10,
     "1 box: frame 8, shown after frame 10: out of order"},
    // Nothing reaches the screen: all 60 presented before the watch's end dropped.
    {"shows nothing", 0, 0, 0, 1, 0.002, 0, 0, 60, 0, 60, 0, 0, 0, 0, 0, -1, -1, ""},
    // Presents 10, 20, ..., 60 reach the screen only torn: 6 pictures no present held, and
    // those presents never shown whole (60 is past the last whole one, 59).
    {"tears one in 10", 0, 0, 0, 0, 0.002, 0, 10, 59, 54, 5, 0, 0, 0, 0, 6, 0.002, 9,
     "2 boxes: parts of frames 9 and 10, a picture no single present held"},
};

std::vector<AccountBox> Content(const Case& c, long i, std::vector<std::vector<AccountBox>>& held) {
    std::vector<AccountBox> boxes{BoxOf(i)};
    if (c.skipClear > 0 && i % c.skipClear == 0)
        boxes = {held[i - 1][0], BoxOf(i)};
    if (c.skipClear < 0 && i % -c.skipClear == 0)
        boxes = {{held[i - 1][0].x, held[i - 1][0].y, 30, 30}};
    if (c.stale && i % c.stale == 0)
        boxes = i > 3 ? held[i - 3] : std::vector<AccountBox>{};
    if (c.noDraw && i % c.noDraw == 0)
        boxes = held[i - 1];
    return boxes;
}

TEST(Accounting, KnownRuns) {
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<AccountBox>> held(FRAMES + 1);
        std::vector<AccountPresent> presents;
        std::vector<AccountPicture> pictures;
        for (long i = 1; i <= FRAMES; i++) {
            held[i] = Content(c, i, held);
            double time = 1.0 + 0.005 * i;
            presents.push_back(AccountPresent{i, time, true, held[i]});
            double seen = time + c.delay;
            std::vector<AccountBox> shown = held[i];
            if (c.tearEvery && i % c.tearEvery == 0)
                shown = {{BoxOf(i - 1).x, BoxOf(i - 1).y, 20, 10},
                         {BoxOf(i).x, BoxOf(i).y + 10, 20, 10}};
            bool same = !pictures.empty() && pictures.back().boxes.size() == shown.size() &&
                        std::memcmp(pictures.back().boxes.data(), shown.data(),
                                    shown.size() * sizeof(AccountBox)) == 0;
            if (!(c.dropEvery && i % c.dropEvery == 0) && !same)
                pictures.push_back(AccountPicture{seen, seen - 0.001, shown});
            if (c.replayEvery && i % c.replayEvery == 0)
                pictures.push_back(AccountPicture{seen + 0.002, seen + 0.001, held[i - 2]});
        }
        Accounting a = Account(presents, pictures, 1.0, 1.0 + 0.005 * FRAMES + 0.1);
        EXPECT_EQ(a.presented, c.presented);
        EXPECT_EQ(a.shown, c.shown);
        EXPECT_EQ(a.dropped, c.dropped);
        EXPECT_EQ(a.repeated, c.repeated);
        EXPECT_EQ(a.stale, c.stale_);
        EXPECT_EQ(a.drawnOver, c.drawnOver);
        EXPECT_EQ(a.outOfOrder, c.outOfOrder);
        EXPECT_EQ(a.unmatched, c.unmatched);
        EXPECT_NEAR(a.latencyMedian, c.latencyMedian, 1e-9);
        if (c.picture < 0)
            continue;
        // Each picture was seen 1 ms after the last grab of the one before.
        EXPECT_NEAR(a.latencySlack, 0.001, 1e-9);
        EXPECT_NEAR(a.lowMedian, c.latencyMedian - 0.001, 1e-9);
        ASSERT_GT(a.pictures.size(), static_cast<size_t>(c.picture));
        EXPECT_EQ(a.pictures[c.picture].text, c.text);
    }
}

// What a person and a program read of one run: 6 presents, the fourth holding the second's box
// again (a stale buffer), shown after the third, and the fifth never shown.
TEST(Accounting, WrittenOut) {
    std::vector<AccountPresent> presents = {
        {1, 1.000, true, {BoxOf(1)}}, {2, 1.010, true, {BoxOf(2)}}, {3, 1.020, true, {BoxOf(3)}},
        {4, 1.030, true, {BoxOf(2)}}, {5, 1.040, true, {BoxOf(5)}}, {6, 1.050, true, {BoxOf(6)}}};
    std::vector<AccountPicture> pictures = {{1.002, 0.990, {BoxOf(1)}},
                                            {1.013, 1.003, {BoxOf(2)}},
                                            {1.023, 1.014, {BoxOf(3)}},
                                            {1.034, 1.024, {BoxOf(2)}},
                                            {1.054, 1.035, {BoxOf(6)}}};
    Accounting a = Account(presents, pictures, 1.0, 2.0);
    // Latencies 2, 3, 3, 4 and 4 ms; each picture's last grab before it came before its present.
    EXPECT_EQ(AccountingLine(a),
              "6 frames presented: 5 shown, 1 dropped, 1 holding an older frame (a stale buffer), "
              "1 out of order; from Present to the screen 3.0 ms median, 4.0 ms at the 95th "
              "percentile, 4.0 ms at most (at least 0.0, 0.0 and 0.0 ms)");
    std::string json = AccountingJson(a);
    EXPECT_NE(json.find("\"dropped\": 1, "), std::string::npos) << json;
    EXPECT_NE(json.find("\"named\": [{\"picture\": 3, \"present\": 4, \"frames\": [2], "
                        "\"text\": \"1 box: frame 2 again, presented as frame 4 (a stale buffer, 2 "
                        "frames old), shown after frame 3: out of order\"}]"),
              std::string::npos)
        << json;
    // One mark per present and per picture, the dropped one and the bad picture in red, and
    // nothing that runs.
    std::string svg = AccountingTimelineSvg(a, pictures, {false, false, false, true, false});
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1))
            n++;
        return n;
    };
    EXPECT_EQ(count("<rect x="), 11u);
    EXPECT_EQ(count("fill=\"#d00000\"><title>frame 5: dropped"), 1u);
    EXPECT_EQ(count("stroke=\"#d00000\""), 1u);
    EXPECT_EQ(count("<script"), 0u);
}

// The recorder's file as the DLL writes it: a header, whole records, and the part of a record a
// process that died left behind.
TEST(Accounting, ReadsTheRecordersFile) {
    PresentFileHeader header = {};
    std::memcpy(header.magic, PRESENT_MAGIC, 8);
    header.recordSize = sizeof(PresentRecord);
    header.boxSlots = PRESENT_BOX_SLOTS;
    header.qpcFrequency = 10000000;
    PresentRecord records[2] = {};
    records[0].index = 1;
    records[0].qpcCall = 123456789; // 12.3456789 s
    records[0].flags = PRESENT_READ;
    records[0].boxCount = 2;
    records[0].boxes[0] = {100, 200, 20, 20};
    records[0].boxes[1] = {300, 400, 20, 20};
    records[1].index = 2;
    records[1].flags = PRESENT_READ | PRESENT_OVERFLOW; // a pile of boxes: not matched
    records[1].boxCount = 9;
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    bytes.append(reinterpret_cast<const char*>(records), sizeof records);
    bytes.append(10, '\0');
    std::vector<AccountPresent> presents;
    std::string error;
    ASSERT_TRUE(ReadPresentLog(bytes, &presents, &error)) << error;
    ASSERT_EQ(presents.size(), 2u);
    EXPECT_DOUBLE_EQ(presents[0].time, 12.3456789);
    ASSERT_EQ(presents[0].boxes.size(), 2u);
    EXPECT_EQ(presents[0].boxes[1].y, 400);
    EXPECT_FALSE(presents[1].read);
    bytes[0] = 'X';
    EXPECT_FALSE(ReadPresentLog(bytes, &presents, &error));
    EXPECT_EQ(error, "not a present recorder's file");
}

// The recorder's box search on back buffers drawn here: where each region's bounds must be,
// worked out from the rectangles filled.
TEST(BoxProbe, FindsTheBoxes) {
    struct Fill {
        int x, y, w, h;
    };
    const struct {
        const char* name;
        int bytesPerPixel;
        uint32_t grey, mask;
        std::vector<Fill> fills;
        int count;
        std::vector<PresentBox> boxes; // the first four, in scan order of the probe that hit
    } cases[] = {
        {"none", 4, 0x888888, 0xFFFFFF, {}, 0, {}},
        {"top left of the range", 4, 0x888888, 0xFFFFFF, {{5, 5, 20, 20}}, 1, {{5, 5, 20, 20}}},
        {"bottom right corner of the buffer",
         4,
         0x888888,
         0xFFFFFF,
         {{780, 580, 20, 20}},
         1,
         {{780, 580, 20, 20}}},
        {"black with an alpha byte",
         4,
         0xFF888888,
         0xFFFFFF,
         {{333, 77, 20, 20}},
         1,
         {{333, 77, 20, 20}}},
        {"two apart",
         4,
         0x888888,
         0xFFFFFF,
         {{700, 10, 20, 20}, {41, 300, 20, 20}},
         2,
         {{700, 10, 20, 20}, {41, 300, 20, 20}}},
        // Drawn over each other: one region, the bounds of both.
        {"two overlapping",
         4,
         0x888888,
         0xFFFFFF,
         {{100, 100, 20, 20}, {110, 115, 20, 20}},
         1,
         {{100, 100, 30, 35}}},
        // Corner to corner: two regions, as the checker joins pixels side by side only.
        {"two touching at a corner",
         4,
         0x888888,
         0xFFFFFF,
         {{100, 100, 20, 20}, {120, 120, 20, 20}},
         2,
         {{100, 100, 20, 20}, {120, 120, 20, 20}}},
        {"16-bit R5G6B5", 2, 0x8410, 0xFFFF, {{250, 250, 20, 20}}, 1, {{250, 250, 20, 20}}},
        {"16-bit X1R5G5B5 with its top bit set",
         2,
         0xC210,
         0x7FFF,
         {{9, 580, 20, 20}},
         1,
         {{9, 580, 20, 20}}},
        // More than the record's slots: all counted, the first four kept.
        {"six",
         4,
         0x888888,
         0xFFFFFF,
         {{0, 0, 20, 20},
          {100, 0, 20, 20},
          {200, 0, 20, 20},
          {300, 0, 20, 20},
          {400, 0, 20, 20},
          {500, 0, 20, 20}},
         6,
         {{0, 0, 20, 20}, {100, 0, 20, 20}, {200, 0, 20, 20}, {300, 0, 20, 20}}},
    };
    const int width = 800, height = 600;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int pitch = width * c.bytesPerPixel + 64; // rows padded, as a lock may hand out
        std::vector<uint8_t> bits(pitch * height);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                uint32_t value = c.grey;
                for (const Fill& f : c.fills)
                    if (x >= f.x && x < f.x + f.w && y >= f.y && y < f.y + f.h)
                        value = c.grey & ~c.mask; // black, keeping the bits that mean nothing
                std::memcpy(&bits[y * pitch + x * c.bytesPerPixel], &value, c.bytesPerPixel);
            }
        ProbeImage image = {bits.data(), pitch, width, height, c.bytesPerPixel, c.mask};
        PresentBox found[PRESENT_BOX_SLOTS] = {};
        ASSERT_EQ(ProbeBoxes(image, found, PRESENT_BOX_SLOTS), c.count);
        for (size_t i = 0; i < c.boxes.size(); i++) {
            EXPECT_EQ(found[i].x, c.boxes[i].x) << i;
            EXPECT_EQ(found[i].y, c.boxes[i].y) << i;
            EXPECT_EQ(found[i].width, c.boxes[i].width) << i;
            EXPECT_EQ(found[i].height, c.boxes[i].height) << i;
        }
    }
}

} // namespace
