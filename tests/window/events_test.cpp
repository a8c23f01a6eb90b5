// The event queue and the wait: queue order and collapsing, data blocks and their lifetime,
// the three sources of a wait's code and the size sequences. The wait's timing is measured by
// onebox-wait-bench.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "event_support.h"
#include "window/translate.h"
#include "x_input.h"

namespace {

using Codes = std::vector<int32_t>;

constexpr uint32_t PLAIN_FLAGS = WS_OVERLAPPEDWINDOW | WINDOW_SCREEN_CENTERED;

class EventQueueTest : public EventRuntime {};

TEST_F(EventQueueTest, TakesInPostingOrderWithDetails) {
    EXPECT_EQ(EventTake(), 0);
    ASSERT_EQ(EventPost(EVENT_WINDOW_MOVED, 7, 7, 0), 1);
    ASSERT_EQ(EventPost(EVENT_WINDOW_SIZED, 0, 7, 0), 1);
    ASSERT_EQ(EventPost(EVENT_ICON_MOUSE, 9, 2, 3), 1);
    EXPECT_EQ(EventTake(), EVENT_WINDOW_MOVED);
    EXPECT_EQ(Fields().item, 7);
    EXPECT_EQ(Fields().window, 7);
    EXPECT_EQ(EventTake(), EVENT_WINDOW_SIZED);
    EXPECT_EQ(EventTake(), EVENT_ICON_MOUSE);
    EXPECT_EQ(Fields().item, 9);
    EXPECT_EQ(Fields().window, 2);
    EXPECT_EQ(Fields().type, 3);
    EXPECT_EQ(EventTake(), 0);
    EXPECT_EQ(EventQueueGet()->head, nullptr);
    EXPECT_EQ(EventQueueGet()->tail, nullptr);
    // A suspended queue takes nothing; the queue works again after it ran empty (the tail was
    // reset with the head).
    EventQueueGet()->suspended = 1;
    EventPost(EVENT_REPAINT, 0, 1, 0);
    EXPECT_EQ(EventTake(), 0);
    EventQueueGet()->suspended = 0;
    EventPost(EVENT_REPAINT, 0, 1, 0);
    EXPECT_EQ(DrainQueue(), Codes({EVENT_REPAINT}));
}

TEST_F(EventQueueTest, OnlyAnEventEqualToTheNewestCollapses) {
    struct Case {
        const char* name;
        std::vector<QueuedEvent> posts; // code, item, window, type (next unused)
        Codes expected;
    };
    constexpr int32_t MOVED = EVENT_WINDOW_MOVED, SIZED = EVENT_WINDOW_SIZED,
                      ICON = EVENT_ICON_MOUSE;
    const Case cases[] = {
        {"same move twice", {{nullptr, MOVED, 0, 0, 0}, {nullptr, MOVED, 0, 0, 0}}, {MOVED}},
        {"move, size, move",
         {{nullptr, MOVED, 0, 0, 0}, {nullptr, SIZED, 0, 0, 0}, {nullptr, MOVED, 0, 0, 0}},
         {MOVED, SIZED, MOVED}},
        {"other item", {{nullptr, MOVED, 0, 0, 0}, {nullptr, MOVED, 1, 0, 0}}, {MOVED, MOVED}},
        {"other window", {{nullptr, MOVED, 0, 0, 0}, {nullptr, MOVED, 0, 1, 0}}, {MOVED, MOVED}},
        {"other type", {{nullptr, ICON, 4, 0, 0}, {nullptr, ICON, 4, 0, 1}}, {ICON, ICON}},
    };
    for (const Case& c : cases) {
        for (const QueuedEvent& e : c.posts)
            EventPost(e.code, e.item, e.window, e.type);
        EXPECT_EQ(DrainQueue(), c.expected) << c.name;
    }
    // Once the newest has been taken there is nothing left to collapse with.
    EventPost(MOVED, 0, 0, 0);
    EXPECT_EQ(EventTake(), MOVED);
    EventPost(MOVED, 0, 0, 0);
    EXPECT_EQ(EventTake(), MOVED);
}

#if INTPTR_MAX > INT32_MAX
// Items and window numbers above 4 GiB (a dynamic window's number, a timer's id) come out of
// the queue whole, and events that differ only above the low 32 bits do not collapse.
TEST_F(EventQueueTest, ItemsAndWindowsAboveFourGiBStayWhole) {
    const intptr_t high = intptr_t(1) << 32;
    const struct {
        intptr_t item;
        ObjectNumber window;
    } posts[] = {{high + 7, high + 7}, {7, high + 7}, {7, 7}, {7, 2 * high + 7}, {high - 1, -1}};
    for (const auto& p : posts)
        ASSERT_EQ(EventPost(EVENT_WINDOW_MOVED, p.item, p.window, 0), 1);
    for (const auto& p : posts) {
        EXPECT_EQ(EventTake(), EVENT_WINDOW_MOVED);
        EXPECT_EQ(Fields().item, p.item);
        EXPECT_EQ(Fields().window, p.window);
    }
    EXPECT_EQ(EventTake(), 0);
}
#endif

TEST_F(EventQueueTest, ManyEventsAtOnceSurviveBlockGrowthAndRelease) {
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(EventPost(EVENT_WINDOW_MOVED, i, 0, 0), 1);
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(EventTake(), EVENT_WINDOW_MOVED) << "round " << round << " event " << i;
            ASSERT_EQ(Fields().item, i);
        }
        EXPECT_EQ(EventTake(), 0);
    }
}

// A fixed heap: once it refuses, a post must report the loss instead of filling a null element,
// and the events already queued stay intact.
class EventQueueFullHeapTest : public EventRuntime {
  protected:
    EventQueueFullHeapTest() : EventRuntime(256 * 1024) {}
};

TEST_F(EventQueueFullHeapTest, PostReportsLossWhenTheHeapRefuses) {
    // Eat the heap, leaving the pool only what its open block still holds.
    std::vector<void*> eaten;
    for (size_t size = 64 * 1024; size >= 16; size /= 2)
        while (void* block = PrivateHeapAlloc(size))
            eaten.push_back(block);
    int posted = 0;
    for (int i = 0; i < 5000; ++i)
        posted += EventPost(EVENT_WINDOW_MOVED, i, 0, 0);
    EXPECT_LT(posted, 5000);
    for (int i = 0; i < posted; ++i) {
        ASSERT_EQ(EventTake(), EVENT_WINDOW_MOVED);
        ASSERT_EQ(Fields().item, i);
    }
    EXPECT_EQ(EventTake(), 0);
    for (void* block : eaten)
        PrivateHeapFree(block);
    EXPECT_EQ(EventPost(EVENT_CLOSE_WINDOW, 0, 0, 0), 1);
    EXPECT_EQ(EventTake(), EVENT_CLOSE_WINDOW);
}

class WaitTest : public EventRuntime {
  protected:
    void SetUp() override {
        EventRuntime::SetUp();
        WindowOpen(0, 0, 0, 320, 200, "wait", PLAIN_FLAGS);
        window_ = WindowNativeHandle(0);
        ASSERT_NE(window_, nullptr);
        XPump(100);
    }
    // Sends real keys to the window made active and returns every code the waits returned
    // meanwhile and shortly after.
    Codes RealKeys(const char* keys) {
        MakeForeground(window_);
        Codes codes;
        EXPECT_TRUE(XKeys(keys, &codes));
        Codes more = XPump(300);
        codes.insert(codes.end(), more.begin(), more.end());
        return codes;
    }
    HWND window_ = nullptr;
};

TEST_F(WaitTest, QueuedEventsThenRawMessagesThenNothing) {
    EXPECT_EQ(WindowWaitEvent(0), 0);
    EXPECT_EQ(WindowWaitEvent(2), 0);
    EXPECT_EQ(Fields().type, -1);

    EventStateGet()->current.item = 1234;
    PostMessageA(window_, WM_USER + 7, 11, 22);
    EventPost(EVENT_WINDOW_MOVED, 4, 0, 0);
    EventPost(EVENT_REPAINT, 0, 0, 0);
    EXPECT_EQ(WindowWaitEvent(0), EVENT_WINDOW_MOVED);
    EXPECT_EQ(Fields().item, 4);
    EXPECT_EQ(Fields().wParam, 0u);
    EXPECT_EQ(EventStateGet()->last.immediateCode, EVENT_WINDOW_MOVED);
    EXPECT_EQ(WindowWaitEvent(0), EVENT_REPAINT);
    EventStateGet()->current.item = 1234;
    // The raw message number with its parameters.
    EXPECT_EQ(WindowWaitEvent(100), static_cast<int32_t>(WM_USER + 7));
    const EventFields& last = EventStateGet()->last;
    EXPECT_EQ(last.wParam, 11u);
    EXPECT_EQ(last.lParam, 22);
    EXPECT_EQ(last.type, -1);
    EXPECT_EQ(last.item, 1234); // unchanged by a raw message
    EXPECT_EQ(last.window, 0);
    EXPECT_EQ(last.immediateCode, 0);

    // Thread messages and the quit message are dispatched and returned too; no window
    // procedure ran for them, so the window is left from before.
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 3, 0, 0);
    EXPECT_EQ(WindowWaitEvent(100), static_cast<int32_t>(WM_USER + 3));
    EXPECT_EQ(Fields().window, 0);
    PostQuitMessage(0);
    EXPECT_EQ(WindowWaitEvent(-1), static_cast<int32_t>(WM_QUIT));
    // A wait without limit blocks until a message comes.
    SetTimer(window_, 3, 20, nullptr);
    EXPECT_EQ(WindowWaitEvent(-1), EVENT_TIMER_TICK);
    EXPECT_EQ(Fields().item, 3);
    EXPECT_EQ(Fields().type, -1);
    KillTimer(window_, 3);
}

TEST_F(WaitTest, ImmediateEventsFromCommands) {
    HWND button = CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, window_,
                                  reinterpret_cast<HMENU>(5), GetModuleHandleA(nullptr), nullptr);
    HWND menuLike = CreateWindowExA(0, "BUTTON", "m", WS_CHILD | WS_VISIBLE, 50, 0, 40, 20, window_,
                                    reinterpret_cast<HMENU>(static_cast<intptr_t>(-10000)),
                                    GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(button && menuLike);
    XPump(50);
    struct Case {
        const char* name;
        WPARAM wParam;
        HWND control;
        int32_t code, item, type;
    } cases[] = {
        {"menu", MAKEWPARAM(42, 0), nullptr, EVENT_MENU_ITEM, 42, -1},
        {"accelerator", MAKEWPARAM(77, 1), nullptr, EVENT_MENU_ITEM, 77, -1},
        {"control", MAKEWPARAM(5, BN_CLICKED), button, EVENT_CONTROL, 5, BN_CLICKED},
        {"control notification", MAKEWPARAM(5, BN_SETFOCUS), button, EVENT_CONTROL, 5, BN_SETFOCUS},
        {"menu-like control", MAKEWPARAM(0xD8F0, BN_DOUBLECLICKED), menuLike, EVENT_MENU_ITEM,
         0xD8F0, BN_DOUBLECLICKED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PostMessageA(window_, WM_COMMAND, c.wParam, reinterpret_cast<LPARAM>(c.control));
        EXPECT_EQ(WindowWaitEvent(100), c.code);
        EXPECT_EQ(Fields().item, c.item);
        EXPECT_EQ(Fields().type, c.type);
        EXPECT_EQ(Fields().window, 0);
        EXPECT_EQ(Fields().immediateCode, 0);
    }
}

TEST_F(WaitTest, ImmediateEventSetOutsideAWaitIsClearedUnseen) {
    // A command sent while some other part pumps messages sets an immediate event that no wait
    // dispatched: the next wait must not report it.
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(42, 0), 0);
    EXPECT_EQ(Fields().immediateCode, EVENT_MENU_ITEM);
    PostMessageA(window_, WM_USER + 9, 0, 0);
    EXPECT_EQ(WindowWaitEvent(100), static_cast<int32_t>(WM_USER + 9));
}

TEST_F(WaitTest, CloseRequestBecomesEventSixteenAndTheWindowStays) {
    ObjectNumber dynamic = WindowOpen(DYNAMIC_NUMBER, 0, 0, 100, 100, "d", PLAIN_FLAGS);
    ASSERT_NE(dynamic, 0);
    XPump(50);
    const struct {
        ObjectNumber number;
        UINT message;
        WPARAM wParam;
    } cases[] = {{0, WM_SYSCOMMAND, SC_CLOSE}, {dynamic, WM_CLOSE, 0}};
    for (const auto& c : cases) {
        SendMessageA(WindowNativeHandle(c.number), c.message, c.wParam, 0);
        EXPECT_EQ(WindowWaitEvent(0), EVENT_CLOSE_WINDOW) << c.number;
        EXPECT_EQ(Fields().item, c.number);
        EXPECT_EQ(Fields().window, c.number);
        EXPECT_TRUE(IsWindow(WindowNativeHandle(c.number)));
    }
}

TEST_F(WaitTest, CloseByRealAltF4) {
    Codes codes = RealKeys("alt+F4");
    auto close = std::find(codes.begin(), codes.end(), EVENT_CLOSE_WINDOW);
    ASSERT_NE(close, codes.end()) << ::testing::PrintToString(codes);
    // The key itself came out first as a raw message number.
    EXPECT_NE(std::find(codes.begin(), close, static_cast<int32_t>(WM_SYSKEYDOWN)), close);
    EXPECT_TRUE(IsWindow(window_));
}

TEST_F(WaitTest, SizeSequences) {
    struct Step {
        const char* name;
        int show;
        Codes expected;
    } steps[] = {
        {"minimize", SW_MINIMIZE, {EVENT_WINDOW_MINIMIZED}},
        {"restore from minimized", SW_RESTORE, {EVENT_WINDOW_RESTORED, EVENT_WINDOW_SIZED}},
        {"maximize", SW_MAXIMIZE, {EVENT_WINDOW_MAXIMIZED, EVENT_WINDOW_SIZED}},
        {"restore from maximized", SW_RESTORE, {EVENT_WINDOW_RESTORED, EVENT_WINDOW_SIZED}},
    };
    const std::initializer_list<int32_t> sizeCodes = {
        EVENT_WINDOW_SIZED, EVENT_WINDOW_MINIMIZED, EVENT_WINDOW_MAXIMIZED, EVENT_WINDOW_RESTORED};
    for (const Step& s : steps) {
        XPump(50);
        ShowWindow(window_, s.show);
        // The size messages were sent during ShowWindow: their events are queued, and waits
        // with no time to wait return them without retrieving anything new.
        Codes queued;
        while (EventQueueGet()->head)
            queued.push_back(WindowWaitEvent(0));
        EXPECT_EQ(Only(queued, sizeCodes), s.expected) << s.name;
        EXPECT_EQ(WindowRecordLookup(0)->sizedState, s.show == SW_RESTORE ? 0 : 1) << s.name;
    }
    // Resizing a normal window yields size 5 only.
    XPump(50);
    SetWindowPos(window_, nullptr, 0, 0, 300, 250, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(Only(DrainQueue(), sizeCodes), Codes({EVENT_WINDOW_SIZED}));
}

TEST_F(WaitTest, TwoRealMovesOfTheWindowByKeyboard) {
    // Alt+Space, M, Right, Right, Enter: the system's move loop sends WM_MOVE for each step; if
    // no wait takes an event in between, the identical ones collapse.
    RECT before, after;
    GetWindowRect(window_, &before);
    Codes codes = RealKeys("alt+space m Right Right Return");
    GetWindowRect(window_, &after);
    EXPECT_GT(after.left, before.left);
    EXPECT_NE(std::find(codes.begin(), codes.end(), EVENT_WINDOW_MOVED), codes.end());
}

// Data events hand a heap block to the event state until the next wait. A fixed heap shows
// whether a block went back: the heap holds one big block but not two.
class EventDataTest : public EventRuntime {
  protected:
    EventDataTest() : EventRuntime(BIG * 3 / 2 + 64 * 1024) {}
    // Fixed-size heaps refuse single blocks of 512 KB or more whatever their limit.
    static constexpr size_t BIG = 256 * 1024;

    void SetUp() override {
        EventRuntime::SetUp();
        WindowOpen(0, 0, 0, 200, 100, "data", PLAIN_FLAGS);
        window_ = WindowNativeHandle(0);
        ASSERT_NE(window_, nullptr);
        XPump(50);
    }

    // A data block whose inner block is the given one, or none.
    static void* MakeBlock(size_t size, void* inner) {
        auto* block = static_cast<EventDataBlock*>(PrivateHeapAllocZeroed(size));
        if (block)
            block->inner = inner;
        return block;
    }

    // Whether the heap has room for a big block, that is whether no big block is still held.
    static bool BigBlockFits() {
        void* block = PrivateHeapAlloc(BIG);
        PrivateHeapFree(block);
        return block != nullptr;
    }

    HWND window_ = nullptr;
};

TEST_F(EventDataTest, BlockLivesUntilTheNextWait) {
    void* block = MakeBlock(BIG, nullptr);
    ASSERT_NE(block, nullptr);
    ASSERT_FALSE(BigBlockFits()) << "the heap must not hold two big blocks";
    EventStateGet()->current.item = 66;
    PostMessageA(window_, MESSAGE_WINDOW_DATA, 5, reinterpret_cast<LPARAM>(block));
    EXPECT_EQ(WindowWaitEvent(100), EVENT_WINDOW_DATA);
    EXPECT_EQ(Fields().item, 66); // a window data event leaves the item alone
    EXPECT_EQ(Fields().type, -1);
    EXPECT_EQ(EventStateGet()->eventData, block);
    WindowWaitEvent(0);
    EXPECT_EQ(EventStateGet()->eventData, nullptr);
    EXPECT_TRUE(BigBlockFits()) << "the data block was not freed by the next wait";
}

TEST_F(EventDataTest, InnerBlockIsFreedToo) {
    void* block = MakeBlock(64, PrivateHeapAlloc(BIG));
    ASSERT_FALSE(BigBlockFits());
    PostMessageA(window_, MESSAGE_CONTROL_DATA, 17, reinterpret_cast<LPARAM>(block));
    EXPECT_EQ(WindowWaitEvent(100), EVENT_CONTROL_DATA);
    EXPECT_EQ(Fields().item, 17);
    EXPECT_EQ(EventStateGet()->eventData, block);
    WindowWaitEvent(0);
    EXPECT_TRUE(BigBlockFits()) << "the inner block was not freed";
}

TEST_F(EventDataTest, UnseenBlockIsFreedWhenTheNextOneArrives) {
    // Two data messages dispatched outside any wait: the first block was never reported, and
    // the event state owns it, so it must not be dropped on the floor.
    void* first = MakeBlock(BIG, nullptr);
    ASSERT_NE(first, nullptr);
    SendMessageA(window_, MESSAGE_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(first));
    void* second = MakeBlock(64, nullptr);
    SendMessageA(window_, MESSAGE_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(EventStateGet()->eventData, second);
    EXPECT_TRUE(BigBlockFits()) << "the first data block leaked";
}

TEST_F(EventDataTest, ShutdownReleaseFreesAHeldBlockOnce) {
    void* block = MakeBlock(BIG, nullptr);
    ASSERT_NE(block, nullptr);
    SendMessageA(window_, MESSAGE_WINDOW_DATA, 0, reinterpret_cast<LPARAM>(block));
    EventDataRelease();
    EventDataRelease(); // nothing left to free the second time
    EXPECT_EQ(EventStateGet()->eventData, nullptr);
    EXPECT_TRUE(BigBlockFits());
}

} // namespace
