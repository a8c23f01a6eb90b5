// onebox-wait-bench: the frame loop's wait, measured on the platform it runs on (Wine here),
// each figure beside the bare platform call it is built on, measured in the same run:
// - WindowWaitEvent(2) with no input against MsgWaitForMultipleObjects with the same 2 ms;
// - EventPost + EventTake against posting and peeking one thread message.
// Run: tools/wine-run.sh build/mingw/bench/win32/onebox-wait-bench.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/runtime.h"
#include "core/platform.h"
#include "window/events.h"
#include "window/window.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

struct Spread {
    double minimum, median, p99, maximum;
};

template <typename Wait> Spread TimeEach(int count, Wait wait) {
    std::vector<double> ms;
    ms.reserve(count);
    for (int i = 0; i < count; ++i) {
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        wait();
        QueryPerformanceCounter(&t1);
        ms.push_back(Milliseconds(t0, t1));
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[count / 2], ms[count * 99 / 100], ms.back()};
}

template <typename Step> double NanosecondsEach(int count, Step step) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < count; ++i)
        step(i);
    QueryPerformanceCounter(&t1);
    return Milliseconds(t0, t1) * 1e6 / count;
}

void PrintSpread(const char* name, const Spread& s) {
    std::printf("%-44s min %.3f  median %.3f  p99 %.3f  max %.3f ms\n", name, s.minimum, s.median,
                s.p99, s.maximum);
}

} // namespace

int main() {
    if (!PrivateHeapCreate(0))
        return 1;
    RuntimeStartup();
    if (!WindowOpen(0, 0, 0, 320, 200, "wait bench", WS_OVERLAPPEDWINDOW | WINDOW_SCREEN_CENTERED))
        return 1;
    // Let the window's start-up messages go by before measuring idle waits.
    for (DWORD start = GetTickCount(); GetTickCount() - start < 300;)
        WindowWaitEvent(1);

    const int waits = 1000;
    const Spread platform =
        TimeEach(waits, [] { MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT); });
    int returned = 0;
    const Spread ours = TimeEach(waits, [&] {
        if (WindowWaitEvent(2))
            ++returned;
    });
    std::printf("idle wait of 2 ms, %d waits each:\n", waits);
    PrintSpread("  MsgWaitForMultipleObjects (baseline)", platform);
    PrintSpread("  WindowWaitEvent", ours);
    std::printf("  median ratio %.2f (%d waits returned an event)\n", ours.median / platform.median,
                returned);

    const int events = 1000000;
    const DWORD thread = GetCurrentThreadId();
    const double platformNs = NanosecondsEach(events, [thread](int i) {
        MSG message;
        PostThreadMessageA(thread, WM_USER, static_cast<WPARAM>(i), 0);
        PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_REMOVE);
    });
    const double oursNs = NanosecondsEach(events, [](int i) {
        EventPost(EVENT_WINDOW_MOVED, i, 0, 0);
        EventTake();
    });
    std::printf("one queued event, %d each:\n", events);
    std::printf("  PostThreadMessageA + PeekMessageA (baseline) %.1f ns\n", platformNs);
    std::printf("  EventPost + EventTake                        %.1f ns\n", oursNs);
    std::printf("  ratio %.3f\n", oursNs / platformNs);

    RuntimeShutdown();
    PrivateHeapDestroy();
    return 0;
}
