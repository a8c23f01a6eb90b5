#include "window_support.h"

#include "app/runtime.h"
#include "core/platform.h"
#include "tests/core/high_heap.h"
#include "x_input.h"

void RuntimeTest::SetUp() {
#if INTPTR_MAX > INT32_MAX
    if (aboveFourGiB_) {
        ASSERT_EQ(PrivateHeapCreateAboveFourGiB(heapLimit_), 1);
        ASSERT_TRUE(PrivateHeapIsAboveFourGiB());
        RuntimeStartup();
        return;
    }
#endif
    ASSERT_EQ(PrivateHeapCreate(heapLimit_), 1);
    RuntimeStartup();
}

void RuntimeTest::TearDown() {
    RuntimeShutdown();
    // Messages still queued for windows now gone must not reach the next test.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    PrivateHeapDestroy();
}

void MakeForeground(HWND window) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    SetFocus(window);
    XPump(50);
}
