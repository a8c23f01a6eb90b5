#include "x_loop.h"

#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "clock.h"

namespace {

// How late a pending grab may be settled when no change follows it, in seconds.
const double SETTLE_LATE = 0.01;

volatile sig_atomic_t endRequested = 0;

void RequestEnd(int) { endRequested = 1; }

bool GrabShowsGrey(Display* display, const XScreenPlace& place, std::vector<uint32_t>& pixels) {
    return place.window && XScreenGrab(display, place, PICTURE_WIDTH, PICTURE_HEIGHT, pixels) &&
           FrameShowsGrey(pixels.data());
}

// Whether the damage rectangle touches the place's frame (damage to Wine's caption is none).
bool Touches(const XDamageNotifyEvent& d, const XScreenPlace& w) {
    return d.drawable == w.watched && d.area.x < w.watchedX + PICTURE_WIDTH &&
           d.area.x + d.area.width > w.watchedX && d.area.y < w.watchedY + PICTURE_HEIGHT &&
           d.area.y + d.area.height > w.watchedY;
}

} // namespace

bool XWaitForScreen(Display* display, const Options& o, XScreenPlaces& places) {
    std::vector<uint32_t> pixels;
    double deadline = Now() + o.wait;
    do {
        places = XScreenFind(display, o.title, PICTURE_WIDTH, PICTURE_HEIGHT);
        if (places.shown.window && (GrabShowsGrey(display, places.shown, pixels) ||
                                    GrabShowsGrey(display, places.presented, pixels) ||
                                    GrabShowsGrey(display, places.window, pixels)))
            return true;
        SleepUntil(Now() + 0.05);
    } while (Now() < deadline);
    return false;
}

void XLoopEndOnSignals() {
    struct sigaction action = {};
    action.sa_handler = RequestEnd;
    // No SA_RESTART: the wait for X events returns at once, and the loop sees the request.
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool XPrintWhere(Display* display, const Options& o) {
    double deadline = Now() + o.wait;
    for (;; SleepUntil(Now() + 0.05)) {
        XScreenPlace shown = XScreenFind(display, o.title, PICTURE_WIDTH, PICTURE_HEIGHT).shown;
        int width, height;
        if (shown.window && XScreenOuterSize(display, shown, &width, &height)) {
            std::printf("%d %d %d %d %d %d\n", shown.x - shown.anchorX, shown.y - shown.anchorY,
                        width, height, shown.x, shown.y);
            return true;
        }
        if (Now() >= deadline)
            return false;
    }
}

void XLoop::Add(Place& place) {
    // Its window's unmapping and end come as events, in order with the damage: a grab taken
    // after the window was hidden or closed shows what was under it, and is known as such.
    XSelectInput(display_, place.where.anchor, StructureNotifyMask);
    place.damage = XScreenWatch(display_, place.where.watched, &damageBase_);
    place.grabber.reset(new XScreenGrabber(display_, PICTURE_WIDTH, PICTURE_HEIGHT, RING_SLOTS));
    place.grabber->Touch(place.where);
    places_.push_back(&place);
}

void XLoop::Release() {
    for (Place* p : places_)
        p->grabber.reset();
}

// Reads the events that have arrived, without waiting, and passes each damage event to the
// places whose frame it touches.
void XLoop::TakeEvents() {
    while (XEventsQueued(display_, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == UnmapNotify || event.type == MapNotify || event.type == DestroyNotify) {
            for (Place* p : places_) {
                if (event.xany.window != p->where.anchor)
                    continue;
                p->hidden = event.type != MapNotify;
                p->gone = p->gone || event.type == DestroyNotify;
            }
            continue;
        }
        if (event.type != damageBase_ + XDamageNotify)
            continue;
        const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(event);
        double now = Now();
        for (Place* p : places_)
            if (Touches(d, p->where))
                p->gate.Damaged(now, d.serial);
    }
}

// Waits at most `seconds` for events to arrive and takes them.
void XLoop::WaitEvents(double seconds) {
    // Reading the connection is a system call that finds nothing when the wait ran out or the
    // events were already queued; it is only made when the wait saw something arrive.
    if (XEventsQueued(display_, QueuedAfterFlush) == 0 && seconds > 0) {
        pollfd fd = {ConnectionNumber(display_), POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(std::ceil(seconds * 1000))) > 0)
            XEventsQueued(display_, QueuedAfterReading);
    }
    TakeEvents();
}

// Grabs the place; whether the grab met one whole frame is Settle's to say, once the gate
// knows. Returns false when the place went away.
bool XLoop::Grab(Place& place, bool follow) {
    // A place grabbed from the root window moves with the program's window; one grabbed from
    // the window itself goes with it.
    if (follow && place.where.window != place.where.anchor && !XScreenFollow(display_, place.where))
        return false;
    place.gate.GrabSent(NextRequest(display_));
    place.pendingSent = Now();
    place.pending = place.grabber->Grab(place.where, place.record.Next());
    if (!place.pending)
        return false;
    place.pendingReplied = Now();
    // The grab's reply has come, so every event the server made before the grab is here.
    TakeEvents();
    return true;
}

// Judges the place's pending grab when its gate can tell whether it is one whole frame: at
// once when a change came after it, else once the quiet time after the last change before it
// has passed. Until then the grab stays pending and the loop grabs the other places, instead
// of waiting out each grab's quiet time in turn. Returns false when the place went away.
bool XLoop::Settle(Place& place) {
    LandingGate::Outcome outcome = place.gate.Resolve(Now());
    if (outcome == LandingGate::WAIT)
        return true;
    const uint32_t* pixels = place.pending;
    place.pending = nullptr;
    // The window was hidden or closed before the grab: what it shows is none of the program's.
    if (place.gone)
        return false;
    if (place.hidden)
        return true;
    if (outcome == LandingGate::TORN) {
        place.record.Discarded();
        return true;
    }
    int bad = place.record.Frames().bad;
    if (place.record.Judge(pixels, place.pendingReplied)) {
        // The picture had landed by the last change before the grab, when that came after the
        // last whole grab was sent; the first picture, by the grab's reply.
        double before = place.gate.LastBefore();
        AccountPicture picture = {
            before > place.lastWholeSent ? before : place.pendingReplied, place.lastWholeSent, {}};
        for (const FrameBox& b : place.record.LastReport().boxes)
            picture.boxes.push_back({b.x, b.y, b.width, b.height});
        place.pictures.push_back(picture);
        place.pictureBad.push_back(place.record.Frames().bad > bad);
    }
    place.lastWholeSent = place.pendingSent;
    return true;
}

bool XLoop::Run(const Options& o) {
    double begin = Now();
    for (Place* p : places_) {
        p->record.Start(begin);
        p->gate.Start(begin);
    }
    double nextTick = begin;
    auto enough = [&] {
        if (endRequested)
            return true;
        if (o.untilClosed)
            return false;
        for (Place* p : places_)
            if (p->endsWatch && p->record.Frames().judged >= o.frames && o.seconds <= 0)
                return true;
        return o.seconds > 0 && Now() - begin >= o.seconds;
    };
    while (!enough()) {
        double now = Now();
        double lastChange = 0;
        for (Place* p : places_)
            if (p->endsWatch)
                lastChange = std::max({lastChange, p->record.LastChange(), p->gate.LastDamage()});
        for (Place* p : places_) {
            if (!p->gone)
                continue;
            p->lost = !o.untilClosed;
            return o.untilClosed;
        }
        if (!o.untilClosed && now - lastChange >= o.wait)
            break;
        bool tick = o.rate > 0 && now >= nextTick;
        if (tick)
            nextTick = std::max(nextTick + 1 / o.rate, now);
        bool grabbed = false;
        double wake = o.rate > 0 ? nextTick : now + 0.25;
        for (Place* p : places_) {
            bool there = !p->pending || Settle(*p);
            // Sampled: every place grabbed at each tick, whether anything landed or not; the
            // gate still discards a grab that met a picture landing.
            if (there && !p->pending && (o.rate > 0 ? tick : p->gate.Landing())) {
                there = Grab(*p, o.follow);
                grabbed = true;
            }
            if (!there) {
                if (o.untilClosed)
                    return true;
                p->lost = true;
                return false;
            }
            // A pending grab is settled at once by the next frame's damage, as a rule; the
            // wait for its quiet time to pass is only for a picture that then stands, so it
            // can be late by a few milliseconds and spare the loop a wakeup for every grab.
            if (p->pending)
                wake = std::min(wake, p->gate.ResolveBy() + SETTLE_LATE);
        }
        if (!grabbed)
            WaitEvents(wake - Now());
    }
    return false;
}
