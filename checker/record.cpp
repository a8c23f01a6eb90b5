#include "record.h"

#include <algorithm>

void PlaceRecord::Changed(double now) {
    longestStill_ = std::max(longestStill_, now - lastChange_);
    lastChange_ = now;
}

bool PlaceRecord::Judge(const uint32_t* pixels, double now) {
    FrameReport report = FrameAnalyse(pixels, PICTURE_WIDTH, PICTURE_HEIGHT);
    // A picture presented again unchanged (Wine repaints the window while it is dragged)
    // is damage but no change. Two frames of the program with the same report are the
    // same picture but for a box landing on the very same place, one frame in 440,000.
    bool changed = !FrameSame(report, lastReport_);
    if (changed) {
        ++changes_;
        Changed(now);
    }
    lastReport_ = report;
    bool hadBad = tally_.bad > 0;
    if (tally_.Judge(report, FrameShowsGrey(pixels))) {
        map_.AddGood(report.boxes[0]);
    } else {
        if (!hadBad)
            firstBad_ = FrameCopy(pixels);
        for (const FrameBox& box : report.boxes)
            map_.AddBad(box);
    }
    if (hadBad) {
        if (around_.size() < aroundFull_)
            around_.push_back(FrameCopy(pixels));
    } else if (tally_.bad) {
        size_t before = std::min<size_t>(tally_.judged - 1, AROUND);
        for (size_t i = before; i > 0; --i)
            around_.push_back(FrameCopy(ring_[(newest_ + RING_SLOTS + 1 - i) % RING_SLOTS]));
        around_.push_back(FrameCopy(pixels));
        aroundFull_ = around_.size() + AROUND;
    }
    newest_ = static_cast<size_t>(Next());
    ring_[newest_] = pixels;
    return changed;
}
