// The frame loop's hooks for the benchmark's copy of the program (onebox_counted): counts the
// loop's turns, and the frames presented, and at exit writes "turns T presented P microseconds
// U" (first to last turn) to the file named by ONEBOX_FRAME_COUNT_FILE.
#include "app/frame_hooks.h"

#include <windows.h>

#include <cstdio>

#include "screen/screen.h"

namespace {
LARGE_INTEGER first, last;
long turns, presented;
} // namespace

// A frame counts as presented when the flip left the screen active (its Present succeeded).
void FrameLoopTurned() {
    QueryPerformanceCounter(turns ? &last : &first);
    turns++;
    // Only frames after the first count as presented: the rate is over the time between the
    // first turn and the last.
    if (turns > 1 && ScreenStateGet()->deviceState == ScreenDeviceState::Usable &&
        ScreenStateGet()->device)
        presented++;
}

void FrameLoopEnded() {
    char path[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("ONEBOX_FRAME_COUNT_FILE", path, sizeof path))
        return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    long long microseconds =
        turns > 1 ? (last.QuadPart - first.QuadPart) * 1000000LL / frequency.QuadPart : 0;
    if (FILE* file = std::fopen(path, "w")) {
        std::fprintf(file, "turns %ld presented %ld microseconds %lld\n", turns, presented,
                     microseconds);
        std::fclose(file);
    }
}
