#include "watch.h"

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

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::NO_BUG:
        return "no-bug";
    case Verdict::BUG:
        return "bug";
    case Verdict::TEARS:
        return "tears";
    case Verdict::NOTHING_SHOWN:
        return "nothing-shown";
    case Verdict::NO_SCREEN:
        return "no-screen";
    }
    return "?";
}

bool Tally::Judge(const FrameReport& report, bool showsGrey) {
    int index = judged++;
    if (FrameIsGood(report)) {
        ++good;
        positions.insert(report.boxes[0].y * 1000L + report.boxes[0].x);
        return true;
    }
    if (!showsGrey)
        ++blank;
    if (FrameIsFlash(report))
        ++flashes;
    if (FrameIsTorn(report))
        ++torn;
    if (showsGrey && report.boxes.empty() && !report.otherPixels)
        ++noBox;
    if (bad++ == 0) {
        firstBad = index;
        firstBadText = FrameDescribe(report);
    }
    return false;
}

Verdict Decide(const Tally& shown, const Tally* presented, int minDistinct, bool lost) {
    if (lost)
        return Verdict::NO_SCREEN;
    // The program presented frames, and none of them reached the window.
    if (shown.blank == shown.judged && presented && presented->judged > presented->blank)
        return Verdict::NOTHING_SHOWN;
    if (shown.bad || static_cast<int>(shown.positions.size()) < minDistinct)
        return Verdict::BUG;
    int grabs = shown.judged + shown.discarded;
    if (grabs && shown.discarded > TEARS_SHARE * grabs)
        return Verdict::TEARS;
    return Verdict::NO_BUG;
}
