// The accounting (accounting.h) written out: for programs, a JSON object for check.json; for a
// person, one sentence and a timeline picture (SVG, no scripts, so a page with it can be attached
// to a bug). Plain text work, no X.
#pragma once
#include <string>
#include <vector>

#include "accounting.h"

// {"presented": 303, "shown": 299, "dropped": 4, "repeated": 0, "stale": 0, "drawn_over": 0,
//  "out_of_order": 0, "unmatched": 0, "unread": 0, "latency_ms": {"median": 0.72, "p95": 2.67,
//  "max": 16.29, "low_median": ..., "low_p95": ..., "low_max": ..., "slack": 16.29},
//  "line": "...", "named": [{"picture": 41, "present": 312, "frames": [311, 312],
//  "text": "2 boxes: ..."}, ...]}: "named" lists, up to `maxNamed`, the pictures that were not
// one box of their own frame (boxes of several frames, an older frame, no single present).
std::string AccountingJson(const Accounting& accounting, size_t maxNamed = 50);

// "303 frames presented: 299 shown, 4 dropped, 0 out of order; from Present to the screen 0.7 ms
// median, 2.7 ms at the 95th percentile, 16.3 ms at most (at least 0.2, 1.1 and 3.0 ms)".
std::string AccountingLine(const Accounting& accounting);

// The timeline: the counted presents along time on one row, the pictures on the screen on the
// row below, each picture tied by a line to the present it showed; dropped presents and bad
// pictures (bad[i] for picture i, as the checker judged them; shorter means good) in red,
// out-of-order pictures in orange, presents that repeated or held an older frame in grey. Each
// mark has a <title> with its frame and time for a reader of the file.
std::string AccountingTimelineSvg(const Accounting& accounting,
                                  const std::vector<AccountPicture>& pictures,
                                  const std::vector<bool>& bad);
