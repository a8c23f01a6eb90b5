// When a grab of the screen is one whole frame. Plain logic with no X in it: the checker's X
// loop (x_loop.cpp) feeds it the damage it is told of and the grabs it takes.
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
// Changes are timed when the checker reads their events. Events read together look
// simultaneous, which can only make a grab look torn. But a change after the grab whose event
// is read late looks later than it was, so on a busy machine a grab that met a burst of several
// requests could pass as whole. A grab never splits one request, and the presents looked at
// reach the X server as one request a frame (one damage rectangle over the whole frame a
// present: Wine's on OpenGL into a top-level window, on Vulkan into a child, and xcompmgr's
// repaints), so for them the rule cannot be fooled this way.
#pragma once

class LandingGate {
  public:
    enum Outcome { WAIT, WHOLE, TORN };

    // quietSeconds: the gap between changes that no present's burst spans.
    explicit LandingGate(double quietSeconds) : quiet_(quietSeconds) {}

    // The watch starts at `now`: the picture standing then is the first frame to grab, and it
    // has stood for the quiet time already, so a grab of it is whole unless a change spans it.
    void Start(double now);
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
    // could still come.
    Outcome Resolve(double now);
    // While Resolve says WAIT: the moment it will say WHOLE unless a change comes first, the
    // latest the loop waits for events before asking again.
    double ResolveBy() const { return lastBefore_ + quiet_; }
    // The last change the resolved grab shows: when the picture it holds had landed.
    double LastBefore() const { return lastBefore_; }

  private:
    double quiet_;
    double lastDamage_ = -1e9;
    bool landing_ = false;
    bool grabPending_ = false;
    unsigned long grabSerial_ = 0;
    double lastBefore_ = 0;  // the last change before the pending grab
    double firstAfter_ = -1; // the first change after it, -1 while none
};
