// Every presented frame accounted for: the presents the recorder wrote down (checker/recorder/)
// against the pictures the checker judged on the screen. Each picture is matched to the present
// it shows by its boxes and its time; then, for the run, how many frames were presented, shown,
// dropped (never on the screen), repeated (presented without drawing), shown out of order (an
// older frame after a newer one), with the latency from Present to the screen, and for each
// picture the frames its boxes were drawn in, in words. Plain logic, no X and no Wine in it.
//
// The two clocks. A present's time is QueryPerformanceCounter, taken in the program just before
// the wrapped Present is called. Wine 8.0's QueryPerformanceCounter is Linux's
// CLOCK_MONOTONIC_RAW in 100 ns units (frequency 10,000,000). Measured here by a ping-pong through
// pipes between a Linux reader and a Windows program under wine64: each QPC reading fell between
// the reader's CLOCK_MONOTONIC_RAW just before it asked and just after the answer came, in 4,000
// of 4,000 exchanges over two runs (round trips 27-33 us at the least, 34-37 us median), never
// closer than 9.6 us to the first reading nor 13.6 us to the second; so any offset between the
// two clocks is within (-9.6, +13.6) us, and Wine's source reads that very clock, making it 0 to
// the 100 ns of the counter's truncation. CLOCK_MONOTONIC stood 0.196 s off it (it is slewed by
// NTP; the raw clock is not). So ticks / frequency is a CLOCK_MONOTONIC_RAW time in seconds, and
// the checker must take CLOCK_MONOTONIC_RAW for every time it gives here.
//
// How exact the latency is. A picture's time (`seen`) is when the checker read the last damage
// event from before the grab that showed it (by the events' serials; the grab's reply time when
// none came): that event told of the last change the grab shows, and the server sends it after
// changing the pixels, so the picture had landed by then, and the latency given (seen - present)
// is an upper bound, late by the event's way to the checker. Not the first damage since the last
// grab: when the checker fell behind and two pictures landed between its grabs, that one belongs
// to the picture nobody judged (it put a picture 69 ms before its own present in a run on OpenGL).
// The picture landed after the server carried out the checker's last grab that still showed
// something else, which it did after the checker sent it (`notBefore`): the true latency lies in
// [notBefore - present, seen - present], both given, and the widest gap between them.
#pragma once
#include <string>
#include <vector>

struct AccountBox {
    int x, y, width, height; // a black region's bounding box, back-buffer pixels
};

// One Present as the recorder wrote it down.
struct AccountPresent {
    long index;  // 1 for the program's first Present
    double time; // CLOCK_MONOTONIC_RAW seconds, just before the wrapped Present was called
    bool read;   // the back buffer was read, and every region it held fitted the record
    std::vector<AccountBox> boxes;
};

// One picture the checker judged: a whole grab that differed from the one before it. In the
// checker's loop, `seen` is LandingGate's last change before the grab (its lastBefore_) when that
// came after the previous grab was sent, else the time the grab's reply came (the first grab);
// `notBefore` is when the previous whole grab was sent.
struct AccountPicture {
    double seen;      // CLOCK_MONOTONIC_RAW seconds: the first damage event of it was read
    double notBefore; // when the last grab that showed an earlier picture was sent (or -1e300)
    std::vector<AccountBox> boxes; // the regions the checker found, in screen pixels
};

// What became of one present counted in the run.
enum class PresentFate {
    SHOWN,    // a picture on the screen was it
    DROPPED,  // it never reached the screen
    REPEATED, // the same boxes as the present before it (presented without drawing): nothing new
              // to show, so neither shown nor dropped
};

struct PresentAccount {
    long index;
    double time;
    PresentFate fate;
    double latency;    // seconds to its first picture (an upper bound), -1 when not shown
    double lowLatency; // its lower bound, -1 when not shown
    long contentFrame; // the newest frame whose box it holds: its own index when it drew one
    bool stale;        // it holds only boxes of frames older than its predecessor
    bool drawnOver;    // it holds its own box and boxes of earlier frames
};

struct PictureAccount {
    long present;             // the present this picture is, 0 when no single present held it
    std::vector<long> frames; // per box of the picture, the frame that drew it (0: none did)
    bool outOfOrder;          // it showed an older frame after a newer one had been shown
    std::string text;         // "2 boxes: frames 311 and 312 (frame 312 was drawn over frame 311)"
};

struct Accounting {
    // Presents counted: those from the first at or after the watch's start to the newest that
    // reached the screen (later ones may still have been on their way when the watch ended);
    // when none reached it, to the last before the watch's end: all of them dropped.
    int presented = 0;
    int shown = 0;
    int dropped = 0;
    int repeated = 0;
    int stale = 0;      // counted presents that held an older frame's picture
    int drawnOver = 0;  // counted presents that held boxes of earlier frames under their own
    int unread = 0;     // presents left out: their back buffer was not read
    int outOfOrder = 0; // pictures that showed an older frame after a newer one
    int unmatched = 0;  // pictures no single present held
    double latencyMedian = -1, latencyP95 = -1, latencyMax = -1; // seconds, upper bounds
    double lowMedian = -1, lowP95 = -1, lowMax = -1;             // seconds, lower bounds
    double latencySlack = -1;             // the widest gap between a latency's two bounds, seconds
    std::vector<PresentAccount> presents; // the counted presents, in order
    std::vector<PictureAccount> pictures; // one per picture given, in its order
};

// presents in the order they were made; pictures in the order they were seen. watchStart and
// watchEnd are the watch's start and end (CLOCK_MONOTONIC_RAW seconds). (offsetX, offsetY) is
// added to a picture's boxes to put them in back-buffer pixels (0, 0 for the window's client
// area and for Wine's own window on OpenGL).
Accounting Account(const std::vector<AccountPresent>& presents,
                   const std::vector<AccountPicture>& pictures, double watchStart, double watchEnd,
                   int offsetX = 0, int offsetY = 0);

// The recorder's file (checker/recorder/present_record.h), its times in CLOCK_MONOTONIC_RAW
// seconds. False, with the reason in *error, when it is no such file; a partial last record is
// left out.
bool ReadPresentLog(const std::string& bytes, std::vector<AccountPresent>* presents,
                    std::string* error);
