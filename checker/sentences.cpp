#include "sentences.h"

#include <cstdio>

namespace {

std::string Plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "300 of 300 frames show one box", "frame 12: 2 boxes at ...; 4 of 300 frames bad".
std::string Counts(const Tally& t) {
    if (t.bad)
        return "frame " + std::to_string(t.firstBad) + ": " + t.firstBadText + "; " +
               std::to_string(t.bad) + " of " + Plural(t.judged, "frame", "frames") + " bad";
    return std::to_string(t.judged) + " of " + Plural(t.judged, "frame", "frames") +
           " show one box";
}

std::string ModeText(const Options& o) {
    if (o.rate > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "sampled at %g Hz", o.rate);
        return text;
    }
    return "every frame judged";
}

std::string VerdictEnd(Verdict verdict) {
    std::string end = std::string("; verdict: ") + VerdictText(verdict);
    if (verdict == Verdict::TEARS)
        end += " (too few grabs met a whole frame)";
    if (verdict == Verdict::OUT_OF_ORDER)
        end += " (an older frame came back after a newer one: see the presents' line)";
    return end;
}

// "(3 torn, 1 without a box)": the known kinds among the bad frames.
std::string Kinds(const Tally& t) {
    std::string kinds;
    if (t.torn)
        kinds = std::to_string(t.torn) + " torn";
    if (t.noBox)
        kinds += (kinds.empty() ? "" : ", ") + std::to_string(t.noBox) + " without a box";
    if (t.flashes)
        kinds += (kinds.empty() ? "" : ", ") + std::to_string(t.flashes) +
                 " the child window's background";
    return kinds.empty() ? "" : " (" + kinds + ")";
}

} // namespace

std::string VerdictLine(const PlaceRecord& shown, Verdict verdict, const Options& o) {
    const Tally& t = shown.Frames();
    int distinct = static_cast<int>(t.positions.size());
    if (verdict == Verdict::NO_SCREEN)
        return "frame " + std::to_string(t.judged) + ": the screen went away (after " +
               std::to_string(t.bad) + " bad of " + Plural(t.judged, "frame", "frames") + ")" +
               VerdictEnd(verdict);
    if (verdict == Verdict::NOTHING_SHOWN)
        return "nothing shown on screen: the presented frames did not reach the window (" +
               Plural(t.judged, "picture", "pictures") + " on screen, none of them a frame); " +
               ModeText(o) + VerdictEnd(verdict);
    std::string line;
    if (t.bad) {
        line = Counts(t) + Kinds(t);
    } else {
        char range[96];
        std::snprintf(range, sizeof range, " exactly one %dx%d box inside %d..%d x %d..%d on grey",
                      BOX_SIZE, BOX_SIZE, BOX_MIN, BOX_MAX_X, BOX_MIN, BOX_MAX_Y);
        line = Plural(t.judged, "frame", "frames") + ": " + std::to_string(t.judged) +
               (t.judged == 1 ? " shows" : " show") + range;
    }
    line += "; " + Plural(distinct, "distinct position", "distinct positions");
    if (distinct < o.minDistinct)
        line += ", fewer than " + std::to_string(o.minDistinct);
    line += "; " + ModeText(o);
    if (t.discarded)
        line += ", " + Plural(t.discarded, "grab", "grabs") + " discarded mid-present";
    if (o.follow)
        line += "; the picture stood still for " +
                std::to_string(static_cast<int>(shown.LongestStill() * 1000)) + " ms at the most";
    return line + VerdictEnd(verdict);
}

std::string PresentedLine(const PlaceRecord& presented) {
    const Tally& t = presented.Frames();
    return "presented: " + Counts(t) + "; " +
           Plural(static_cast<int>(t.positions.size()), "distinct position", "distinct positions");
}

std::string WindowLine(const PlaceRecord& window, Verdict verdict, const std::string& compositor) {
    const Tally& t = window.Frames();
    std::string line =
        "window (what the layer delivered, before " + compositor + " composed it): " + Counts(t) +
        Kinds(t) + "; " +
        Plural(static_cast<int>(t.positions.size()), "distinct position", "distinct positions");
    if (t.discarded)
        line += ", " + Plural(t.discarded, "grab", "grabs") + " discarded mid-present";
    return line + VerdictEnd(verdict);
}

std::string NoScreenLine(const Options& o) {
    char line[400];
    std::snprintf(line, sizeof line,
                  "no onebox screen (a window titled \"%s\" with an %dx%d client area) showed a "
                  "grey frame within %g s",
                  o.title.c_str(), PICTURE_WIDTH, PICTURE_HEIGHT, o.wait);
    return line + VerdictEnd(Verdict::NO_SCREEN);
}
