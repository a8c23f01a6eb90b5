// The checker's results as programs read them: check.json of a run with bad frames and a
// presented drawable, and of a run that found no screen, against golden files, and the verdicts'
// words against theirs. tools/results.py's reader is held against the same files
// (results_agree_test.py), so that the writer and the reader agree field by field.
//
// ONEBOX_WRITE_GOLDEN=1 writes the golden files anew from this writer, for a change of the
// results made on purpose; the reader's test then says whether tools/results.py follows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "results.h"

namespace {

const int W = PICTURE_WIDTH;

// One box at (x, 100), and a second at (x, 300) when `two`.
std::vector<uint32_t> Paint(int x, bool two) {
    std::vector<uint32_t> pixels(W * PICTURE_HEIGHT, GREY);
    for (int top : {100, 300})
        if (top == 100 || two)
            for (int y = top; y < top + BOX_SIZE; ++y)
                for (int dx = 0; dx < BOX_SIZE; ++dx)
                    pixels[y * W + x + dx] = 0;
    return pixels;
}

// Judges frames with boxes at these x, a negative one with two boxes, 10 ms apart.
void Judge(PlaceRecord& record, std::vector<std::vector<uint32_t>>& slots,
           const std::vector<int>& xs) {
    record.Start(0);
    for (size_t i = 0; i < xs.size(); ++i) {
        std::vector<uint32_t>& slot = slots[record.Next()];
        slot = Paint(xs[i] < 0 ? -xs[i] : xs[i], xs[i] < 0);
        record.Judge(slot.data(), 0.010 * (i + 1));
    }
}

std::string Golden(const std::string& name, const std::string& made) {
    std::string path = std::string(ONEBOX_GOLDEN_DIR) + "/" + name;
    const char* write = std::getenv("ONEBOX_WRITE_GOLDEN");
    if (write && std::string(write) == "1")
        std::ofstream(path) << made;
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ResultsTest, WriterMatchesTheGoldenFiles) {
    std::vector<std::vector<uint32_t>> shownSlots(RING_SLOTS), presentedSlots(RING_SLOTS);
    PlaceRecord shown, presented, none;
    Judge(shown, shownSlots, {10, 20, -30, 40, 50, 50});
    shown.Discarded();
    shown.End(0.080);
    Judge(presented, presentedSlots, {10, 20, 30});
    Options sampled;
    sampled.rate = 50;
    Pictures pictures = {"run/first-bad-frame.png",
                         "run/last-frame.png",
                         "run/positions.png",
                         "run/presented-last-frame.png",
                         {"run/around-first-bad-00.png", "run/around-first-bad-01.png"}};
    const RunTimes times = {2.0, 1800000000.25, 1800000002.25, 0.125};
    Verdicts verdicts = Decide(shown.Frames(), &presented.Frames(), 0, false);
    const struct {
        const char* golden;
        JsonValue made;
    } cases[] = {
        {"check.json", CheckResults(sampled, verdicts, "a \"line\"\tfor people", times, shown,
                                    &presented, pictures)},
        {"check-no-screen.json",
         CheckResults(Options(), {Verdict::NO_SCREEN, {}, {}}, "no screen",
                      {0, 1800000000.5, 1800000000.5, 0}, none, nullptr, Pictures())},
    };
    for (const auto& c : cases) {
        std::string made = c.made.Write(true) + "\n";
        EXPECT_EQ(made, Golden(c.golden, made)) << c.golden;
    }
    std::string words;
    ForEachVerdict([&](Verdict v) {
        words += std::string(VerdictName(v)) + "|" + VerdictText(v) + "|" +
                 std::to_string(VerdictExitCode(v)) + "\n";
    });
    EXPECT_EQ(words, Golden("verdicts.txt", words));
}

} // namespace
