// The checker's X side: it waits for the program's first frame, then feeds every watched place
// the damage the server reports and the grabs it takes, until the watch is over. What a place
// showed is its record's (record.h); when a grab is whole is its gate's (gate.h).
#pragma once
#include <X11/Xlib.h>

#include <memory>
#include <vector>

#include "accounting.h"
#include "gate.h"
#include "options.h"
#include "record.h"
#include "x_screen.h"

// One watched place: where it is on the display, its damage, its grabber, its gate and what it
// showed.
struct Place {
    XScreenPlace where;
    unsigned long damage = 0; // 0: the server reports none for it
    std::unique_ptr<XScreenGrabber> grabber;
    LandingGate gate;
    PlaceRecord record;
    bool lost = false; // it went away during the watch
    // What the server said of the window the place moves with: unmapped (hidden: what is on
    // the screen there is none of it), or destroyed (closed).
    bool hidden = false;
    bool gone = false;
    // Whether its frames count toward the end of the watch (o.frames, o.wait). The window's own
    // pixels under a compositing manager do not: the watch is of the screen, which may show
    // fewer pictures than the window got.
    bool endsWatch = true;
    // Each picture it showed, when its frame changed, for the accounting of the presents: its
    // time, the boxes it held and whether it was bad. lastWholeSent: when the last whole grab
    // was sent, which the next picture landed after.
    std::vector<AccountPicture> pictures;
    std::vector<bool> pictureBad;
    double lastWholeSent = -1e300;
    // A grab taken whose gate has not yet said whether it met one whole frame: its pixels,
    // when it was sent and when its reply came. The loop goes on meanwhile (XLoop::Settle).
    const uint32_t* pending = nullptr;
    double pendingSent = 0, pendingReplied = 0;

    explicit Place(double quietSeconds) : gate(quietSeconds) {}
};

// Waits up to o.wait seconds until the window titled o.title is there and the program has
// presented at least one frame: some grey on the screen, in the renderer's own drawable or in
// the window's own pixels under a compositing manager.
// Before its first present the OpenGL child window is black and the client area shows the
// window's own background, neither of which is a frame of the program. Fills `places`.
bool XWaitForScreen(Display* display, const Options& o, XScreenPlaces& places);

// From now on SIGINT and SIGTERM end the watch (the results are still written) instead of the
// checker.
void XLoopEndOnSignals();

// Prints where the window titled o.title stands on the screen, for a script that acts on it as a
// person would: "X Y WIDTH HEIGHT CLIENT_X CLIENT_Y", its outer rectangle and its client area's
// corner. Waits up to o.wait seconds for it; false when there is none.
bool XPrintWhere(Display* display, const Options& o);

class XLoop {
  public:
    explicit XLoop(Display* display) : display_(display) {}
    // Watches the place from now on: its damage, and a grabber with a ring of RING_SLOTS.
    void Add(Place& place);
    // Watches until enough frames were judged (o.frames at any place, or o.seconds), a place
    // went away or nothing changed for o.wait seconds; with o.untilClosed, until the window
    // goes away, however long that takes. SIGINT or SIGTERM ends any watch early, as a close
    // would (XLoopEndOnSignals). o.rate > 0 samples instead of judging every frame that lands.
    // Returns true when the watch ended because the window went away.
    bool Run(const Options& o);
    // Detaches the grabbers' shared memory from the server, which must still be there.
    void Release();

  private:
    void TakeEvents();
    void WaitEvents(double seconds);
    bool Grab(Place& place, bool follow);
    bool Settle(Place& place);

    Display* display_;
    int damageBase_ = 0;
    std::vector<Place*> places_;
};
