#include "bench/frame_loop/frame_counter.h"

#include <windows.h>

#include <cstdio>

#include "screen/screen.h"

namespace {
LARGE_INTEGER first, last;
long turns, presented;
} // namespace

void FrameCounterTurn() {
    QueryPerformanceCounter(turns ? &last : &first);
    turns++;
    // Only frames after the first count as presented: the rate is over the time between the
    // first turn and the last.
    if (turns > 1 && ScreenStateGet()->deviceState == ScreenDeviceState::Usable &&
        ScreenStateGet()->device)
        presented++;
}

void FrameCounterReport() {
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
