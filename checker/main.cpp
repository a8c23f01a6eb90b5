// onebox-check: watches the screen of a running onebox on an X display and says whether every
// frame that reached it showed exactly the one black box on grey of app/picture.h.
//
//   onebox-check [--display D] [--frames N | --seconds S] [--rate HZ] [--quiet MS]
//                [--min-distinct N] [--title TEXT] [--wait S] [--follow] [--save DIR]
//                [--json FILE] [--until-closed]
//   onebox-check [--display D] [--title TEXT] [--wait S] --where
//
// Every frame: the X DAMAGE extension says when the window's pixels change, each picture that
// lands is grabbed at once (through MIT-SHM), and the grab is judged when no burst of changes
// spans it: the last change before it and the first after it are at least the quiet time apart
// (--quiet, 1 ms); see gate.h for why such a grab is one whole frame. A grab that met a
// picture still landing is discarded and counted, never judged. --rate HZ samples instead,
// HZ grabs a second, for a machine too slow to keep up; the verdict line says which ran.
// --frames N stops after N judged frames, --seconds S after S seconds; a screen that stops
// changing for --wait seconds ends the watch too.
//
// --until-closed watches, with no count, until the window goes away (a person closing it);
// SIGINT or SIGTERM end any watch early, with the verdict on what was seen so far.
//
// --follow finds the window again before every grab, for a window that a person moves while it
// is watched (--until-closed does too). --save DIR writes first-bad-frame.png, last-frame.png,
// positions.png (where the boxes landed, bad frames' boxes outlined in red),
// around-first-bad-NN.png (the frames judged just before and after the first bad one) and
// presented-last-frame.png where there is a presented drawable. --json FILE writes the results for
// programs; the lines are for people.
// --where only prints where the window stands, "X Y WIDTH HEIGHT CLIENT_X CLIENT_Y" (its outer
// rectangle and its client area's corner on the screen), for a script that acts on it.
//
// The verdict is on what reaches the screen: the client area of the program's window as it
// stands on the X screen, which is what a person sees. Prints one line with it; where the
// renderer keeps its frames in a drawable of its own, a second line, "presented: ...", says what
// was presented there, so that frames presented but never shown are told apart from frames
// shown wrong. Under a compositing manager the screen is the picture the manager composed, and
// the window's own pixels, what the layer delivered, are judged beside it with a verdict of
// their own: "window ...", the third line (x_screen.h says why both are sound). Exit codes: 0 no
// bug, 1 a fault of the layer under test (bug, tears, nothing shown), 2 bad arguments or no X
// display, 3 no screen found (or it went away during the run).
//
// The jobs are in files of their own: options, clock, gate (when a grab is whole), record (what
// a place showed), verdict, x_loop (the X side), sentences (the lines), pictures and results.
#include <X11/Xlib.h>

#include <cstdio>
#include <string>

#include "clock.h"
#include "options.h"
#include "pictures.h"
#include "presents.h"
#include "results.h"
#include "sentences.h"
#include "x_loop.h"

namespace {

const int EXIT_USAGE = 2;

void Results(const Options& o, const JsonValue& results) {
    if (!o.json.empty() && !WriteResults(o.json, results))
        std::fprintf(stderr, "onebox-check: could not write %s\n", o.json.c_str());
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::string wrong = ParseOptions(argc, argv, o);
    if (!wrong.empty()) {
        std::fprintf(stderr, "onebox-check: %s\n", wrong.c_str());
        PrintUsage();
        return EXIT_USAGE;
    }
    Display* display = XOpenDisplay(o.display);
    if (!display) {
        std::fprintf(stderr, "onebox-check: cannot open X display %s\n",
                     o.display ? o.display : "(DISPLAY)");
        return EXIT_USAGE;
    }
    XScreenInstallErrorHandler();
    if (o.where) {
        bool found = XPrintWhere(display, o);
        if (!found)
            std::fprintf(stderr, "onebox-check: no window titled \"%s\" within %g s\n",
                         o.title.c_str(), o.wait);
        XCloseDisplay(display);
        return found ? 0 : VerdictExitCode(Verdict::NO_SCREEN);
    }

    XScreenPlaces found;
    Place shown(o.quiet), presented(o.quiet), window(o.quiet);
    if (!XWaitForScreen(display, o, found)) {
        std::string line = NoScreenLine(o);
        std::printf("%s\n", line.c_str());
        double now = WallClock();
        Results(o, CheckResults(o, {Verdict::NO_SCREEN, {}, {}}, line, {0, now, now, 0},
                                shown.record, nullptr, Pictures()));
        XCloseDisplay(display);
        return VerdictExitCode(Verdict::NO_SCREEN);
    }
    // The watch is of the running program, not of its window being mapped: right after the
    // first present, Wine may still paint the new window once with no background (black on
    // the X screen, seen about one run in ten on Vulkan with the presenter's gdi mode).
    SleepUntil(Now() + 0.25);
    found = XScreenFind(display, o.title, PICTURE_WIDTH, PICTURE_HEIGHT);
    shown.where = found.shown;
    presented.where = found.presented;
    window.where = found.window;
    bool keepsDrawable = found.presented.window != 0;
    const PlaceRecord* drawable = keepsDrawable ? &presented.record : nullptr;
    const PlaceRecord* delivered = found.window.window ? &window.record : nullptr;

    XLoop loop(display);
    loop.Add(shown);
    if (keepsDrawable)
        loop.Add(presented);
    window.endsWatch = false;
    if (delivered)
        loop.Add(window);
    // Without DAMAGE nothing says when a frame lands, or whether a grab met one landing: the
    // checker samples, and judges every grab as it comes.
    if (!shown.damage && o.rate <= 0) {
        o.rate = 50;
        std::fprintf(stderr, "onebox-check: the X server has no DAMAGE extension; sampling at "
                             "50 Hz, grabs unchecked\n");
    }
    RunTimes times = {0, WallClock(), 0, 0};
    double begin = Now(), cpu = ProcessorTime();
    XLoopEndOnSignals();
    // Watched until closed, the window going away is the end of the watch, not a lost screen.
    bool closed = loop.Run(o);
    times.seconds = Now() - begin;
    times.cpu = ProcessorTime() - cpu;
    times.ended = WallClock();
    shown.record.End(Now());

    bool lost = !closed && (shown.lost || presented.lost || window.lost);
    // A watch that closed before any frame was judged found no screen to judge.
    if (closed && shown.record.Frames().judged == 0)
        lost = true;
    // Every present the recorder wrote down, against the pictures that reached the screen.
    Accounting a;
    bool accounted = AccountPresents(o, shown.pictures, begin, begin + times.seconds, &a);

    Verdicts verdicts =
        Decide(shown.record.Frames(), drawable ? &drawable->Frames() : nullptr, o.minDistinct, lost,
               delivered ? &delivered->Frames() : nullptr, a.outOfOrder);
    std::string line = VerdictLine(shown.record, verdicts.shown, o);
    if (delivered)
        line = "composed by " + found.compositor + ": " + line;
    std::printf("%s\n", line.c_str());
    if (drawable)
        std::printf("%s\n", PresentedLine(*drawable).c_str());
    if (delivered)
        std::printf("%s\n", WindowLine(*delivered, *verdicts.window, found.compositor).c_str());
    std::string accounting, timeline;
    if (accounted)
        accounting = WriteAccounting(o, a, shown.pictures, shown.pictureBad, &timeline);
    Pictures pictures;
    if (!o.save.empty())
        pictures = SavePictures(shown.record, drawable, o.save);
    Results(o, CheckResults(o, verdicts, line, times, shown.record, drawable, pictures, delivered,
                            found.compositor, accounting, timeline));
    loop.Release();
    XCloseDisplay(display);
    std::fflush(stdout);
    return VerdictExitCode(verdicts.shown);
}
