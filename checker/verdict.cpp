#include "verdict.h"

namespace {

struct VerdictEntry {
    Verdict verdict;
    const char* name; // for programs
    const char* text; // for people
    int exitCode;
};

// In the order of the enum.
const VerdictEntry VERDICTS[] = {
    {Verdict::NO_BUG, "no-bug", "no bug", 0},
    {Verdict::BUG, "bug", "BUG", 1},
    {Verdict::TEARS, "tears", "tears", 1},
    {Verdict::NOTHING_SHOWN, "nothing-shown", "nothing shown", 1},
    {Verdict::NO_SCREEN, "no-screen", "no screen", 3},
    {Verdict::OUT_OF_ORDER, "out-of-order", "out of order", 1},
};

const VerdictEntry& Entry(Verdict verdict) { return VERDICTS[static_cast<int>(verdict)]; }

} // namespace

const char* VerdictName(Verdict verdict) { return Entry(verdict).name; }
const char* VerdictText(Verdict verdict) { return Entry(verdict).text; }
int VerdictExitCode(Verdict verdict) { return Entry(verdict).exitCode; }

bool Tally::Judge(const FrameReport& report, bool showsGrey) {
    int index = judged++;
    if (FrameIsGood(report)) {
        ++good;
        positions.insert(report.boxes[0].y * 1000L + report.boxes[0].x);
        return true;
    }
    if (!showsGrey)
        ++blank;
    if (FrameIsFlash(report))
        ++flashes;
    if (FrameIsTorn(report))
        ++torn;
    if (showsGrey && report.boxes.empty() && !report.otherPixels)
        ++noBox;
    if (bad++ == 0) {
        firstBad = index;
        firstBadText = FrameDescribe(report);
    }
    return false;
}

namespace {

Verdict DecideShown(const Tally& shown, const Tally* presented, int minDistinct, bool lost) {
    if (lost)
        return Verdict::NO_SCREEN;
    // The program presented frames, and none of them reached the window.
    if (shown.blank == shown.judged && presented && presented->judged > presented->blank)
        return Verdict::NOTHING_SHOWN;
    if (shown.bad || static_cast<int>(shown.positions.size()) < minDistinct)
        return Verdict::BUG;
    int grabs = shown.judged + shown.discarded;
    if (grabs && shown.discarded > TEARS_SHARE * grabs)
        return Verdict::TEARS;
    return Verdict::NO_BUG;
}

} // namespace

Verdicts Decide(const Tally& shown, const Tally* presented, int minDistinct, bool lost,
                const Tally* window, int outOfOrder) {
    Verdicts verdicts = {DecideShown(shown, presented, minDistinct, lost), std::nullopt,
                         std::nullopt};
    // Each picture right, in the wrong order: a fault of its own, named as such.
    if (verdicts.shown == Verdict::NO_BUG && outOfOrder > 0)
        verdicts.shown = Verdict::OUT_OF_ORDER;
    // Nothing delivered to the window is told apart from frames delivered wrong, as on the
    // screen: the renderer may keep its frames in a drawable of its own.
    if (window)
        verdicts.window = DecideShown(*window, presented, minDistinct, lost);
    // The renderer's own drawable: a bug when any frame judged there was bad.
    if (presented)
        verdicts.presented = presented->bad ? Verdict::BUG : Verdict::NO_BUG;
    return verdicts;
}
