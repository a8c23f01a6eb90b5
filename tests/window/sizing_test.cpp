#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "window/events.h"
#include "window/sizing.h"
#include "window/translate.h"
#include "window/window.h"
#include "window_support.h"
#include "x_input.h"

namespace {

using Edges = std::array<LONG, 4>; // left, top, right, bottom

Edges OuterEdges(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right, r.bottom};
}

// The edges moved by the given amounts.
Edges Moved(const Edges& e, LONG left, LONG top, LONG right, LONG bottom) {
    return {e[0] + left, e[1] + top, e[2] + right, e[3] + bottom};
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
        state_ = SizingStateGet();
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

    bool SizingIs(int32_t active) {
        return PumpUntil([&] { return state_->active == active; });
    }
    // Presses the left button at a point of the desktop; sizing must start.
    bool Press(LONG x, LONG y) {
        return XRun(MoveTo(x, y) + "; xdotool mousedown 1") == 0 && SizingIs(1);
    }
    // Moves the pointer with the button held and lets the sizing follow.
    bool DragTo(LONG x, LONG y) {
        bool moved = XRun(MoveTo(x, y)) == 0;
        XPump(200);
        return moved;
    }
    // Releases the button; sizing must end.
    bool Release() { return XRun("xdotool mouseup 1") == 0 && SizingIs(0); }

    SizingState* state_ = nullptr;

  private:
    BOOL savedFullDrag_ = FALSE;
};

TEST_F(LiveSizingTest, KeyboardSizingFromTheSystemMenu) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    const POINT start = {640, 560};
    SetCursorPos(start.x, start.y);
    XPump(50);
    const Edges before = OuterEdges(window);

    ASSERT_TRUE(XKeys("alt+space s"));
    ASSERT_TRUE(SizingIs(1)) << "sizing did not start";
    EXPECT_EQ(state_->edge, 0) << "no edge chosen yet";
    EXPECT_EQ(state_->restoreCursor, 1);
    EXPECT_EQ(state_->savedCursor.x, start.x);
    EXPECT_EQ(state_->savedCursor.y, start.y);
    EXPECT_EQ(GetCapture(), window);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_SIZEALL));

    ASSERT_TRUE(XKeys("Left"));
    ASSERT_TRUE(PumpUntil([&] { return state_->edge == WMSZ_LEFT; }));
    XPump(100);
    EXPECT_EQ(Cursor().x, before[0]) << "Left puts the cursor on the left border";
    EXPECT_EQ(Cursor().y, start.y);
    EXPECT_EQ(OuterEdges(window), before) << "choosing an edge does not size";

    ASSERT_TRUE(XKeys("Left"));
    ASSERT_TRUE(PumpUntil([&] { return OuterEdges(window)[0] == before[0] - 10; }));
    XPump(100);
    EXPECT_EQ(OuterEdges(window), Moved(before, -10, 0, 0, 0));
    EXPECT_EQ(state_->active, 1);

    ASSERT_TRUE(XKeys("Return"));
    ASSERT_TRUE(SizingIs(0)) << "Enter did not end sizing";
    XPump(100);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Cursor().x, start.x) << "the cursor returns to where it was";
    EXPECT_EQ(Cursor().y, start.y);
    EXPECT_EQ(OuterEdges(window), Moved(before, -10, 0, 0, 0)) << "the size reached stays";
}

TEST_F(LiveSizingTest, UpThenLeftChoosesTopLeftAndTheMouseMovesThatCorner) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    const Edges before = OuterEdges(window);

    ASSERT_TRUE(XKeys("alt+space s"));
    ASSERT_TRUE(SizingIs(1));
    ASSERT_TRUE(XKeys("Up"));
    ASSERT_TRUE(PumpUntil([&] { return state_->edge == WMSZ_TOP; }));
    ASSERT_TRUE(XKeys("Left"));
    ASSERT_TRUE(PumpUntil([&] { return state_->edge == WMSZ_TOPLEFT; }));
    XPump(100);
    const POINT p = Cursor();
    EXPECT_EQ(p.x, before[0] + 2);
    EXPECT_EQ(p.y, before[1] + 2);
    EXPECT_EQ(OuterEdges(window), before) << "no jump when the edge is chosen";

    // Inward: under the virtual desktop a pointer that leaves the window without a button
    // held is reported to the window under it, capture or not.
    ASSERT_EQ(XRun(MoveTo(p.x + 30, p.y + 20)), 0);
    ASSERT_TRUE(PumpUntil([&] { return OuterEdges(window)[0] == before[0] + 30; }));
    EXPECT_EQ(OuterEdges(window), Moved(before, 30, 20, 0, 0));

    ASSERT_TRUE(XKeys("Escape"));
    ASSERT_TRUE(SizingIs(0));
    EXPECT_EQ(OuterEdges(window)[0], before[0] + 30) << "Escape keeps the size reached";
}

TEST_F(LiveSizingTest, MouseDragOnTheBottomRightBorderObeysTheLimits) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    sizingMessages = 0;
    chainedProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    Edges before = OuterEdges(window);

    // Control is back here while the button is held: the platform's modal loop is not running.
    ASSERT_TRUE(Press(before[2] - 2, before[3] - 2)) << "sizing did not start";
    EXPECT_EQ(state_->edge, WMSZ_BOTTOMRIGHT);
    EXPECT_EQ(GetCapture(), window);
    ASSERT_EQ(XRun(MoveTo(before[2] + 58, before[3] + 38)), 0);
    ASSERT_TRUE(PumpUntil([&] { return OuterEdges(window)[2] == before[2] + 60; }));
    EXPECT_EQ(OuterEdges(window), Moved(before, 0, 0, 60, 40));
    EXPECT_GT(sizingMessages, 0);
    // Far past the left and top edges: the platform's minimum tracking size holds.
    ASSERT_TRUE(DragTo(before[0] - 100, before[1] - 100));
    EXPECT_EQ(OuterEdges(window),
              Edges({before[0], before[1], before[0] + GetSystemMetrics(SM_CXMINTRACK),
                     before[1] + GetSystemMetrics(SM_CYMINTRACK)}));
    ASSERT_TRUE(Release());
    EXPECT_EQ(GetCapture(), nullptr);

    // The record's own limits apply on the next sizing.
    WindowRecord* record = WindowRecordLookup(0);
    record->minimumWidth = 250;
    record->minimumHeight = 150;
    record->maximumWidth = 420;
    record->maximumHeight = 330;
    before = OuterEdges(window);
    ASSERT_TRUE(Press(before[2] - 2, before[3] - 2));
    const struct {
        LONG x, y, width, height;
    } drags[] = {{before[0] + 5, before[1] + 5, 250, 150}, {900, 700, 420, 330}};
    for (const auto& d : drags) {
        ASSERT_TRUE(DragTo(d.x, d.y));
        EXPECT_EQ(OuterEdges(window),
                  Edges({before[0], before[1], before[0] + d.width, before[1] + d.height}));
    }
    ASSERT_TRUE(Release());
}

TEST_F(LiveSizingTest, ToolWindowNarrowsToOnePixel) {
    HWND window = OpenSizable(WINDOW_TOOL | WS_THICKFRAME | WS_SYSMENU);
    ASSERT_NE(window, nullptr);
    const Edges before = OuterEdges(window);
    const LONG middle = (before[1] + before[3]) / 2;
    ASSERT_TRUE(Press(before[2] - 2, middle));
    EXPECT_EQ(state_->edge, WMSZ_RIGHT);
    EXPECT_EQ(state_->limits.ptMinTrackSize.x, 1);
    ASSERT_TRUE(DragTo(before[0] - 50, middle));
    EXPECT_EQ(OuterEdges(window), Edges({before[0], before[1], before[0] + 1, before[3]}));
    ASSERT_TRUE(Release());
}

// One sizing state serves every numbered window: a key that reaches another numbered window
// while sizing runs steps the window being sized and never moves the one that got the key.
TEST_F(LiveSizingTest, KeysOfAnotherWindowSizeOnlyTheWindowBeingSized) {
    // Away from the pointer, whose moves over it would size the window too.
    HWND other = reinterpret_cast<HWND>(WindowOpen(1, 10, 10, 150, 100, "other", 0));
    ASSERT_NE(other, nullptr);
    const Edges otherBefore = OuterEdges(other);
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    const Edges before = OuterEdges(window);

    // With the button held the pointer stays grabbed by the sized window, so the cursor
    // placed by the key is not overtaken by a move reported through the desktop.
    ASSERT_TRUE(Press(before[2] - 2, before[3] - 2));
    XPump(100);
    ASSERT_EQ(Cursor().x, before[2] - 2);

    SendMessageA(other, WM_KEYDOWN, VK_LEFT, 0);
    XPump(100);
    EXPECT_EQ(OuterEdges(other), otherBefore);
    EXPECT_EQ(OuterEdges(window), Moved(before, 0, 0, -10, 0));
    ASSERT_TRUE(Release());
}

// The capture goes with a destroyed window without a capture change reaching its procedure;
// sizing must still end, or it would keep every other window's mouse messages.
TEST_F(LiveSizingTest, ClosingTheSizedWindowEndsSizing) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    const Edges before = OuterEdges(window);
    ASSERT_TRUE(Press(before[2] - 2, before[3] - 2));
    WindowClose(0);
    XPump(100);
    HWND next =
        reinterpret_cast<HWND>(WindowOpen(1, 100, 100, 200, 100, "next", WS_OVERLAPPEDWINDOW));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(LiveSizing(next, WM_MOUSEMOVE, 0, 0), static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(state_->active, 0);
}

TEST_F(LiveSizingTest, FullWindowDraggingOffLeavesSizingToTheSystem) {
    HWND window = OpenSizable();
    ASSERT_NE(window, nullptr);
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
    EXPECT_EQ(LiveSizing(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0),
              static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(state_->active, 0);
    // Moving is always the system's.
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
    EXPECT_EQ(LiveSizing(window, WM_SYSCOMMAND, SC_MOVE | 2, 0), static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(LiveSizing(window, WM_MOUSEMOVE, 0, 0), static_cast<LRESULT>(NOT_HANDLED));
    EXPECT_EQ(state_->active, 0);
}

} // namespace
