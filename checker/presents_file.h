// The present recorder's file as the checker reads it right after its watch, while the program
// still runs: the recorder writes what it holds a tenth of a second after its last write, so the
// presents up to the watch's end reach the file shortly after it.
#pragma once
#include <string>
#include <vector>

#include "accounting.h"

// Reads the recorder's file at `path` into `presents`, waiting up to `patience` seconds for a
// present made after `until` (CLOCK_MONOTONIC_RAW seconds) to be in it. False, with the reason in
// *error, when there is no such file or it is no recorder's file.
bool ReadPresentsFile(const std::string& path, double until, double patience,
                      std::vector<AccountPresent>* presents, std::string* error);
