// onebox-check: watches the screen of a running onebox on an X display and says whether every
// grabbed frame showed exactly one 20x20 black box on grey.
//
//   onebox-check [--display D] [--frames N | --seconds S] [--rate HZ] [--min-distinct N]
//                [--title TEXT] [--wait S] [--no-regrab] [--follow] [--save DIR]
//
// --follow looks for the window again before every grab, for a window that a person moves
// while it is watched, and adds to the line how long the picture stood still at the most.
//
// The verdict is on what reaches the screen: the client area of the program's window as it
// stands on the X screen, which is what a person sees. Prints one line with it; where the
// renderer keeps its frames in a drawable of its own, a second line, "presented: ...", says what
// was presented there, so that frames presented but never shown are told apart from frames
// shown wrong. Exit codes: 0 no bug, 1 bug, 2 bad arguments or no X display, 3 no screen found
// (or it went away during the run).
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "frame.h"
#include "png_out.h"
#include "x_screen.h"

namespace {

const int WIDTH = 800;
const int HEIGHT = 600;
const int EXIT_BUG = 1;
const int EXIT_USAGE = 2;
const int EXIT_NO_SCREEN = 3;

struct Options {
    const char* display = nullptr;
    int frames = 300;
    double seconds = 0;
    double rate = 50;
    int minDistinct = 0;
    std::string title = "OpenScreen() or ClearScreen()-Bug";
    double wait = 30;
    bool regrab = true;
    bool follow = false;
    std::string save;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: onebox-check [--display D] [--frames N | --seconds S] [--rate HZ]\n"
                 "                    [--min-distinct N] [--title TEXT] [--wait S] "
                 "[--no-regrab] [--follow] [--save DIR]\n");
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--no-regrab") {
            o.regrab = false;
            continue;
        }
        if (a == "--follow") {
            o.follow = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char* v = argv[++i];
        char* end = nullptr;
        double number = std::strtod(v, &end);
        // Bounded so that every count fits an int.
        bool numeric =
            end != v && *end == '\0' && std::isfinite(number) && number >= 0 && number <= 1e9;
        if (a == "--display")
            o.display = v;
        else if (a == "--title")
            o.title = v;
        else if (a == "--save")
            o.save = v;
        else if (!numeric)
            return false;
        else if (a == "--frames" && number >= 1)
            o.frames = static_cast<int>(number), o.seconds = 0;
        else if (a == "--seconds" && number > 0)
            o.seconds = number;
        else if (a == "--rate" && number > 0)
            o.rate = number;
        else if (a == "--min-distinct")
            o.minDistinct = static_cast<int>(number);
        else if (a == "--wait")
            o.wait = number;
        else
            return false;
    }
    return true;
}

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void SleepUntil(double when) {
    double left = when - Now();
    if (left <= 0)
        return;
    timespec t;
    t.tv_sec = static_cast<time_t>(left);
    t.tv_nsec = static_cast<long>((left - static_cast<double>(t.tv_sec)) * 1e9);
    nanosleep(&t, nullptr);
}

bool ShowsGrey(const std::vector<uint32_t>& pixels) {
    return std::find(pixels.begin(), pixels.end(), GREY) != pixels.end();
}

bool GrabShowsGrey(Display* display, const XScreenPlace& place, std::vector<uint32_t>& pixels) {
    return place.window && XScreenGrab(display, place, WIDTH, HEIGHT, pixels) && ShowsGrey(pixels);
}

// Waits until the window is there and the program has presented at least one frame (some grey
// on the screen, or in the renderer's own drawable): before its first present the OpenGL child
// window is black and the client area shows the window's own background, neither of which is a
// frame of the program.
bool WaitForScreen(Display* display, const Options& o, XScreenPlaces& places,
                   std::vector<uint32_t>& pixels) {
    double deadline = Now() + o.wait;
    do {
        places = XScreenFind(display, o.title, WIDTH, HEIGHT);
        if (places.shown.window && (GrabShowsGrey(display, places.shown, pixels) ||
                                    GrabShowsGrey(display, places.presented, pixels)))
            return true;
        SleepUntil(Now() + 0.05);
    } while (Now() < deadline);
    return false;
}

// Where the boxes landed: white where none did, darker the more often one covered a pixel;
// the boxes of bad frames are outlined in red.
struct PositionMap {
    std::vector<uint16_t> hits = std::vector<uint16_t>(WIDTH * HEIGHT, 0);
    std::vector<FrameBox> bad;

    void Add(const FrameBox& box) {
        for (int y = box.y; y < box.y + box.height && y < HEIGHT; ++y)
            for (int x = box.x; x < box.x + box.width && x < WIDTH; ++x)
                if (hits[y * WIDTH + x] < 0xFFFF)
                    ++hits[y * WIDTH + x];
    }

    std::vector<uint32_t> Render() const {
        std::vector<uint32_t> pixels(WIDTH * HEIGHT);
        for (size_t i = 0; i < pixels.size(); ++i) {
            uint32_t v = static_cast<uint32_t>(255.0 * std::pow(0.6, hits[i]));
            pixels[i] = v << 16 | v << 8 | v;
        }
        for (const FrameBox& b : bad) {
            for (int x = b.x; x < b.x + b.width; ++x) {
                pixels[b.y * WIDTH + x] = 0xFF0000;
                pixels[(b.y + b.height - 1) * WIDTH + x] = 0xFF0000;
            }
            for (int y = b.y; y < b.y + b.height; ++y) {
                pixels[y * WIDTH + b.x] = 0xFF0000;
                pixels[y * WIDTH + b.x + b.width - 1] = 0xFF0000;
            }
        }
        return pixels;
    }
};

// What one place showed over the run.
struct Run {
    int frames = 0;
    int bad = 0;
    int blank = 0; // frames without a grey pixel: no frame of the program at all
    int torn = 0;  // bad grabs that a present half done could make, re-grabbed good at once
    int firstBad = -1;
    std::string firstBadText;
    std::vector<uint32_t> firstBadPixels;
    std::vector<uint32_t> lastPixels;
    std::set<long> positions;
    PositionMap map;
    bool lost = false;
    double lastChange = 0;   // when the picture last changed
    double longestStill = 0; // seconds
};

// Judges one grab of a place and adds it to the run. A grab is one X request and a present a
// few, so a grab might land between the requests of one present. On a quiet machine none did
// (3000 fast grabs on each renderer, each bad picture still on screen unchanged at an immediate
// re-grab); on a busy one some do under the Vulkan renderer. So a picture that such a grab
// could make is taken again at once, and excused when the re-grab is a different frame with
// exactly one box. A picture that stays on screen, or that no mid-present grab could make, is
// a bug.
void Judge(Display* display, const XScreenPlace& place, const Options& o, int index,
           std::vector<uint32_t>& pixels, std::vector<uint32_t>& again, Run& run) {
    ++run.frames;
    FrameReport report = FrameAnalyse(pixels.data(), WIDTH, HEIGHT);
    bool good = FrameIsGood(report);
    if (!good && o.regrab && FrameCouldBeTorn(report) &&
        XScreenGrab(display, place, WIDTH, HEIGHT, again) && again != pixels) {
        FrameReport second = FrameAnalyse(again.data(), WIDTH, HEIGHT);
        if (FrameIsGood(second)) {
            ++run.torn;
            pixels.swap(again);
            report = second;
            good = true;
        }
    }
    if (good) {
        run.positions.insert(report.boxes[0].y * 1000L + report.boxes[0].x);
        run.map.Add(report.boxes[0]);
    } else {
        if (!ShowsGrey(pixels))
            ++run.blank;
        // What the first grab showed is reported, whatever the re-grab found.
        if (run.bad++ == 0) {
            run.firstBad = index;
            run.firstBadText = FrameDescribe(report);
            run.firstBadPixels = pixels;
        }
        for (const FrameBox& box : report.boxes)
            if (run.map.bad.size() < 1000)
                run.map.bad.push_back(box);
    }
    run.lastPixels.swap(pixels);
}

std::string Plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The line on the renderer's own drawable: how many presented frames were right.
std::string PresentedLine(const Run& run) {
    std::string line = "presented: ";
    if (run.bad)
        line += "frame " + std::to_string(run.firstBad) + ": " + run.firstBadText + "; " +
                std::to_string(run.bad) + " of " + Plural(run.frames, "frame", "frames") + " bad";
    else
        line += std::to_string(run.frames) + " of " + Plural(run.frames, "frame", "frames") +
                " show one box";
    return line + "; " +
           Plural(static_cast<int>(run.positions.size()), "distinct position",
                  "distinct positions");
}

std::string Verdict(const Run& run, const Run* presented, const Options& o, bool* bug) {
    std::string line;
    int distinct = static_cast<int>(run.positions.size());
    if (run.lost) {
        *bug = true;
        return "frame " + std::to_string(run.frames) + ": the screen went away (after " +
               std::to_string(run.bad) + " bad of " + Plural(run.frames, "frame", "frames") +
               "); verdict: no screen";
    }
    if (run.blank == run.frames && presented && presented->frames > presented->blank) {
        // The program presented frames, and none of them reached the window.
        *bug = true;
        return Plural(run.frames, "frame", "frames") +
               ": nothing shown on screen: the presented frames did not reach the window; "
               "verdict: BUG";
    }
    if (run.bad) {
        *bug = true;
        line = "frame " + std::to_string(run.firstBad) + ": " + run.firstBadText + "; " +
               std::to_string(run.bad) + " of " + Plural(run.frames, "frame", "frames") + " bad";
    } else {
        char range[96];
        std::snprintf(range, sizeof range, " exactly one %dx%d box inside %d..%d x %d..%d on grey",
                      BOX_SIZE, BOX_SIZE, BOX_MIN, BOX_MAX_X, BOX_MIN, BOX_MAX_Y);
        line = Plural(run.frames, "frame", "frames") + ": " + std::to_string(run.frames) +
               (run.frames == 1 ? " shows" : " show") + range;
        *bug = distinct < o.minDistinct;
    }
    line += "; " + Plural(distinct, "distinct position", "distinct positions");
    if (distinct < o.minDistinct)
        line += ", fewer than " + std::to_string(o.minDistinct);
    if (o.follow)
        line += "; the picture stood still for " +
                std::to_string(static_cast<int>(run.longestStill * 1000)) + " ms at the most";
    if (run.torn)
        line += "; " + Plural(run.torn, "grab", "grabs") + (run.torn == 1 ? " was" : " were") +
                " bad but not seen again at an immediate re-grab (counted as good)";
    return line + (*bug ? "; verdict: BUG" : "; verdict: no bug");
}

void Save(const Run& run, const Run* presented, const std::string& dir) {
    // Like mkdir -p: every missing folder on the way.
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        mkdir(dir.substr(0, slash).c_str(), 0777);
        if (slash == std::string::npos)
            break;
    }
    std::vector<std::string> written;
    auto write = [&](const std::string& name, const std::vector<uint32_t>& pixels) {
        std::string path = dir + "/" + name;
        if (!pixels.empty() && PngWrite(path, pixels, WIDTH, HEIGHT))
            written.push_back(path);
    };
    // A picture of an earlier run must not pass for one of this run.
    if (run.firstBadPixels.empty())
        unlink((dir + "/first-bad-frame.png").c_str());
    write("first-bad-frame.png", run.firstBadPixels);
    write("last-frame.png", run.lastPixels);
    write("positions.png", run.map.Render());
    if (presented)
        write("presented-last-frame.png", presented->lastPixels);
    std::string line = "pictures:";
    for (const std::string& path : written)
        line += " " + path;
    if (written.empty())
        line += " none could be written into " + dir;
    std::printf("%s\n", line.c_str());
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        Usage();
        return EXIT_USAGE;
    }
    Display* display = XOpenDisplay(o.display);
    if (!display) {
        std::fprintf(stderr, "onebox-check: cannot open X display %s\n",
                     o.display ? o.display : "(DISPLAY)");
        return EXIT_USAGE;
    }
    XScreenInstallErrorHandler();

    XScreenPlaces places;
    std::vector<uint32_t> pixels, again;
    if (!WaitForScreen(display, o, places, pixels)) {
        std::printf("no onebox screen (a window titled \"%s\" with an 800x600 client area) showed "
                    "a grey frame within %g s; verdict: no screen\n",
                    o.title.c_str(), o.wait);
        XCloseDisplay(display);
        return EXIT_NO_SCREEN;
    }

    Run shown, presented;
    bool keepsDrawable = places.presented.window != 0;
    double begin = Now(), start = begin;
    for (int i = 0;; ++i) {
        if (o.seconds > 0 ? Now() - begin >= o.seconds : i >= o.frames)
            break;
        // After a stall (the machine busy, a slow grab) the schedule moves on instead of
        // catching up with a burst of grabs faster than the rate asked for.
        if (Now() > start + (i + 1) / o.rate)
            start = Now() - i / o.rate;
        SleepUntil(start + i / o.rate);
        // Wine may make the screen's X window anew (a device reset), and a person may move the
        // window: look once more before calling the screen gone.
        if (o.follow)
            places = XScreenFind(display, o.title, WIDTH, HEIGHT);
        if (!XScreenGrab(display, places.shown, WIDTH, HEIGHT, pixels)) {
            places = XScreenFind(display, o.title, WIDTH, HEIGHT);
            if (!places.shown.window ||
                !XScreenGrab(display, places.shown, WIDTH, HEIGHT, pixels)) {
                shown.lost = true;
                break;
            }
        }
        double now = Now();
        if (i == 0 || pixels != shown.lastPixels)
            shown.lastChange = now;
        shown.longestStill = std::max(shown.longestStill, now - shown.lastChange);
        Judge(display, places.shown, o, i, pixels, again, shown);
        if (keepsDrawable && XScreenGrab(display, places.presented, WIDTH, HEIGHT, pixels))
            Judge(display, places.presented, o, i, pixels, again, presented);
    }
    XCloseDisplay(display);

    bool bug = false;
    const Run* drawable = keepsDrawable ? &presented : nullptr;
    std::printf("%s\n", Verdict(shown, drawable, o, &bug).c_str());
    if (drawable)
        std::printf("%s\n", PresentedLine(presented).c_str());
    if (!o.save.empty())
        Save(shown, drawable, o.save);
    std::fflush(stdout);
    if (shown.lost)
        return EXIT_NO_SCREEN;
    return bug ? EXIT_BUG : 0;
}
