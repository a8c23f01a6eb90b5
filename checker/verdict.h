// What the frames judged at a place add up to, and the verdicts on them. Plain logic with no X
// in it. The verdicts, their words and their display text have one table, in verdict.cpp;
// tools/results.py holds the same words for the scripts, and a test holds the two together.
#pragma once
#include <optional>
#include <set>
#include <string>

#include "frame.h"

// OUT_OF_ORDER: every picture held one box of its own, but the screen showed an older frame
// after a newer one (the presents' accounting, accounting.h, says so).
enum class Verdict { NO_BUG, BUG, TEARS, NOTHING_SHOWN, NO_SCREEN, OUT_OF_ORDER };

// The word a program reads: "no-bug", "bug", "tears", "nothing-shown", "no-screen".
const char* VerdictName(Verdict verdict);
// The words a person reads: "no bug", "BUG", "tears", "nothing shown", "no screen".
const char* VerdictText(Verdict verdict);
// The checker's exit code for it: 0 no bug, 1 a fault of the layer under test, 3 no screen.
int VerdictExitCode(Verdict verdict);
// Calls f(verdict) for each verdict, in the table's order.
template <typename F> void ForEachVerdict(F f) {
    for (Verdict v : {Verdict::NO_BUG, Verdict::BUG, Verdict::TEARS, Verdict::NOTHING_SHOWN,
                      Verdict::NO_SCREEN, Verdict::OUT_OF_ORDER})
        f(v);
}

// What one place showed over a run.
struct Tally {
    int judged = 0;
    int good = 0;
    int bad = 0;
    int discarded = 0; // grabs that met a picture still landing, taken again
    int blank = 0;     // judged frames without a grey pixel: no frame of the program at all
    int flashes = 0;   // judged frames where the child window's background showed
    int torn = 0;      // judged frames made of rows of different frames
    int noBox = 0;     // judged frames of grey alone: a frame without its box
    int firstBad = -1; // index among the judged frames
    std::string firstBadText;
    std::set<long> positions; // of the good frames' boxes, y * 1000 + x

    // Adds one whole frame; returns whether it was good.
    bool Judge(const FrameReport& report, bool showsGrey);
};

// More than this share of a place's grabs discarded means the layer's presents are not whole
// often enough to be judged: the layer tears. A layer whose presents land whole loses a grab
// only when the next present comes within the quiet time of the last: 1.5 to 2.5 grabs in
// 1,000 here at 350 presents a second (bench/checker), far below it.
const double TEARS_SHARE = 0.25;

struct Verdicts {
    Verdict shown;                    // on the screen: the checker's verdict
    std::optional<Verdict> presented; // on the renderer's own drawable, where there is one
    std::optional<Verdict> window;    // on the window's own pixels, under a compositing manager
};

// Every verdict of a run: on the screen (composed, under a compositing manager), given what the
// renderer's own drawable showed where there is one; on that drawable; and on the window's own
// pixels where they are judged apart from the screen, by the screen's rule: what the layer
// delivered to the window, before the manager composed it. `lost`: a watched place went away
// during the run.
// `outOfOrder`: pictures on the screen that showed an older frame after a newer one, where the
// presents were accounted for.
Verdicts Decide(const Tally& shown, const Tally* presented, int minDistinct, bool lost,
                const Tally* window = nullptr, int outOfOrder = 0);
