// When a grab of the screen is one whole frame, and what the frames judged add up to. Plain
// logic with no X in it: the checker's X loop (main.cpp) feeds it the damage it is told of and
// the grabs it takes.
//
// A present reaches the X server as one request or a burst of them (Wine's Vulkan presenter
// puts the whole image in one request), and a grab is one request that the server carries out
// whole, between other clients' requests. So a grab can only show a present half done if it
// lands inside a burst. The X DAMAGE extension reports every request that changes the window,
// and each event carries the serial of the checker's last request the server had read when the
// change happened, which places every change before or after the grab exactly. A grab is kept
// as one whole frame when the last change before it and the first change after it are at least
// the quiet time apart: no burst of requests spans it. Any other grab is discarded, counted, and
// taken again once the picture has settled; a picture is never excused for what it shows.
// (Changes are timed when their events arrive, and events that arrive together look
// simultaneous, so a late reading can only make a grab look torn, never whole.)
#pragma once
#include <set>
#include <string>

#include "frame.h"

class LandingGate {
  public:
    enum Outcome { WAIT, WHOLE, TORN };

    explicit LandingGate(double quietSeconds) : quiet_(quietSeconds) {}

    // Damage reported for the place at `now`; `serial` is the one the event carries.
    void Damaged(double now, unsigned long serial);
    // Whether anything landed since the last grab. It is grabbed at once: whether the grab met
    // it whole is for Resolve to say.
    bool Landing() const { return landing_; }
    // When the last damage came, in the clock of `now`.
    double LastDamage() const { return lastDamage_; }
    // The grab request about to be sent has this serial.
    void GrabSent(unsigned long serial);
    // Once the grab's reply is in, and so every event the server made before the grab: WHOLE
    // or TORN, or WAIT while a change within the quiet time after the last one before the grab
    // could still come (until LastDamage() + the quiet time).
    Outcome Resolve(double now);

  private:
    double quiet_;
    double lastDamage_ = -1e9;
    bool landing_ = false;
    bool grabPending_ = false;
    unsigned long grabSerial_ = 0;
    double lastBefore_ = 0;  // the last change before the pending grab
    double firstAfter_ = -1; // the first change after it, -1 while none
};

enum class Verdict { NO_BUG, BUG, TEARS, NOTHING_SHOWN, NO_SCREEN };

// The word a program reads: "no-bug", "bug", "tears", "nothing-shown", "no-screen".
const char* VerdictName(Verdict verdict);

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

// The verdict on the screen, given what the renderer's own drawable showed where there is one.
Verdict Decide(const Tally& shown, const Tally* presented, int minDistinct, bool lost);
