#include "gate.h"

void LandingGate::Start(double now) {
    // Serial 0 comes before every request of the connection: a change before any grab.
    Damaged(now - quiet_, 0);
}

void LandingGate::Damaged(double now, unsigned long serial) {
    lastDamage_ = now;
    // Serials count up from the connection's start and wrap only after 2^32 requests, far
    // beyond one run's grabs, so a plain comparison orders them.
    if (grabPending_ && serial < grabSerial_) {
        lastBefore_ = now; // part of what the grab shows
        return;
    }
    if (grabPending_ && firstAfter_ < 0)
        firstAfter_ = now;
    landing_ = true;
}

void LandingGate::GrabSent(unsigned long serial) {
    grabPending_ = true;
    grabSerial_ = serial;
    lastBefore_ = lastDamage_;
    firstAfter_ = -1;
    landing_ = false;
}

LandingGate::Outcome LandingGate::Resolve(double now) {
    if (firstAfter_ >= 0 && firstAfter_ - lastBefore_ < quiet_) {
        grabPending_ = false;
        return TORN;
    }
    if (firstAfter_ >= 0 || now - lastBefore_ >= quiet_) {
        grabPending_ = false;
        return WHOLE;
    }
    return WAIT;
}
