#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "window/events.h"
#include "window/sizing.h"
#include "window/translate.h"
#include "window/window.h"
#include "window_support.h"
#include "x_input.h"

namespace {

RECT OuterRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

POINT Cursor() {
    POINT p = {};
    GetCursorPos(&p);
    return p;
}

// Counts the WM_SIZING messages the window gets, in front of the runtime's procedures.
int sizingMessages;
WNDPROC chainedProc;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZING)
        ++sizingMessages;
    return CallWindowProcA(chainedProc, window, message, wParam, lParam);
}

void CountSizingMessages(HWND window) {
    sizingMessages = 0;
    chainedProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
}

// Pumps until the condition holds or about two seconds pass.
template <typename Condition> bool PumpUntil(Condition condition) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > 2000)
            return false;
        WindowWaitEvent(1);
    }
    return true;
}

// Moves the X pointer to a point of the Wine desktop, which is where Win32 screen
// coordinates are measured from.
std::string MoveTo(int x, int y) {
    return "xdotool mousemove --window $(xdotool search --name 'Wine desktop' | head -1) " +
           std::to_string(x) + " " + std::to_string(y) + "; sleep 0.1";
}

class LiveSizingTest : public RuntimeTest {
  protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &savedFullDrag_, 0);
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
    }
    void TearDown() override {
        // A failed case must not leave the button held or the capture taken for the next.
        XRun("xdotool mouseup 1");
        ReleaseCapture();
        XPump(50);
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, savedFullDrag_, nullptr, 0);
        RuntimeTest::TearDown();
    }

    HWND OpenSizable(uint32_t flags = WS_OVERLAPPEDWINDOW) {
        HWND window = reinterpret_cast<HWND>(WindowOpen(0, 200, 150, 300, 200, "size", flags));
        if (window)
            MakeForeground(window);
        return window;
    }

  private:
    BOOL savedFullDrag_ = FALSE;
};

TEST_F(LiveSizingTest, KeyboardSizingFromTheSystemMenu) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    SizingState* state = SizingStateGet();
    const POINT start = {640, 560};
    SetCursorPos(start.x, start.y);
    XPump(50);
    RECT before = OuterRect(window);

    ASSERT_TRUE(XKeys("alt+space s"));
    ASSERT_TRUE(PumpUntil([&] { return state->active == 1; })) << "sizing did not start";
    EXPECT_EQ(state->edge, 0) << "no edge chosen yet";
    EXPECT_EQ(state->restoreCursor, 1);
    EXPECT_EQ(state->savedCursor.x, start.x);
    EXPECT_EQ(state->savedCursor.y, start.y);
    EXPECT_EQ(GetCapture(), window);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_SIZEALL));

    ASSERT_TRUE(XKeys("Left"));
    ASSERT_TRUE(PumpUntil([&] { return state->edge == WMSZ_LEFT; }));
    XPump(100);
    POINT p = Cursor();
    EXPECT_EQ(p.x, before.left) << "Left puts the cursor on the left border";
    EXPECT_EQ(p.y, start.y);
    RECT r = OuterRect(window);
    EXPECT_EQ(r.left, before.left) << "choosing an edge does not size";
    EXPECT_EQ(r.right, before.right);

    ASSERT_TRUE(XKeys("Left"));
    ASSERT_TRUE(PumpUntil([&] { return OuterRect(window).left == before.left - 10; }));
    XPump(100);
    r = OuterRect(window);
    EXPECT_EQ(r.left, before.left - 10);
    EXPECT_EQ(r.right, before.right);
    EXPECT_EQ(r.top, before.top);
    EXPECT_EQ(r.bottom, before.bottom);
    EXPECT_EQ(state->active, 1);

    ASSERT_TRUE(XKeys("Return"));
    ASSERT_TRUE(PumpUntil([&] { return state->active == 0; })) << "Enter did not end sizing";
    XPump(100);
    EXPECT_EQ(GetCapture(), nullptr);
    p = Cursor();
    EXPECT_EQ(p.x, start.x) << "the cursor returns to where it was";
    EXPECT_EQ(p.y, start.y);
    r = OuterRect(window);
    EXPECT_EQ(r.left, before.left - 10) << "the size reached stays";
    EXPECT_EQ(r.right, before.right);
}

TEST_F(LiveSizingTest, UpThenLeftChoosesTopLeftAndTheMouseMovesThatCorner) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    SizingState* state = SizingStateGet();
    RECT before = OuterRect(window);

    ASSERT_TRUE(XKeys("alt+space s"));
    ASSERT_TRUE(PumpUntil([&] { return state->active == 1; }));
    ASSERT_TRUE(XKeys("Up"));
    ASSERT_TRUE(PumpUntil([&] { return state->edge == WMSZ_TOP; }));
    ASSERT_TRUE(XKeys("Left"));
    ASSERT_TRUE(PumpUntil([&] { return state->edge == WMSZ_TOPLEFT; }));
    XPump(100);
    POINT p = Cursor();
    EXPECT_EQ(p.x, before.left + 2);
    EXPECT_EQ(p.y, before.top + 2);
    RECT r = OuterRect(window);
    EXPECT_EQ(r.left, before.left) << "no jump when the edge is chosen";
    EXPECT_EQ(r.top, before.top);

    // Inward: under the virtual desktop a pointer that leaves the window without a button
    // held is reported to the window under it, capture or not.
    ASSERT_EQ(XRun(MoveTo(p.x + 30, p.y + 20)), 0);
    ASSERT_TRUE(PumpUntil([&] { return OuterRect(window).left == before.left + 30; }));
    r = OuterRect(window);
    EXPECT_EQ(r.top, before.top + 20);
    EXPECT_EQ(r.right, before.right);
    EXPECT_EQ(r.bottom, before.bottom);

    ASSERT_TRUE(XKeys("Escape"));
    ASSERT_TRUE(PumpUntil([&] { return state->active == 0; }));
    EXPECT_EQ(OuterRect(window).left, before.left + 30) << "Escape keeps the size reached";
}

TEST_F(LiveSizingTest, MouseDragOnTheBottomRightBorderObeysTheLimits) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    SizingState* state = SizingStateGet();
    CountSizingMessages(window);
    RECT before = OuterRect(window);
    POINT grip = {before.right - 2, before.bottom - 2};

    ASSERT_EQ(XRun(MoveTo(grip.x, grip.y) + "; xdotool mousedown 1"), 0);
    // Control is back here while the button is held: the platform's modal loop is not running.
    ASSERT_TRUE(PumpUntil([&] { return state->active == 1; })) << "sizing did not start";
    EXPECT_EQ(state->edge, WMSZ_BOTTOMRIGHT);
    EXPECT_EQ(GetCapture(), window);

    ASSERT_EQ(XRun(MoveTo(grip.x + 60, grip.y + 40)), 0);
    ASSERT_TRUE(PumpUntil([&] { return OuterRect(window).right == before.right + 60; }));
    EXPECT_EQ(OuterRect(window).bottom, before.bottom + 40);
    EXPECT_GT(sizingMessages, 0);

    // Far past the left and top edges: the platform's minimum tracking size holds.
    ASSERT_EQ(XRun(MoveTo(before.left - 100, before.top - 100)), 0);
    XPump(200);
    RECT r = OuterRect(window);
    EXPECT_EQ(r.left, before.left);
    EXPECT_EQ(r.top, before.top);
    EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXMINTRACK));
    EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYMINTRACK));

    ASSERT_EQ(XRun("xdotool mouseup 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 0; }));
    EXPECT_EQ(GetCapture(), nullptr);

    // The record's own limits apply on the next sizing.
    WindowRecord* record = WindowRecordLookup(0);
    record->minimumWidth = 250;
    record->minimumHeight = 150;
    record->maximumWidth = 420;
    record->maximumHeight = 330;
    before = OuterRect(window);
    grip = {before.right - 2, before.bottom - 2};
    ASSERT_EQ(XRun(MoveTo(grip.x, grip.y) + "; xdotool mousedown 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 1; }));
    ASSERT_EQ(XRun(MoveTo(before.left + 5, before.top + 5)), 0);
    XPump(200);
    r = OuterRect(window);
    EXPECT_EQ(r.right - r.left, 250);
    EXPECT_EQ(r.bottom - r.top, 150);
    ASSERT_EQ(XRun(MoveTo(900, 700)), 0);
    XPump(200);
    r = OuterRect(window);
    EXPECT_EQ(r.right - r.left, 420);
    EXPECT_EQ(r.bottom - r.top, 330);
    ASSERT_EQ(XRun("xdotool mouseup 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 0; }));
}

TEST_F(LiveSizingTest, ToolWindowNarrowsToOnePixel) {
    HWND window = OpenSizable(WINDOW_TOOL | WS_THICKFRAME | WS_SYSMENU);
    ASSERT_NE(window, nullptr);
    SizingState* state = SizingStateGet();
    RECT before = OuterRect(window);
    int middle = (before.top + before.bottom) / 2;

    ASSERT_EQ(XRun(MoveTo(before.right - 2, middle) + "; xdotool mousedown 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 1; }));
    EXPECT_EQ(state->edge, WMSZ_RIGHT);
    EXPECT_EQ(state->limits.ptMinTrackSize.x, 1);
    ASSERT_EQ(XRun(MoveTo(before.left - 50, middle)), 0);
    XPump(200);
    RECT r = OuterRect(window);
    EXPECT_EQ(r.right - r.left, 1);
    EXPECT_EQ(r.left, before.left);
    ASSERT_EQ(XRun("xdotool mouseup 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 0; }));
}

// One sizing state serves every numbered window: a key that reaches another numbered window
// while sizing runs steps the window being sized and never moves the one that got the key.
TEST_F(LiveSizingTest, KeysOfAnotherWindowSizeOnlyTheWindowBeingSized) {
    // Away from the pointer, whose moves over it would size the window too.
    HWND other = reinterpret_cast<HWND>(WindowOpen(1, 10, 10, 150, 100, "other", 0));
    ASSERT_NE(other, nullptr);
    RECT otherBefore = OuterRect(other);
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    SizingState* state = SizingStateGet();
    RECT before = OuterRect(window);

    // With the button held the pointer stays grabbed by the sized window, so the cursor
    // placed by the key is not overtaken by a move reported through the desktop.
    ASSERT_EQ(XRun(MoveTo(before.right - 2, before.bottom - 2) + "; xdotool mousedown 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 1; }));
    XPump(100);
    ASSERT_EQ(Cursor().x, before.right - 2);

    SendMessageA(other, WM_KEYDOWN, VK_LEFT, 0);
    XPump(100);
    RECT r = OuterRect(other);
    EXPECT_EQ(r.left, otherBefore.left);
    EXPECT_EQ(r.top, otherBefore.top);
    EXPECT_EQ(r.right, otherBefore.right);
    EXPECT_EQ(r.bottom, otherBefore.bottom);
    r = OuterRect(window);
    EXPECT_EQ(r.right, before.right - 10);
    EXPECT_EQ(r.left, before.left);
    EXPECT_EQ(r.bottom, before.bottom);

    ASSERT_EQ(XRun("xdotool mouseup 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 0; }));
}

// The capture goes with a destroyed window without a capture change reaching its procedure;
// sizing must still end, or it would keep every other window's mouse messages.
TEST_F(LiveSizingTest, ClosingTheSizedWindowEndsSizing) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    SizingState* state = SizingStateGet();
    RECT before = OuterRect(window);
    ASSERT_EQ(XRun(MoveTo(before.right - 2, before.bottom - 2) + "; xdotool mousedown 1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return state->active == 1; }));
    WindowClose(0);
    XPump(100);
    HWND next =
        reinterpret_cast<HWND>(WindowOpen(1, 100, 100, 200, 100, "next", WS_OVERLAPPEDWINDOW));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(LiveSizing(next, WM_MOUSEMOVE, 0, 0), static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(state->active, 0);
}

TEST_F(LiveSizingTest, FullWindowDraggingOffLeavesSizingToTheSystem) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
    EXPECT_EQ(LiveSizing(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0),
              static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(SizingStateGet()->active, 0);
    // Moving is always the system's.
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
    EXPECT_EQ(LiveSizing(window, WM_SYSCOMMAND, SC_MOVE | 2, 0), static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(LiveSizing(window, WM_MOUSEMOVE, 0, 0), static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(SizingStateGet()->active, 0);
}

} // namespace
