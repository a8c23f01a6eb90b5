#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/runtime.h"
#include "app/title.h"
#include "core/platform.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/sizing.h"
#include "window/window.h"
#include "window_support.h"
#include "x_input.h"

namespace {

constexpr uint32_t PROGRAM_FLAGS = WS_CAPTION | WS_SYSMENU | WINDOW_SCREEN_CENTERED;
// The runtime's own flag bits, which must never reach a Win32 style.
constexpr uint32_t OWN_BITS =
    WINDOW_SCREEN_CENTERED | WINDOW_PARENT_CENTERED | WINDOW_TOOL | WINDOW_NO_GADGET_LIST;

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

// Each row opens window 0 and closes it again. The program window's outer size and place are
// those measured on Wine's 1024x768 desktop; CENTRED rows check the place against the size.
TEST_F(WindowOpenTest, FlagsChooseStyleSizePlaceAndShowState) {
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    constexpr int ANY = -1, CENTRED = -2;
    enum Shown { NORMAL, ZOOMED, ICONIC, HIDDEN };
    const struct Case {
        const char* title;
        int x, y, width, height;
        uint32_t flags;
        int left, top, outerWidth, outerHeight; // ANY: not checked
        int clientWidth, clientHeight;          // ANY: not checked
        LONG styleOn, styleOff;
        bool tool;
        Shown shown;
    } cases[] = {
        {PROGRAM_TITLE, 0, 0, 800, 600, PROGRAM_FLAGS, 109, 71, 806, 625, 800, 600,
         WS_CAPTION | WS_SYSMENU, WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME, false, NORMAL},
        {"larger than the screen: cut, at the origin", 50, 50, 2000, 1500, PROGRAM_FLAGS, 0, 0,
         1024, 768, ANY, ANY, 0, 0, false, NORMAL},
        {"flags 0 get a caption", 10, 10, 300, 200, 0, ANY, ANY, ANY, ANY, 300, 200, WS_CAPTION, 0,
         false, NORMAL},
        // A style of its own: no caption added, so the outer size is the client size.
        {"system menu alone", 10, 10, 300, 200, WS_SYSMENU, 10, 10, 300, 200, ANY, ANY, 0, 0, false,
         NORMAL},
        {"centring bits alone count as no style", 0, 0, 300, 200,
         WINDOW_PARENT_CENTERED | WINDOW_SCREEN_CENTERED, CENTRED, CENTRED, ANY, ANY, 300, 200,
         WS_CAPTION, 0, false, NORMAL},
        {"default position, centred", DEFAULT_POSITION, 5, 300, 200,
         WS_CAPTION | WINDOW_SCREEN_CENTERED, CENTRED, CENTRED, ANY, ANY, ANY, ANY, 0, 0, false,
         NORMAL},
        {"tool window drops the maximize state", 40, 40, 300, 200,
         WINDOW_TOOL | WS_MAXIMIZE | WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_SYSMENU | WS_THICKFRAME,
         ANY, ANY, ANY, ANY, 300, 200, WS_CAPTION,
         WS_MAXIMIZE | WS_MINIMIZE | WS_MAXIMIZEBOX | WS_MINIMIZEBOX, true, NORMAL},
        {"maximized", 0, 0, 300, 200, WS_OVERLAPPEDWINDOW | WS_MAXIMIZE, ANY, ANY, ANY, ANY, ANY,
         ANY, 0, 0, false, ZOOMED},
        {"minimized", 0, 0, 300, 200, WS_OVERLAPPEDWINDOW | WS_MINIMIZE, ANY, ANY, ANY, ANY, ANY,
         ANY, 0, 0, false, ICONIC},
        {"invisible", 0, 0, 300, 200, WINDOW_INVISIBLE | WS_CAPTION, ANY, ANY, ANY, ANY, 300, 200,
         0, 0, false, HIDDEN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        HWND window = HandleOf(WindowOpen(0, c.x, c.y, c.width, c.height, c.title, c.flags));
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(WindowNativeHandle(0), window);
        XPump(30);
        const RECT outer = OuterRect(window);
        const int w = outer.right - outer.left, h = outer.bottom - outer.top;
        const SIZE client = ClientSize(window);
        const struct {
            const char* field;
            int actual, expected, centred;
        } measures[] = {{"left", outer.left, c.left, (1024 - w) / 2},
                        {"top", outer.top, c.top, (768 - h) / 2},
                        {"outer width", w, c.outerWidth, 0},
                        {"outer height", h, c.outerHeight, 0},
                        {"client width", client.cx, c.clientWidth, 0},
                        {"client height", client.cy, c.clientHeight, 0}};
        for (const auto& m : measures) {
            if (m.expected != ANY) {
                EXPECT_EQ(m.actual, m.expected == CENTRED ? m.centred : m.expected) << m.field;
            }
        }
        char title[256] = {};
        GetWindowTextA(window, title, sizeof title);
        EXPECT_STREQ(title, c.title);
        EXPECT_EQ(ClassOf(window), "WindowClass_0");
        EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(window, "QW_WindowID")), 1);
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ(style & c.styleOn, c.styleOn);
        EXPECT_EQ(style & (c.styleOff | OWN_BITS), 0);
        EXPECT_EQ((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0, c.tool);
        EXPECT_EQ(IsWindowVisible(window) != 0, c.shown != HIDDEN);
        EXPECT_EQ(IsZoomed(window) != 0, c.shown == ZOOMED);
        EXPECT_EQ(IsIconic(window) != 0, c.shown == ICONIC);
        EXPECT_EQ(WindowRecordLookup(0)->sizedState, c.shown == ZOOMED || c.shown == ICONIC);
        EXPECT_EQ(GadgetListUse(nullptr), window) << "window 0 is the current gadget list";
        WindowClose(0);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_FALSE(ClassRegistered("WindowClass_0"));
    }
}

// x or y asked for placement: both come from the system, so neither is the value passed in,
// and the window is on the screen.
TEST_F(WindowOpenTest, DefaultPositionAsksForSystemPlacement) {
    const struct { int x, y; } cases[] = {{DEFAULT_POSITION, 333}, {333, DEFAULT_POSITION}};
    for (const auto& c : cases) {
        RECT outer = OuterRect(HandleOf(WindowOpen(0, c.x, c.y, 300, 200, "p", WS_CAPTION)));
        EXPECT_TRUE(outer.left >= 0 && outer.left < 1024 && outer.left != 333) << outer.left;
        EXPECT_TRUE(outer.top >= 0 && outer.top < 768 && outer.top != 333) << outer.top;
    }
}

TEST_F(WindowOpenTest, OpeningANumberAgainReplacesTheWindow) {
    HWND first = HandleOf(WindowOpen(0, 0, 0, 200, 100, "first", 0));
    HWND second = HandleOf(WindowOpen(0, 0, 0, 220, 120, "second", 0));
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(WindowNativeHandle(0), second);
    EXPECT_EQ(ClassOf(second), "WindowClass_0");
}

TEST_F(WindowOpenTest, DynamicNumbersNameTheirClassAndClose) {
    ObjectNumber a = WindowOpen(DYNAMIC_NUMBER, 0, 0, 200, 100, "a", 0);
    ObjectNumber b = WindowOpen(DYNAMIC_NUMBER, 0, 0, 200, 100, "b", WINDOW_NO_GADGET_LIST);
    ASSERT_TRUE(a && b && a != b);
    HWND windowA = WindowNativeHandle(a);
    ASSERT_TRUE(windowA && WindowNativeHandle(b));
    EXPECT_NE(reinterpret_cast<ObjectNumber>(windowA), a) << "the number, not the handle";

    const std::string expected = "WindowClass_" + std::to_string(a);
    EXPECT_EQ(ClassOf(windowA), expected);
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(windowA, "QW_WindowID")), a + 1);
    EXPECT_EQ(WindowNumberOf(windowA), a);

    WindowClose(a);
    EXPECT_FALSE(IsWindow(windowA));
    EXPECT_EQ(WindowNativeHandle(a), nullptr);
    EXPECT_FALSE(ClassRegistered(expected));
    EXPECT_NE(WindowNativeHandle(b), nullptr) << "closing one leaves the other";
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
    EXPECT_EQ(outer.left,
              bounds.left + (bounds.right - bounds.left - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top,
              bounds.top + (bounds.bottom - bounds.top - (outer.bottom - outer.top)) / 2);

    // Larger than the parent near the corner: raised to 0, never cut.
    HWND corner = HandleOf(WindowOpen(2, 0, 0, 100, 80, "corner", WS_CAPTION));
    HWND wide = HandleOf(
        WindowCreate(3, 500, 500, 700, 500, "wide", WS_CAPTION | WINDOW_PARENT_CENTERED, corner));
    ASSERT_TRUE(corner && wide);
    outer = OuterRect(wide);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(ClientSize(wide).cx, 700);
}

TEST_F(WindowOpenTest, ClosingAnOwnedWindowActivatesItsOwner) {
    HWND owner = HandleOf(WindowOpen(0, 0, 0, 300, 200, "owner", 0));
    HWND owned = HandleOf(WindowCreate(1, 50, 50, 200, 100, "owned", 0, owner));
    ASSERT_TRUE(owner && owned);
    MakeForeground(owned);
    ASSERT_EQ(GetActiveWindow(), owned);
    WindowClose(1);
    EXPECT_EQ(GetActiveWindow(), owner);
    EXPECT_TRUE(IsWindow(owner));
}

TEST_F(WindowOpenTest, ClosingANumberWithoutAWindowDoesNothing) {
    HWND window = HandleOf(WindowOpen(0, 0, 0, 300, 200, "kept", 0));
    ASSERT_NE(window, nullptr);
    // The last looks like a dynamic record but was never handed out.
    for (ObjectNumber number : {ObjectNumber(1), ObjectNumber(500), ObjectNumber(-7),
                                reinterpret_cast<ObjectNumber>(&window)}) {
        WindowClose(number);
        EXPECT_EQ(WindowNativeHandle(number), nullptr) << number;
    }
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(WindowNativeHandle(0), window);
}

TEST_F(WindowOpenTest, CloseAllClosesFixedAndDynamicWindows) {
    HWND fixed = HandleOf(WindowOpen(3, 0, 0, 100, 100, "f", 0));
    ObjectNumber dynamic = WindowOpen(DYNAMIC_NUMBER, 0, 0, 100, 100, "d", 0);
    ASSERT_TRUE(fixed && dynamic);
    HWND dynamicWindow = WindowNativeHandle(dynamic);
    WindowCloseAll();
    EXPECT_FALSE(IsWindow(fixed));
    EXPECT_FALSE(IsWindow(dynamicWindow));
    EXPECT_EQ(WindowNativeHandle(3), nullptr);
    EXPECT_FALSE(ClassRegistered("WindowClass_3"));
}

// Closing every window leaves the layer running: its records stay until WindowsShutdown, so
// window 0 opens again and its events reach the event state.
TEST_F(WindowOpenTest, AfterCloseAllWindowZeroOpensAgainWithItsEvents) {
    ASSERT_NE(WindowOpen(0, 0, 0, 100, 100, "first", 0), 0);
    WindowCloseAll();
    const struct {
        const char* name;
        const void* record;
    } records[] = {
        {"window registry", WindowRegistry()},
        {"event queue", EventQueueGet()},
        {"event state", EventStateGet()},
        {"sizing state", SizingStateGet()},
    };
    for (const auto& r : records)
        EXPECT_NE(r.record, nullptr) << r.name;
    HWND again = HandleOf(WindowOpen(0, 0, 0, 100, 100, "again", 0));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(WindowNativeHandle(0), again);
    for (int turn = 0; turn < 100 && WindowWaitEvent(0); turn++) { // the opening's own events
    }
    SendMessageA(again, WM_CLOSE, 0, 0);
    EXPECT_EQ(WindowWaitEvent(0), EVENT_CLOSE_WINDOW);
    ASSERT_NE(EventStateGet(), nullptr);
    EXPECT_EQ(EventStateGet()->last.window, 0);
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
        SCOPED_TRACE(round);
        HWND window = HandleOf(WindowOpen(0, 0, 0, 100, 100, "data", 0));
        auto* outer = static_cast<EventDataBlock*>(PrivateHeapAllocZeroed(big));
        void* inner = PrivateHeapAllocZeroed(big);
        ASSERT_TRUE(window && outer && inner);
        outer->inner = inner;
        SendMessageA(window, MESSAGE_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(outer));
        ASSERT_EQ(EventStateGet()->eventData, outer);
        WindowCloseAll();
        EXPECT_FALSE(IsWindow(window));
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
    EXPECT_EQ(WindowOpen(DYNAMIC_NUMBER, 0, 0, 100, 100, "orphan", WS_CHILD), 0);
}

} // namespace
