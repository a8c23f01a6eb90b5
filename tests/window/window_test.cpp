#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/runtime.h"
#include "core/platform.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/sizing.h"
#include "window/window.h"
#include "window_support.h"
#include "x_input.h"

namespace {

const char TITLE[] = "OpenScreen() or ClearScreen()-Bug - You should not see more then one "
                     "black box. If you see more - it's a bug.";

RECT OuterRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

SIZE ClientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool ClassRegistered(const std::string& name) {
    WNDCLASSA info;
    return GetClassInfoA(GetModuleHandleA(nullptr), name.c_str(), &info) != 0;
}

HWND HandleOf(ObjectNumber result) { return reinterpret_cast<HWND>(result); }

using WindowOpenTest = RuntimeTest;

TEST_F(WindowOpenTest, ProgramWindowIsCentredWithExactClientArea) {
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    HWND window = HandleOf(
        WindowOpen(0, 0, 0, 800, 600, TITLE, WS_CAPTION | WS_SYSMENU | WINDOW_SCREEN_CENTERED));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowNativeHandle(0), window);

    RECT outer = OuterRect(window);
    int outerWidth = outer.right - outer.left;
    int outerHeight = outer.bottom - outer.top;
    EXPECT_GT(outerWidth, 800);
    EXPECT_GT(outerHeight, 600);
    EXPECT_EQ(outer.left, (1024 - outerWidth) / 2);
    EXPECT_EQ(outer.top, (768 - outerHeight) / 2);
    SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, 800);
    EXPECT_EQ(client.cy, 600);

    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, TITLE);
    EXPECT_EQ(ClassOf(window), "WindowClass_0");
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(window, "QW_WindowID")), 1);

    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_FALSE(style & (WINDOW_SCREEN_CENTERED | WINDOW_PARENT_CENTERED | WINDOW_TOOL))
        << "the runtime's own bits must not reach the Win32 style";
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsZoomed(window));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(WindowRecordLookup(0)->sizedState, 0);
    EXPECT_EQ(GadgetListUse(nullptr), window) << "window 0 is the current gadget list";
}

TEST_F(WindowOpenTest, AcceleratorTableHoldsTabAndShiftTab) {
    ASSERT_NE(WindowOpen(0, 0, 0, 200, 100, "a", 0), 0);
    WindowRecord* record = WindowRecordLookup(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->acceleratorCount, 2);
    ACCEL entries[4] = {};
    ASSERT_EQ(CopyAcceleratorTableA(record->acceleratorTable, entries, 4), 2);
    EXPECT_EQ(entries[0].fVirt, 3);
    EXPECT_EQ(entries[0].key, VK_TAB);
    EXPECT_EQ(entries[0].cmd, COMMAND_FOCUS_NEXT);
    EXPECT_EQ(entries[1].fVirt, 7);
    EXPECT_EQ(entries[1].key, VK_TAB);
    EXPECT_EQ(entries[1].cmd, COMMAND_FOCUS_PREVIOUS);
    EXPECT_EQ(record->mdiClient, nullptr);
    EXPECT_EQ(record->windowHook, nullptr);
    EXPECT_EQ(record->backgroundBrush, nullptr);
    EXPECT_EQ(record->eraseCallback, nullptr);
}

TEST_F(WindowOpenTest, ClientLargerThanScreenIsCutAndPlacedAtOrigin) {
    HWND window = HandleOf(
        WindowOpen(0, 50, 50, 2000, 1500, "big", WS_CAPTION | WS_SYSMENU | WINDOW_SCREEN_CENTERED));
    ASSERT_NE(window, nullptr);
    RECT outer = OuterRect(window);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(outer.right - outer.left, 1024);
    EXPECT_EQ(outer.bottom - outer.top, 768);
}

// Flags 0 mean "no style given" and get a caption; WS_SYSMENU alone is a style of its own and
// gets none, so its outer size is just the client size (the platform adds its caption to every
// overlapped window afterwards, eating into the client area).
TEST_F(WindowOpenTest, CaptionIsAddedOnlyWhenNoStyleIsGiven) {
    HWND plain = HandleOf(WindowOpen(0, 10, 10, 300, 200, "plain", 0));
    ASSERT_NE(plain, nullptr);
    SIZE client = ClientSize(plain);
    EXPECT_EQ(client.cx, 300);
    EXPECT_EQ(client.cy, 200);
    EXPECT_EQ(GetWindowLongA(plain, GWL_STYLE) & WS_CAPTION, WS_CAPTION);

    HWND menuOnly = HandleOf(WindowOpen(1, 10, 10, 300, 200, "sysmenu", WS_SYSMENU));
    ASSERT_NE(menuOnly, nullptr);
    RECT outer = OuterRect(menuOnly);
    EXPECT_EQ(outer.right - outer.left, 300);
    EXPECT_EQ(outer.bottom - outer.top, 200);
    EXPECT_EQ(outer.left, 10);
    EXPECT_EQ(outer.top, 10);

    // The centring bits alone still count as "no style given".
    HWND centred = HandleOf(
        WindowOpen(2, 0, 0, 300, 200, "centred", WINDOW_PARENT_CENTERED | WINDOW_SCREEN_CENTERED));
    ASSERT_NE(centred, nullptr);
    client = ClientSize(centred);
    EXPECT_EQ(client.cx, 300);
    EXPECT_EQ(client.cy, 200);
}

TEST_F(WindowOpenTest, ToolWindowDropsMaximizeState) {
    HWND window = HandleOf(WindowOpen(0, 40, 40, 300, 200, "tool",
                                      WINDOW_TOOL | WS_MAXIMIZE | WS_MAXIMIZEBOX | WS_MINIMIZEBOX |
                                          WS_SYSMENU | WS_THICKFRAME));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_FALSE(style & (WS_MAXIMIZE | WS_MINIMIZE | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_FALSE(IsZoomed(window));
    EXPECT_TRUE(IsWindowVisible(window));
    SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, 300);
    EXPECT_EQ(client.cy, 200);
    EXPECT_EQ(WindowRecordLookup(0)->sizedState, 0);
}

TEST_F(WindowOpenTest, MaximizedAndMinimizedFlagsChooseHowTheWindowIsShown) {
    HWND maximized =
        HandleOf(WindowOpen(0, 0, 0, 300, 200, "max", WS_OVERLAPPEDWINDOW | WS_MAXIMIZE));
    ASSERT_NE(maximized, nullptr);
    EXPECT_TRUE(IsZoomed(maximized));
    EXPECT_EQ(WindowRecordLookup(0)->sizedState, 1);

    HWND minimized =
        HandleOf(WindowOpen(1, 0, 0, 300, 200, "min", WS_OVERLAPPEDWINDOW | WS_MINIMIZE));
    ASSERT_NE(minimized, nullptr);
    EXPECT_TRUE(IsIconic(minimized));
    EXPECT_EQ(WindowRecordLookup(1)->sizedState, 1);
}

TEST_F(WindowOpenTest, OpeningANumberAgainReplacesTheWindow) {
    HWND first = HandleOf(WindowOpen(0, 0, 0, 200, 100, "first", 0));
    ASSERT_NE(first, nullptr);
    HWND second = HandleOf(WindowOpen(0, 0, 0, 220, 120, "second", 0));
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(WindowNativeHandle(0), second);
    EXPECT_EQ(ClassOf(second), "WindowClass_0");
    char title[32] = {};
    GetWindowTextA(second, title, sizeof title);
    EXPECT_STREQ(title, "second");

    // Exactly one window is left under the number: closing it leaves none and frees the class.
    WindowClose(0);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(WindowNativeHandle(0), nullptr);
    EXPECT_FALSE(ClassRegistered("WindowClass_0"));
}

TEST_F(WindowOpenTest, DynamicNumbersNameTheirClassAndClose) {
    ObjectNumber a = WindowOpen(DYNAMIC_NUMBER, 0, 0, 200, 100, "a", 0);
    ObjectNumber b = WindowOpen(DYNAMIC_NUMBER, 0, 0, 200, 100, "b", WINDOW_NO_GADGET_LIST);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    ASSERT_NE(a, b);
    HWND windowA = WindowNativeHandle(a);
    ASSERT_NE(windowA, nullptr);
    ASSERT_NE(WindowNativeHandle(b), nullptr);
    EXPECT_NE(reinterpret_cast<ObjectNumber>(windowA), a) << "the number, not the handle";

    char expected[64];
    std::snprintf(expected, sizeof expected, "WindowClass_%d", static_cast<int>(a));
    EXPECT_EQ(ClassOf(windowA), expected);
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(windowA, "QW_WindowID")), a + 1);
    EXPECT_EQ(WindowNumberOf(windowA), a);

    WindowClose(a);
    EXPECT_FALSE(IsWindow(windowA));
    EXPECT_EQ(WindowNativeHandle(a), nullptr);
    EXPECT_FALSE(ClassRegistered(expected));
    EXPECT_NE(WindowNativeHandle(b), nullptr) << "closing one leaves the other";
}

TEST_F(WindowOpenTest, DefaultPositionAsksForSystemPlacementUnlessCentred) {
    HWND centred = HandleOf(
        WindowOpen(0, DEFAULT_POSITION, 5, 300, 200, "c", WS_CAPTION | WINDOW_SCREEN_CENTERED));
    ASSERT_NE(centred, nullptr);
    RECT outer = OuterRect(centred);
    EXPECT_EQ(outer.left, (1024 - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (768 - (outer.bottom - outer.top)) / 2);

    // y was given but x asked for placement: both come from the system, so neither is the
    // value passed in, and the window is on the screen.
    HWND placed = HandleOf(WindowOpen(1, DEFAULT_POSITION, 333, 300, 200, "p", WS_CAPTION));
    ASSERT_NE(placed, nullptr);
    outer = OuterRect(placed);
    EXPECT_GE(outer.left, 0);
    EXPECT_LT(outer.left, 1024);
    EXPECT_NE(outer.top, 333);

    HWND placedY = HandleOf(WindowOpen(2, 333, DEFAULT_POSITION, 300, 200, "q", WS_CAPTION));
    ASSERT_NE(placedY, nullptr);
    outer = OuterRect(placedY);
    EXPECT_NE(outer.left, 333);
    EXPECT_GE(outer.top, 0);
    EXPECT_LT(outer.top, 768);
}

TEST_F(WindowOpenTest, ParentCentringUsesTheParentRectangleAndStaysOnScreen) {
    HWND parent = HandleOf(WindowOpen(0, 100, 80, 600, 400, "parent", WS_CAPTION));
    ASSERT_NE(parent, nullptr);
    RECT bounds = OuterRect(parent);
    HWND child = HandleOf(
        WindowCreate(1, 0, 0, 200, 100, "owned", WS_CAPTION | WINDOW_PARENT_CENTERED, parent));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetWindow(child, GW_OWNER), parent);
    RECT outer = OuterRect(child);
    int w = outer.right - outer.left;
    int h = outer.bottom - outer.top;
    EXPECT_EQ(outer.left, bounds.left + (bounds.right - bounds.left - w) / 2);
    EXPECT_EQ(outer.top, bounds.top + (bounds.bottom - bounds.top - h) / 2);

    // Larger than the parent near the corner: raised to 0, never cut.
    HWND corner = HandleOf(WindowOpen(2, 0, 0, 100, 80, "corner", WS_CAPTION));
    ASSERT_NE(corner, nullptr);
    HWND wide = HandleOf(
        WindowCreate(3, 500, 500, 700, 500, "wide", WS_CAPTION | WINDOW_PARENT_CENTERED, corner));
    ASSERT_NE(wide, nullptr);
    outer = OuterRect(wide);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(ClientSize(wide).cx, 700);
}

TEST_F(WindowOpenTest, ClosingAnOwnedWindowActivatesItsOwner) {
    HWND owner = HandleOf(WindowOpen(0, 0, 0, 300, 200, "owner", 0));
    ASSERT_NE(owner, nullptr);
    HWND owned = HandleOf(WindowCreate(1, 50, 50, 200, 100, "owned", 0, owner));
    ASSERT_NE(owned, nullptr);
    MakeForeground(owned);
    ASSERT_EQ(GetActiveWindow(), owned);
    WindowClose(1);
    EXPECT_EQ(GetActiveWindow(), owner);
    EXPECT_TRUE(IsWindow(owner));
}

TEST_F(WindowOpenTest, InvisibleWindowExistsButIsNeverShown) {
    HWND window = HandleOf(WindowOpen(0, 0, 0, 300, 200, "hidden", WINDOW_INVISIBLE | WS_CAPTION));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowNativeHandle(0), window);
    XPump(30);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_FALSE(GetWindowLongA(window, GWL_STYLE) & WINDOW_INVISIBLE);
    SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, 300);
    EXPECT_EQ(client.cy, 200);
}

TEST_F(WindowOpenTest, ClosingANumberWithoutAWindowDoesNothing) {
    HWND window = HandleOf(WindowOpen(0, 0, 0, 300, 200, "kept", 0));
    ASSERT_NE(window, nullptr);
    WindowClose(1);
    WindowClose(500);
    // A number that looks like a dynamic record but was never handed out.
    WindowClose(reinterpret_cast<ObjectNumber>(&window));
    WindowClose(-7);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(WindowNativeHandle(0), window);
    EXPECT_EQ(WindowNativeHandle(1), nullptr);
    EXPECT_EQ(WindowNativeHandle(reinterpret_cast<ObjectNumber>(&window)), nullptr);
}

TEST_F(WindowOpenTest, CloseAllClosesFixedAndDynamicWindows) {
    HWND fixed = HandleOf(WindowOpen(3, 0, 0, 100, 100, "f", 0));
    ObjectNumber dynamic = WindowOpen(DYNAMIC_NUMBER, 0, 0, 100, 100, "d", 0);
    ASSERT_NE(fixed, nullptr);
    ASSERT_NE(dynamic, 0);
    HWND dynamicWindow = WindowNativeHandle(dynamic);
    WindowCloseAll();
    EXPECT_FALSE(IsWindow(fixed));
    EXPECT_FALSE(IsWindow(dynamicWindow));
    EXPECT_EQ(WindowNativeHandle(3), nullptr);
    EXPECT_FALSE(ClassRegistered("WindowClass_3"));
}

// A data event's blocks (the outer one and its inner one) are held by the event state until
// the next wait; at shutdown no wait follows, so closing all windows frees them. In a fixed
// heap, blocks that stayed allocated would leave no room for the same again after a new
// start-up.
class WindowCloseAllHeapTest : public RuntimeTest {
  protected:
    WindowCloseAllHeapTest() : RuntimeTest(64 * 1024) {}
};

TEST_F(WindowCloseAllHeapTest, CloseAllFreesAHeldDataBlock) {
    const size_t big = 20 * 1024;
    for (int round = 0; round < 4; ++round) {
        HWND window = HandleOf(WindowOpen(0, 0, 0, 100, 100, "data", 0));
        ASSERT_NE(window, nullptr) << "round " << round;
        auto* outer = static_cast<EventDataBlock*>(PrivateHeapAllocZeroed(big));
        void* inner = PrivateHeapAllocZeroed(big);
        ASSERT_NE(outer, nullptr) << "round " << round;
        ASSERT_NE(inner, nullptr) << "round " << round;
        outer->inner = inner;
        SendMessageA(window, MESSAGE_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(outer));
        ASSERT_EQ(EventStateGet()->eventData, outer) << "round " << round;
        WindowCloseAll();
        EXPECT_FALSE(IsWindow(window)) << "round " << round;
        RuntimeShutdown();
        RuntimeStartup();
    }
}

// Shutdown forgets every record the window layer kept in the private heap, so that a later
// start-up in the same process (or a call before it) never follows a pointer into a heap that
// is gone.
TEST_F(WindowOpenTest, ShutdownForgetsTheRecordsInTheHeap) {
    ASSERT_NE(WindowOpen(0, 0, 0, 100, 100, "first", 0), 0);
    RuntimeShutdown();
    const struct {
        const char* name;
        const void* record;
    } records[] = {
        {"window registry", WindowRegistry()}, {"event queue", EventQueueGet()},
        {"event state", EventStateGet()},      {"sizing state", SizingStateGet()},
        {"gadget registry", GadgetRegistry()}, {"gadget list state", GadgetListStateGet()},
    };
    for (const auto& r : records)
        EXPECT_EQ(r.record, nullptr) << r.name;
    // Without a start-up the layer refuses rather than touching freed records.
    EXPECT_EQ(WindowOpen(0, 0, 0, 100, 100, "again", 0), 0);
    EXPECT_EQ(EventPost(EVENT_WINDOW_MOVED, 0, 0, 0), 0);
    RuntimeStartup();
    EXPECT_NE(WindowOpen(0, 0, 0, 100, 100, "again", 0), 0);
}

// A fixed heap too small for the registry's growth: the window must not be made and the
// failure must be reported, with nothing left registered.
class WindowHeapTest : public RuntimeTest {
  protected:
    WindowHeapTest() : RuntimeTest(16 * 1024) {}
};

TEST_F(WindowHeapTest, RefusedRecordIsAFailureWithNoWindowLeft) {
    EXPECT_EQ(WindowOpen(1000000, 0, 0, 100, 100, "huge", 0), 0);
    EXPECT_FALSE(ClassRegistered("WindowClass_1000000"));
    EXPECT_EQ(WindowNativeHandle(1000000), nullptr);
    // The heap still serves an ordinary window afterwards.
    EXPECT_NE(WindowOpen(0, 0, 0, 100, 100, "small", 0), 0);
}

TEST_F(WindowOpenTest, FailedCreationFreesTheNumber) {
    // A child style with no parent cannot be created.
    EXPECT_EQ(WindowOpen(4, 0, 0, 100, 100, "orphan", WS_CHILD | WS_VISIBLE), 0);
    EXPECT_EQ(WindowNativeHandle(4), nullptr);
    EXPECT_FALSE(ClassRegistered("WindowClass_4"));
    ObjectNumber dynamic = WindowOpen(DYNAMIC_NUMBER, 0, 0, 100, 100, "orphan", WS_CHILD);
    EXPECT_EQ(dynamic, 0);
}

} // namespace
