// When the checker keeps a grab as one whole frame, and what the frames it judged add up to:
// the gate driven with damage and grabs as the X loop feeds them, and runs of painted frames
// with the verdict they must get.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gate.h"
#include "verdict.h"

namespace {

const int W = 800;
const int H = 600;
const double QUIET = 0.001;

struct Step {
    char kind;            // 'd' damage arrives, 'g' grab sent, 'r' resolve
    double ms;            // when, in milliseconds
    unsigned long serial; // the damage event's serial, or the grab request's
};

struct GateCase {
    const char* name;
    std::vector<Step> steps; // the last one is the resolve whose outcome is checked
    LandingGate::Outcome outcome;
    bool landingAfter; // a picture waits to be grabbed after the resolve
};

TEST(WatchTest, GateKeepsOnlyGrabsNoBurstOfChangesSpans) {
    const GateCase cases[] = {
        // One request per present, as both of Wine's renderers send it here.
        {"a present, then the grab",
         {{'d', 0, 10}, {'g', 0.1, 11}, {'r', 1.0, 0}},
         LandingGate::WHOLE,
         false},
        {"the grab's reply before the quiet time: wait",
         {{'d', 0, 10}, {'g', 0.1, 11}, {'r', 0.5, 0}},
         LandingGate::WAIT,
         false},
        // A present of two requests with the grab between them: the picture is half of it.
        {"a grab inside a burst",
         {{'d', 0, 10}, {'g', 0.1, 11}, {'d', 0.3, 11}, {'r', 0.4, 0}},
         LandingGate::TORN,
         true},
        // An event that arrives after the grab was sent but names an older serial changed the
        // picture before the grab; a second change close behind it spans the grab.
        {"a late change before the grab, another right after",
         {{'d', 0, 10}, {'g', 2.0, 11}, {'d', 2.2, 10}, {'d', 2.6, 11}, {'r', 2.7, 0}},
         LandingGate::TORN,
         true},
        {"a late change before the grab, then quiet",
         {{'d', 0, 10}, {'g', 2.0, 11}, {'d', 2.2, 10}, {'r', 2.7, 0}, {'r', 3.3, 0}},
         LandingGate::WHOLE,
         false},
        {"the next present well after the grab",
         {{'d', 0, 10}, {'g', 0.1, 11}, {'d', 4.0, 11}, {'r', 4.1, 0}},
         LandingGate::WHOLE,
         true},
        // Sampling grabs a picture that has stood for a while.
        {"nothing landing",
         {{'d', 0, 10}, {'r', 0, 0}, {'g', 50, 11}, {'r', 50.2, 0}},
         LandingGate::WHOLE,
         false},
    };
    for (const GateCase& c : cases) {
        LandingGate gate(QUIET);
        LandingGate::Outcome outcome = LandingGate::WAIT;
        for (const Step& s : c.steps) {
            double t = s.ms / 1000;
            if (s.kind == 'd')
                gate.Damaged(t, s.serial);
            else if (s.kind == 'g')
                gate.GrabSent(s.serial);
            else
                outcome = gate.Resolve(t);
        }
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_EQ(gate.Landing(), c.landingAfter) << c.name;
    }
}

struct StartCase {
    const char* name;
    std::vector<Step> steps; // after Start(0); the last one is the resolve checked
    LandingGate::Outcome outcome;
    double resolveByMs; // ResolveBy() after the steps
};

// The watch starts on a picture that stands already: it is the first frame, grabbed at once and
// whole unless a change spans the grab.
TEST(WatchTest, GateStartsWithThePictureStandingAsItsFirstFrame) {
    const StartCase cases[] = {
        {"grabbed at the start", {{'g', 0, 1}, {'r', 0, 0}}, LandingGate::WHOLE, 0},
        {"a change just before the grab",
         {{'d', 0.2, 1}, {'g', 0.3, 2}, {'r', 0.4, 0}},
         LandingGate::WAIT,
         1.2},
        // The standing picture has stood for the quiet time: the change is the next frame.
        {"a change right after the grab",
         {{'g', 0, 1}, {'d', 0.5, 1}, {'r', 0.6, 0}},
         LandingGate::WHOLE,
         0},
        {"a late change before the grab, another right after",
         {{'g', 0.1, 2}, {'d', 0.2, 1}, {'d', 0.5, 2}, {'r', 0.6, 0}},
         LandingGate::TORN,
         1.2},
        {"the next present a while after",
         {{'g', 0, 1}, {'d', 3, 1}, {'r', 3.1, 0}},
         LandingGate::WHOLE,
         0},
    };
    for (const StartCase& c : cases) {
        LandingGate gate(QUIET);
        gate.Start(0);
        EXPECT_TRUE(gate.Landing()) << c.name;
        LandingGate::Outcome outcome = LandingGate::WAIT;
        for (const Step& s : c.steps) {
            if (s.kind == 'd')
                gate.Damaged(s.ms / 1000, s.serial);
            else if (s.kind == 'g')
                gate.GrabSent(s.serial);
            else
                outcome = gate.Resolve(s.ms / 1000);
        }
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_NEAR(gate.ResolveBy() * 1000, c.resolveByMs, 1e-9) << c.name;
    }
}

struct Fill {
    int x, y, w, h;
    uint32_t colour;
};

std::vector<uint32_t> Paint(const std::vector<Fill>& fills) {
    std::vector<uint32_t> pixels(W * H, GREY);
    for (const Fill& f : fills)
        for (int y = f.y; y < f.y + f.h; ++y)
            for (int x = f.x; x < f.x + f.w; ++x)
                pixels[y * W + x] = f.colour;
    return pixels;
}

// One whole frame with one box at (x, y).
std::vector<Fill> Box(int x, int y) { return {{x, y, 20, 20, 0}}; }

struct RunCase {
    const char* name;
    std::vector<std::vector<Fill>> frames; // judged in order
    int discarded;                         // grabs thrown away on the way
    int good, bad, blank, flashes, torn, noBox;
    Verdict verdict;
};

TEST(WatchTest, RunsOfWholeFramesAndTheirVerdict) {
    const std::vector<Fill> torn = {// rows 0..309 of a frame with its box at (100,300), the
                                    // rest of the next frame, its box at (500,450)
                                    {100, 300, 20, 10, 0},
                                    {500, 450, 20, 20, 0}};
    const RunCase cases[] = {
        {"correct frames",
         {Box(5, 5), Box(300, 200), Box(775, 575)},
         0,
         3,
         0,
         0,
         0,
         0,
         0,
         Verdict::NO_BUG},
        // A picture made of bands of two correct frames stood on the screen whole: the layer
        // showed it, and a person saw it.
        {"a torn picture of two correct frames",
         {Box(10, 10), torn, Box(30, 30)},
         0,
         2,
         1,
         0,
         0,
         1,
         0,
         Verdict::BUG},
        // The bug onebox is there to reveal: one frame with two boxes, the next one right.
        {"a two-box frame followed by a correct one",
         {Box(10, 10), {{10, 10, 20, 20, 0}, {400, 300, 20, 20, 0}}, Box(400, 300)},
         0,
         2,
         1,
         0,
         0,
         0,
         0,
         Verdict::BUG},
        {"five boxes on rows of their own",
         {{{10, 10, 20, 20, 0},
           {10, 100, 20, 20, 0},
           {10, 200, 20, 20, 0},
           {10, 300, 20, 20, 0},
           {10, 400, 20, 20, 0}},
          Box(50, 50)},
         0,
         1,
         1,
         0,
         0,
         0,
         0,
         Verdict::BUG},
        {"a flash of the child window's background",
         {Box(10, 10), {{0, 0, W, H, CHILD_BACKGROUND}}, Box(20, 20)},
         0,
         2,
         1,
         1,
         1,
         0,
         0,
         Verdict::BUG},
        {"a frame without its box",
         {Box(10, 10), {}, Box(20, 20)},
         0,
         2,
         1,
         0,
         0,
         0,
         1,
         Verdict::BUG},
        // Grabs that met a picture landing are no verdict on it, until they are most of them.
        {"a few grabs discarded",
         {Box(5, 5), Box(300, 200), Box(775, 575)},
         1,
         3,
         0,
         0,
         0,
         0,
         0,
         Verdict::NO_BUG},
        {"more than a quarter of the grabs discarded",
         {Box(5, 5), Box(300, 200), Box(775, 575)},
         2,
         3,
         0,
         0,
         0,
         0,
         0,
         Verdict::TEARS},
    };
    for (const RunCase& c : cases) {
        Tally tally;
        for (const std::vector<Fill>& fills : c.frames) {
            std::vector<uint32_t> pixels = Paint(fills);
            bool grey = false;
            for (uint32_t p : pixels)
                grey = grey || p == GREY;
            tally.Judge(FrameAnalyse(pixels.data(), W, H), grey);
        }
        tally.discarded = c.discarded;
        EXPECT_EQ(tally.good, c.good) << c.name;
        EXPECT_EQ(tally.bad, c.bad) << c.name;
        EXPECT_EQ(tally.blank, c.blank) << c.name;
        EXPECT_EQ(tally.flashes, c.flashes) << c.name;
        EXPECT_EQ(tally.torn, c.torn) << c.name;
        EXPECT_EQ(tally.noBox, c.noBox) << c.name;
        EXPECT_EQ(Decide(tally, nullptr, 0, false).shown, c.verdict) << c.name;
    }
}

TEST(WatchTest, VerdictsOnTheScreenAndThePresentedDrawable) {
    Tally blankScreen, presentedRight, shownRight;
    blankScreen.judged = blankScreen.bad = blankScreen.blank = 1;
    presentedRight.judged = presentedRight.good = 100;
    shownRight.judged = shownRight.good = 100;
    for (long i = 0; i < 100; ++i)
        shownRight.positions.insert(i);
    // Frames presented off screen while the window shows none of them.
    EXPECT_EQ(Decide(blankScreen, &presentedRight, 0, false).shown, Verdict::NOTHING_SHOWN);
    EXPECT_EQ(Decide(blankScreen, nullptr, 0, false).shown, Verdict::BUG);
    EXPECT_EQ(Decide(shownRight, &presentedRight, 100, false).shown, Verdict::NO_BUG);
    // A box that keeps landing in too few places is no working frame loop.
    EXPECT_EQ(Decide(shownRight, nullptr, 101, false).shown, Verdict::BUG);
    EXPECT_EQ(Decide(shownRight, nullptr, 0, true).shown, Verdict::NO_SCREEN);
    // The drawable's own verdict is on its frames alone.
    EXPECT_EQ(Decide(blankScreen, &presentedRight, 0, false).presented, Verdict::NO_BUG);
    EXPECT_EQ(Decide(presentedRight, &blankScreen, 0, false).presented, Verdict::BUG);
    EXPECT_FALSE(Decide(shownRight, nullptr, 0, false).presented.has_value());
    EXPECT_STREQ(VerdictName(Verdict::NOTHING_SHOWN), "nothing-shown");
}

} // namespace

// Under a compositing manager the screen and the window's own pixels are judged apart: each
// verdict follows its own frames, and a run without a manager has no window verdict.
TEST(DecideTest, WindowVerdictIsItsOwn) {
    Tally right, wrong;
    right.judged = right.good = 10;
    for (long i = 0; i < 10; ++i)
        right.positions.insert(i);
    wrong = right;
    wrong.good = 9;
    wrong.bad = 1;
    struct Case {
        const Tally* screen;
        const Tally* window;
        Verdict shown;
        std::optional<Verdict> delivered;
    } cases[] = {
        {&right, &right, Verdict::NO_BUG, Verdict::NO_BUG},
        {&right, &wrong, Verdict::NO_BUG, Verdict::BUG}, // the manager hid the layer's fault
        {&wrong, &right, Verdict::BUG, Verdict::NO_BUG}, // the manager composed it wrong
        {&right, nullptr, Verdict::NO_BUG, std::nullopt},
    };
    for (const Case& c : cases) {
        Verdicts v = Decide(*c.screen, nullptr, 0, false, c.window);
        EXPECT_EQ(v.shown, c.shown);
        EXPECT_EQ(v.window, c.delivered);
    }
}
