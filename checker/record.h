// What one watched place showed over a run, frame by frame, for the verdict and for a person:
// the tally of its whole frames, where their boxes landed, how often the picture changed, and
// the frames around the first bad one. No X: the loop that grabs the place hands it each whole
// frame, in a buffer of a ring of RING_SLOTS that the grabber fills in turn.
#pragma once
#include <cstdint>
#include <vector>

#include "frame.h"
#include "positions.h"
#include "verdict.h"

// The frames judged just before the first bad one, and just after it, kept for a person.
const size_t AROUND = 4;
// Buffers in the grabber's ring: the frame being judged and the AROUND before it.
const int RING_SLOTS = AROUND + 1;

class PlaceRecord {
  public:
    // The watch starts at `now`: the picture standing then has stood since.
    void Start(double now) { lastChange_ = now; }
    // The ring slot the next grab goes into.
    int Next() const { return static_cast<int>((newest_ + 1) % RING_SLOTS); }
    // Judges the whole frame grabbed into slot Next() at `now`, and keeps what a person will
    // want to see of it. Its pixels must stay as they are until RING_SLOTS - 1 more grabs.
    // Returns whether its picture differs from the one judged before.
    bool Judge(const uint32_t* pixels, double now);
    // What the frame judged last showed.
    const FrameReport& LastReport() const { return lastReport_; }
    // A grab that met a picture still landing: not judged, counted.
    void Discarded() { ++tally_.discarded; }
    // The watch ended at `now`: how long the last picture stood counts to here.
    void End(double now) { Changed(now); }

    const Tally& Frames() const { return tally_; }
    // The frame judged last (PICTURE_WIDTH x PICTURE_HEIGHT words); null before the first.
    const uint32_t* Last() const { return ring_[newest_]; }
    // A copy of the first bad frame; empty while there is none.
    const std::vector<uint32_t>& FirstBad() const { return firstBad_; }
    // Copies of the AROUND frames judged before the first bad one (fewer when there were
    // fewer), it, and the AROUND after it (fewer when the run ended first).
    const std::vector<std::vector<uint32_t>>& AroundFirstBad() const { return around_; }
    const PositionMap& Positions() const { return map_; }
    // Judged frames whose picture differs from the one judged before.
    int Changes() const { return changes_; }
    // The longest time the picture stood still, in seconds.
    double LongestStill() const { return longestStill_; }
    double LastChange() const { return lastChange_; }

  private:
    void Changed(double now);

    Tally tally_;
    PositionMap map_;
    std::vector<uint32_t> firstBad_;
    // The frames judged last, newest at newest_, each in a buffer of the grabber's: a grab
    // lands in the next one, so the last few are kept without copying any of them.
    const uint32_t* ring_[RING_SLOTS] = {};
    size_t newest_ = 0;
    std::vector<std::vector<uint32_t>> around_;
    size_t aroundFull_ = 0;
    FrameReport lastReport_ = {{}, -1, 0, -1, -1, 0}; // of the frame judged last
    int changes_ = 0;
    double lastChange_ = 0;
    double longestStill_ = 0;
};
