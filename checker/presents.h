// The presents of a run accounted for (accounting.h) with the recorder's file, as the checker
// does it right after its watch, while the program still runs: the recorder writes what it holds
// a tenth of a second after its last write, so the presents up to the watch's end reach the file
// shortly after it.
#pragma once
#include <string>
#include <vector>

#include "accounting.h"
#include "options.h"

// Reads the recorder's file at `path` into `presents`, waiting up to `patience` seconds for a
// present made after `until` (CLOCK_MONOTONIC_RAW seconds) to be in it. False, with the reason in
// *error, when there is no such file or it is no recorder's file.
bool ReadPresentsFile(const std::string& path, double until, double patience,
                      std::vector<AccountPresent>* presents, std::string* error);

// The accounting of the watch from `begin` to `end` against the pictures of the screen, when
// o.presents names the recorder's file; false (and a line on stderr when the file is bad)
// without one.
bool AccountPresents(const Options& o, const std::vector<AccountPicture>& pictures, double begin,
                     double end, Accounting* accounting);

// Prints the accounting's lines for a person (the counts, and the frames of the first bad or
// out-of-order picture; bad[i] for picture i), writes timeline.svg into o.save when it is set
// (its path into *timeline) and returns the accounting as JSON for check.json.
std::string WriteAccounting(const Options& o, const Accounting& accounting,
                            const std::vector<AccountPicture>& pictures,
                            const std::vector<bool>& bad, std::string* timeline);
