// onebox-check: watches the screen of a running onebox on an X display and says whether every
// frame that reached it showed exactly one 20x20 black box on grey.
//
//   onebox-check [--display D] [--frames N | --seconds S] [--rate HZ] [--quiet MS]
//                [--min-distinct N] [--title TEXT] [--wait S] [--follow] [--save DIR]
//                [--json FILE]
//
// Every frame: the X DAMAGE extension says when the window's pixels change, each picture that
// lands is grabbed at once (through MIT-SHM), and the grab is judged when no burst of changes
// spans it: the last change before it and the first after it are at least the quiet time apart
// (--quiet, 1 ms); see watch.h for why such a grab is one whole frame. A grab that met a
// picture still landing is discarded and counted, never judged. --rate HZ samples instead,
// HZ grabs a second, for a machine too slow to keep up; the verdict line says which ran.
// --frames N stops after N judged frames, --seconds S after S seconds; a screen that stops
// changing for --wait seconds ends the watch too.
//
// --follow finds the window again before every grab, for a window that a person moves while it
// is watched. --save DIR writes first-bad-frame.png, last-frame.png, positions.png (where the
// boxes landed, bad frames' boxes outlined in red), around-first-bad-NN.png (the frames judged
// just before and after the first bad one) and presented-last-frame.png where there is a
// presented drawable. --json FILE writes the results for programs; the lines are for people.
//
// The verdict is on what reaches the screen: the client area of the program's window as it
// stands on the X screen, which is what a person sees. Prints one line with it; where the
// renderer keeps its frames in a drawable of its own, a second line, "presented: ...", says what
// was presented there, so that frames presented but never shown are told apart from frames
// shown wrong. Exit codes: 0 no bug, 1 a fault of the layer under test (bug, tears, nothing
// shown), 2 bad arguments or no X display, 3 no screen found (or it went away during the run).
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/title.h"
#include "frame.h"
#include "png_out.h"
#include "watch.h"
#include "x_screen.h"

namespace {

const int WIDTH = 800;
const int HEIGHT = 600;
const size_t FRAME_PIXELS = static_cast<size_t>(WIDTH) * HEIGHT;
const int EXIT_BUG = 1;
const int EXIT_USAGE = 2;
const int EXIT_NO_SCREEN = 3;
// The frames judged just before the first bad one, and just after it, kept for a person.
const size_t AROUND = 4;

struct Options {
    const char* display = nullptr;
    int frames = 300;
    double seconds = 0;
    double rate = 0; // 0: every frame
    double quiet = 0.001;
    int minDistinct = 0;
    std::string title = PROGRAM_TITLE;
    double wait = 30;
    bool follow = false;
    std::string save;
    std::string json;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: onebox-check [--display D] [--frames N | --seconds S] [--rate HZ] "
                 "[--quiet MS]\n"
                 "                    [--min-distinct N] [--title TEXT] [--wait S] [--follow] "
                 "[--save DIR]\n"
                 "                    [--json FILE]\n");
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
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
        else if (a == "--json")
            o.json = v;
        else if (!numeric)
            return false;
        else if (a == "--frames" && number >= 1)
            o.frames = static_cast<int>(number), o.seconds = 0;
        else if (a == "--seconds" && number > 0)
            o.seconds = number;
        else if (a == "--rate" && number > 0)
            o.rate = number;
        else if (a == "--quiet" && number <= 1000)
            o.quiet = number / 1000;
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

double WallClock() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
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

bool ShowsGrey(const uint32_t* pixels) {
    for (size_t i = 0; i < FRAME_PIXELS; ++i)
        if ((pixels[i] & 0xFFFFFF) == GREY)
            return true;
    return false;
}

bool GrabShowsGrey(Display* display, const XScreenPlace& place, std::vector<uint32_t>& pixels) {
    return place.window && XScreenGrab(display, place, WIDTH, HEIGHT, pixels) &&
           ShowsGrey(pixels.data());
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

// One watched place: where it is, what says it changed, and what it showed.
std::vector<uint32_t> Copy(const uint32_t* pixels) {
    return pixels ? std::vector<uint32_t>(pixels, pixels + FRAME_PIXELS) : std::vector<uint32_t>();
}

struct Place {
    XScreenPlace where;
    unsigned long damage = 0;
    LandingGate gate;
    Tally tally;
    PositionMap map;
    std::vector<uint32_t> firstBadPixels;
    // The frames judged last, newest at `newest`, each in a buffer of the grabber's: a grab
    // lands in the next one, so the last few are kept for the pictures around the first bad
    // frame without copying any of them.
    std::unique_ptr<XScreenGrabber> grabber;
    std::vector<const uint32_t*> ring = std::vector<const uint32_t*>(AROUND + 1, nullptr);
    size_t newest = 0;
    std::vector<std::vector<uint32_t>> around; // before, the first bad one, and after it
    size_t aroundFull = 0;
    bool lost = false;
    FrameReport lastReport = {{}, -1, 0, -1, -1, 0}; // of the frame judged last
    int changes = 0;         // judged frames whose picture differs from the one before
    double lastChange = 0;   // when the picture last changed
    double longestStill = 0; // seconds

    explicit Place(double quiet) : gate(quiet) {}

    // Where the next grab goes.
    int Next() const { return static_cast<int>((newest + 1) % ring.size()); }
    // The frame judged last; null before the first.
    const uint32_t* Last() const { return ring[newest]; }

    void Changed(double now) {
        longestStill = std::max(longestStill, now - lastChange);
        lastChange = now;
    }

    // Judges the frame grabbed into Next() and keeps what a person will want to see of it.
    void Judge(const uint32_t* pixels, double now) {
        FrameReport report = FrameAnalyse(pixels, WIDTH, HEIGHT);
        // A picture presented again unchanged (Wine repaints the window while it is dragged)
        // is damage but no change. Two frames of the program with the same report are the
        // same picture but for a box landing on the very same place, one frame in 440,000.
        if (!FrameSame(report, lastReport)) {
            ++changes;
            Changed(now);
        }
        lastReport = report;
        bool hadBad = tally.bad > 0;
        if (tally.Judge(report, ShowsGrey(pixels))) {
            map.Add(report.boxes[0]);
        } else {
            if (!hadBad)
                firstBadPixels = Copy(pixels);
            for (const FrameBox& box : report.boxes)
                if (map.bad.size() < 1000)
                    map.bad.push_back(box);
        }
        if (hadBad) {
            if (around.size() < aroundFull)
                around.push_back(Copy(pixels));
        } else if (tally.bad) {
            size_t before = std::min<size_t>(tally.judged - 1, AROUND);
            for (size_t i = before; i > 0; --i)
                around.push_back(Copy(ring[(newest + ring.size() + 1 - i) % ring.size()]));
            around.push_back(Copy(pixels));
            aroundFull = around.size() + AROUND;
        }
        newest = static_cast<size_t>(Next());
        ring[newest] = pixels;
    }
};

// The X side of the watch: the display, its grabber and the places' damage.
struct Watch {
    Display* display;
    int damageBase = 0;
    double quiet; // seconds, the gap between changes that no present's burst spans

    Watch(Display* d, double quietSeconds) : display(d), quiet(quietSeconds) {}

    // Reads the events that have arrived, without waiting, and passes each damage event to the
    // place whose frame it touches (damage to Wine's caption is no frame).
    void TakeEvents(std::vector<Place*>& places) {
        while (XEventsQueued(display, QueuedAlready) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != damageBase + XDamageNotify)
                continue;
            const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(event);
            double now = Now();
            for (Place* p : places) {
                const XScreenPlace& w = p->where;
                if (d.drawable != w.watched || d.area.x >= w.watchedX + WIDTH ||
                    d.area.x + d.area.width <= w.watchedX || d.area.y >= w.watchedY + HEIGHT ||
                    d.area.y + d.area.height <= w.watchedY)
                    continue;
                p->gate.Damaged(now, d.serial);
            }
        }
    }

    // Waits at most `seconds` for events to arrive and takes them.
    void WaitEvents(std::vector<Place*>& places, double seconds) {
        if (XEventsQueued(display, QueuedAfterFlush) == 0 && seconds > 0) {
            pollfd fd = {ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(std::ceil(seconds * 1000)));
        }
        XEventsQueued(display, QueuedAfterReading);
        TakeEvents(places);
    }

    // Grabs the place and judges the picture when it is one whole frame. Returns false when
    // the place went away.
    bool GrabAndJudge(Place& place, std::vector<Place*>& places, bool follow) {
        if (follow && place.where.window != place.where.watched &&
            !XScreenFollow(display, place.where))
            return false;
        place.gate.GrabSent(NextRequest(display));
        const uint32_t* pixels = place.grabber->Grab(place.where, place.Next());
        if (!pixels)
            return false;
        // The grab's reply has come, so every event the server made before the grab is here.
        TakeEvents(places);
        LandingGate::Outcome outcome;
        while ((outcome = place.gate.Resolve(Now())) == LandingGate::WAIT)
            WaitEvents(places, place.gate.LastDamage() + quiet - Now());
        if (outcome == LandingGate::TORN) {
            ++place.tally.discarded;
            return true;
        }
        place.Judge(pixels, Now());
        return true;
    }
};

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

// The line on the renderer's own drawable: how many presented frames were right.
std::string PresentedLine(const Place& p) {
    return "presented: " + Counts(p.tally) + "; " +
           Plural(static_cast<int>(p.tally.positions.size()), "distinct position",
                  "distinct positions");
}

std::string ModeText(const Options& o) {
    if (o.rate > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "sampled at %g Hz", o.rate);
        return text;
    }
    return "every frame judged";
}

std::string VerdictLine(const Place& shown, Verdict verdict, const Options& o) {
    const Tally& t = shown.tally;
    int distinct = static_cast<int>(t.positions.size());
    if (verdict == Verdict::NO_SCREEN)
        return "frame " + std::to_string(t.judged) + ": the screen went away (after " +
               std::to_string(t.bad) + " bad of " + Plural(t.judged, "frame", "frames") +
               "); verdict: no screen";
    if (verdict == Verdict::NOTHING_SHOWN)
        return "nothing shown on screen: the presented frames did not reach the window (" +
               Plural(t.judged, "picture", "pictures") + " on screen, none of them a frame); " +
               ModeText(o) + "; verdict: nothing shown";
    std::string line;
    if (t.bad) {
        line = Counts(t);
        std::string kinds;
        if (t.torn)
            kinds = std::to_string(t.torn) + " torn";
        if (t.noBox)
            kinds += (kinds.empty() ? "" : ", ") + std::to_string(t.noBox) + " without a box";
        if (t.flashes)
            kinds += (kinds.empty() ? "" : ", ") + std::to_string(t.flashes) +
                     " the child window's background";
        if (!kinds.empty())
            line += " (" + kinds + ")";
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
                std::to_string(static_cast<int>(shown.longestStill * 1000)) + " ms at the most";
    switch (verdict) {
    case Verdict::TEARS:
        return line + "; verdict: tears (too few grabs met a whole frame)";
    case Verdict::BUG:
        return line + "; verdict: BUG";
    default:
        return line + "; verdict: no bug";
    }
}

// Like mkdir -p: every missing folder on the way.
void MakeFolders(const std::string& dir) {
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        mkdir(dir.substr(0, slash).c_str(), 0777);
        if (slash == std::string::npos)
            break;
    }
}

std::string AroundName(size_t i) {
    char name[48];
    std::snprintf(name, sizeof name, "around-first-bad-%02u.png", static_cast<unsigned>(i));
    return name;
}

struct Pictures {
    std::string firstBad, last, positions, presentedLast;
    std::vector<std::string> around;
};

Pictures Save(const Place& shown, const Place* presented, const std::string& dir) {
    MakeFolders(dir);
    Pictures saved;
    std::vector<std::string> written;
    auto write = [&](const std::string& name, const std::vector<uint32_t>& pixels) {
        std::string path = dir + "/" + name;
        if (pixels.empty() || !PngWrite(path, pixels, WIDTH, HEIGHT))
            return std::string();
        written.push_back(path);
        return path;
    };
    // Pictures of an earlier run must not pass for this run's.
    unlink((dir + "/first-bad-frame.png").c_str());
    for (size_t i = 0; i < 2 * AROUND + 1; ++i)
        unlink((dir + "/" + AroundName(i)).c_str());
    saved.firstBad = write("first-bad-frame.png", shown.firstBadPixels);
    saved.last = write("last-frame.png", Copy(shown.Last()));
    saved.positions = write("positions.png", shown.map.Render());
    if (presented)
        saved.presentedLast = write("presented-last-frame.png", Copy(presented->Last()));
    for (size_t i = 0; i < shown.around.size(); ++i) {
        std::string path = dir + "/" + AroundName(i);
        if (PngWrite(path, shown.around[i], WIDTH, HEIGHT))
            saved.around.push_back(path);
    }
    std::string line = "pictures:";
    for (const std::string& path : written)
        line += " " + path;
    if (written.empty())
        line += " none could be written into " + dir;
    std::printf("%s\n", line.c_str());
    return saved;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else
            out += c;
    }
    return out + "\"";
}

std::string JsonPath(const std::string& path) { return path.empty() ? "null" : JsonString(path); }

std::string JsonFrames(const Tally& t) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "{\"judged\": %d, \"good\": %d, \"bad\": %d, \"discarded\": %d, \"blank\": %d, "
                  "\"flashes\": %d, \"torn\": %d, \"no_box\": %d}",
                  t.judged, t.good, t.bad, t.discarded, t.blank, t.flashes, t.torn, t.noBox);
    return text;
}

std::string JsonFirstBad(const Tally& t, const std::string& picture) {
    if (t.firstBad < 0)
        return "null";
    return "{\"index\": " + std::to_string(t.firstBad) +
           ", \"description\": " + JsonString(t.firstBadText) +
           ", \"picture\": " + JsonPath(picture) + "}";
}

struct RunTimes {
    double seconds, started, ended;
    double cpu; // the checker's own processor time while it watched: what watching costs
};

// Processor time used so far, user and system, in seconds.
double ProcessorTime() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

bool WriteJson(const std::string& path, const Options& o, Verdict verdict, const std::string& line,
               const RunTimes& times, const Place& shown, const Place* presented,
               const Pictures& pictures) {
    const Tally& t = shown.tally;
    std::string j = "{\n  \"checker\": 1,\n";
    j += "  \"mode\": " + JsonString(o.rate > 0 ? "sampled" : "every-frame") + ",\n";
    j += "  \"verdict\": " + JsonString(VerdictName(verdict)) + ",\n";
    j += "  \"line\": " + JsonString(line) + ",\n";
    char number[160];
    std::snprintf(number, sizeof number, "  \"cpu_seconds\": %.3f,\n", times.cpu);
    j += number;
    std::snprintf(number, sizeof number,
                  "  \"seconds\": %.3f,\n  \"started\": %.6f,\n  \"ended\": %.6f,\n", times.seconds,
                  times.started, times.ended);
    j += number;
    j += "  \"frames\": " + JsonFrames(t) + ",\n";
    j += "  \"distinct_positions\": " + std::to_string(t.positions.size()) + ",\n";
    std::snprintf(number, sizeof number,
                  "  \"changes_per_second\": %.1f,\n  \"longest_still_ms\": %d,\n",
                  times.seconds > 0 ? shown.changes / times.seconds : 0.0,
                  static_cast<int>(shown.longestStill * 1000));
    j += number;
    j += "  \"first_bad\": " + JsonFirstBad(t, pictures.firstBad) + ",\n";
    j += "  \"pictures\": {\"last\": " + JsonPath(pictures.last) +
         ", \"positions\": " + JsonPath(pictures.positions) +
         ", \"first_bad\": " + JsonPath(pictures.firstBad) + ", \"around_first_bad\": [";
    for (size_t i = 0; i < pictures.around.size(); ++i)
        j += (i ? ", " : "") + JsonString(pictures.around[i]);
    j += "]},\n  \"presented\": ";
    if (presented) {
        const Tally& p = presented->tally;
        j += "{\"verdict\": " + JsonString(p.bad ? "bug" : "no-bug") +
             ", \"frames\": " + JsonFrames(p) +
             ", \"distinct_positions\": " + std::to_string(p.positions.size()) +
             ", \"first_bad\": " + JsonFirstBad(p, "") +
             ", \"last_picture\": " + JsonPath(pictures.presentedLast) + "}";
    } else {
        j += "null";
    }
    j += "\n}\n";
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    bool ok = std::fwrite(j.data(), 1, j.size(), file) == j.size();
    return std::fclose(file) == 0 && ok;
}

// Watches until enough frames were judged, the time is up, the screen went away or nothing
// changed for --wait seconds.
void Run(Watch& w, const Options& o, std::vector<Place*>& places) {
    double begin = Now();
    for (Place* p : places) {
        p->lastChange = begin;
        // The picture standing when the watch starts is the first frame judged.
        p->gate.Damaged(begin - o.quiet, 0);
    }
    double nextTick = begin;
    auto enough = [&] {
        for (Place* p : places)
            if (p->tally.judged >= o.frames && o.seconds <= 0)
                return true;
        return o.seconds > 0 && Now() - begin >= o.seconds;
    };
    while (!enough()) {
        double now = Now();
        double lastChange = 0;
        for (Place* p : places)
            lastChange = std::max(lastChange, std::max(p->lastChange, p->gate.LastDamage()));
        if (now - lastChange >= o.wait)
            break;
        if (o.rate > 0 && now >= nextTick) {
            // Sampled: every place grabbed at each tick, whether anything landed or not; the
            // gate still discards a grab that met a picture landing.
            nextTick = std::max(nextTick + 1 / o.rate, now);
            for (Place* p : places) {
                if (!w.GrabAndJudge(*p, places, o.follow)) {
                    p->lost = true;
                    return;
                }
            }
            continue;
        }
        double next = o.rate > 0 ? nextTick : now + 0.25;
        bool grabbed = false;
        for (Place* p : places) {
            if (o.rate > 0 || !p->gate.Landing())
                continue;
            if (!w.GrabAndJudge(*p, places, o.follow)) {
                p->lost = true;
                return;
            }
            grabbed = true;
        }
        if (!grabbed)
            w.WaitEvents(places, next - Now());
    }
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

    XScreenPlaces found;
    std::vector<uint32_t> pixels;
    Place shown(o.quiet), presented(o.quiet);
    if (!WaitForScreen(display, o, found, pixels)) {
        char line[400];
        std::snprintf(line, sizeof line,
                      "no onebox screen (a window titled \"%s\" with an 800x600 client area) "
                      "showed a grey frame within %g s; verdict: no screen",
                      o.title.c_str(), o.wait);
        std::printf("%s\n", line);
        double now = WallClock();
        if (!o.json.empty() && !WriteJson(o.json, o, Verdict::NO_SCREEN, line, {0, now, now, 0},
                                          shown, nullptr, Pictures()))
            std::fprintf(stderr, "onebox-check: could not write %s\n", o.json.c_str());
        XCloseDisplay(display);
        return EXIT_NO_SCREEN;
    }
    // The watch is of the running program, not of its window being mapped: right after the
    // first present, Wine may still paint the new window once with no background (black on
    // the X screen, seen about one run in ten on Vulkan with the presenter's gdi mode).
    SleepUntil(Now() + 0.25);
    found = XScreenFind(display, o.title, WIDTH, HEIGHT);

    shown.where = found.shown;
    presented.where = found.presented;
    bool keepsDrawable = found.presented.window != 0;
    std::vector<Place*> places = {&shown};
    if (keepsDrawable)
        places.push_back(&presented);
    RunTimes times = {0, WallClock(), 0, 0};
    Verdict verdict;
    std::string line;
    Pictures pictures;
    {
        Watch w(display, o.quiet);
        for (Place* p : places) {
            p->damage = XScreenWatch(display, p->where.watched, &w.damageBase);
            p->grabber.reset(new XScreenGrabber(display, WIDTH, HEIGHT, AROUND + 1));
        }
        // Without DAMAGE nothing says when a frame lands, or whether a grab met one landing:
        // the checker samples, and judges every grab as it comes.
        if (!shown.damage && o.rate <= 0) {
            o.rate = 50;
            std::fprintf(stderr, "onebox-check: the X server has no DAMAGE extension; sampling "
                                 "at 50 Hz, grabs unchecked\n");
        }
        double begin = Now(), cpu = ProcessorTime();
        Run(w, o, places);
        times.seconds = Now() - begin;
        times.cpu = ProcessorTime() - cpu;
        times.ended = WallClock();
        // How long the last picture has stood, to the end of the watch.
        shown.Changed(Now());
        verdict = Decide(shown.tally, keepsDrawable ? &presented.tally : nullptr, o.minDistinct,
                         shown.lost || presented.lost);
        line = VerdictLine(shown, verdict, o);
        std::printf("%s\n", line.c_str());
        if (keepsDrawable)
            std::printf("%s\n", PresentedLine(presented).c_str());
        if (!o.save.empty())
            pictures = Save(shown, keepsDrawable ? &presented : nullptr, o.save);
        if (!o.json.empty() && !WriteJson(o.json, o, verdict, line, times, shown,
                                          keepsDrawable ? &presented : nullptr, pictures))
            std::fprintf(stderr, "onebox-check: could not write %s\n", o.json.c_str());
        // The grabbers' shared memory is detached from the server, while it is still there.
        for (Place* p : places)
            p->grabber.reset();
    }
    XCloseDisplay(display);
    std::fflush(stdout);
    if (verdict == Verdict::NO_SCREEN)
        return EXIT_NO_SCREEN;
    return verdict == Verdict::NO_BUG ? 0 : EXIT_BUG;
}
