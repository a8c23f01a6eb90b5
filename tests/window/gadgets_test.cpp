#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/translate.h"
#include "window/window.h"
#include "window_support.h"

namespace {

HWND Open(ObjectNumber number, uint32_t flags = 0) {
    return reinterpret_cast<HWND>(WindowOpen(number, 20, 20, 200, 120, "list", flags));
}

WNDPROC ProcOf(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

using GadgetListTest = RuntimeTest;

TEST_F(GadgetListTest, StartUpMakesStateFontAndStack) {
    GadgetListState* state = GadgetListStateGet();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->font, GetStockObject(DEFAULT_GUI_FONT));
    ASSERT_NE(state->stack, nullptr);
    EXPECT_EQ(state->stackCapacity, 10);
    EXPECT_EQ(std::vector<GadgetStackEntry>(state->stack, state->stack + 10),
              std::vector<GadgetStackEntry>(10, 0));
    EXPECT_EQ(state->depth, 0);
    EXPECT_EQ(state->listWindow, nullptr);
    EXPECT_NE(GadgetRegistry(), nullptr);
    // The instance's value in decimal: on the 32-bit target its 32 bits read as a signed
    // number, on x86_64 the whole value (the program's image lies above 4 GiB there).
    const uintptr_t instance = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
#if INTPTR_MAX == INT32_MAX
    const std::string digits = std::to_string(static_cast<int32_t>(instance));
#else
    const std::string digits = std::to_string(static_cast<long long>(instance));
#endif
    EXPECT_EQ(GadgetListPropertyName(), "QW_GadgetStack_" + digits);
    // The common controls were registered: a date picker class exists.
    WNDCLASSA info;
    EXPECT_TRUE(GetClassInfoA(nullptr, "SysDateTimePick32", &info));
}

TEST_F(GadgetListTest, ListStateMovesBetweenTwoWindows) {
    GadgetListState* state = GadgetListStateGet();
    GadgetStackEntry* firstStack = state->stack;

    HWND w0 = Open(0);
    GadgetListRecord* r0 = GadgetListRecordOf(w0);
    ASSERT_TRUE(w0 && r0);
    EXPECT_EQ(GadgetListUse(nullptr), w0);
    EXPECT_EQ(state->stack, firstStack) << "window 0 reuses the stack made at start-up";
    EXPECT_EQ(r0->window, w0);
    EXPECT_EQ(ProcOf(w0), GadgetListSubclassProc);
    EXPECT_EQ(r0->previousProc, WindowClassProc);

    HWND w1 = Open(1);
    GadgetListRecord* r1 = GadgetListRecordOf(w1);
    ASSERT_TRUE(w1 && r1);
    EXPECT_EQ(GadgetListUse(nullptr), w1);
    EXPECT_EQ(r0->savedStack, firstStack) << "window 0's state went into its record";
    EXPECT_EQ(r0->savedListWindow, w0);
    EXPECT_EQ(r0->savedCapacity, 10);
    ASSERT_NE(state->stack, nullptr);
    EXPECT_NE(state->stack, firstStack);
    GadgetStackEntry* secondStack = state->stack;
    state->stack[0] = 1234;
    state->depth = 0;

    EXPECT_EQ(GadgetListUse(w0), w1);
    EXPECT_EQ(r1->savedStack, secondStack);
    EXPECT_EQ(r1->savedStack[0], 1234);
    EXPECT_EQ(state->stack, firstStack);
    EXPECT_EQ(r0->savedStack, nullptr) << "exactly one holder of each stack";
    EXPECT_EQ(GadgetListUse(nullptr), w0);

    // Using the current list again keeps its stack.
    EXPECT_EQ(GadgetListUse(w0), w0);
    EXPECT_EQ(state->stack, firstStack);
    EXPECT_EQ(GadgetListUse(nullptr), w0);
}

TEST_F(GadgetListTest, DestroyingTheCurrentListLeavesNone) {
    HWND w0 = Open(0);
    HWND w1 = Open(1);
    ASSERT_TRUE(w0 && w1);
    EXPECT_EQ(GadgetListUse(nullptr), w1);
    WindowClose(1);
    EXPECT_EQ(GadgetListUse(nullptr), nullptr);
    EXPECT_EQ(GadgetListStateGet()->depth, 0);
    EXPECT_NE(GadgetListStateGet()->stack, nullptr) << "the current stack stays with the state";
    // Window 0's saved state can still be brought back.
    EXPECT_EQ(GadgetListUse(w0), nullptr);
    EXPECT_EQ(GadgetListUse(nullptr), w0);
}

TEST_F(GadgetListTest, NoGadgetListFlagLeavesTheWindowAlone) {
    HWND w0 = Open(0);
    HWND plain = Open(1, WINDOW_NO_GADGET_LIST);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(GetPropA(plain, GadgetListPropertyName()), nullptr);
    EXPECT_EQ(ProcOf(plain), WindowClassProc);
    EXPECT_EQ(GadgetListUse(nullptr), w0) << "the current list is unchanged";
}

// A container pushed on the stack need not be a window that was ever a list: with no record
// to take the state, the stack stays with the state instead of being lost or written through
// a missing record.
TEST_F(GadgetListTest, ContainerWithoutARecordKeepsTheStackInTheState) {
    HWND w0 = Open(0);
    HWND container = Open(1, WINDOW_NO_GADGET_LIST);
    ASSERT_TRUE(w0 && container);
    GadgetListState* state = GadgetListStateGet();
    GadgetStackEntry* stack = state->stack;
    stack[0] = reinterpret_cast<GadgetStackEntry>(container);
    state->depth = 1;
    ASSERT_EQ(GadgetListUse(nullptr), container);

    HWND w2 = Open(2);
    ASSERT_NE(w2, nullptr);
    EXPECT_EQ(state->stack, stack) << "reused, not dropped";
    EXPECT_EQ(state->depth, 0);
    EXPECT_EQ(GadgetListUse(nullptr), w2);
    EXPECT_EQ(GadgetListRecordOf(container), nullptr);
    EXPECT_EQ(GadgetListRecordOf(w0)->savedStack, nullptr);
}

// Handles in the property name and on the container stack keep the width the target gives
// them: the name is the 32-bit target's signed 32-bit text there, and the whole value on
// x86_64, where a module loads above 4 GiB by default.
TEST_F(GadgetListTest, HandlesKeepTheirTargetsWidthInNameAndStack) {
    const struct {
        uintptr_t instance;
        const char* name;
    } cases[] = {
        {0x400000, "QW_GadgetStack_4194304"},
#if INTPTR_MAX == INT32_MAX
        {0x80000000u, "QW_GadgetStack_-2147483648"},
        {0xFFFF0000u, "QW_GadgetStack_-65536"},
#else
        {0x80000000u, "QW_GadgetStack_2147483648"},
        {0x140000000, "QW_GadgetStack_5368709120"},
        {0x7FF712340000, "QW_GadgetStack_140699139047424"},
#endif
    };
    for (const auto& c : cases) {
        char name[40];
        GadgetListPropertyNameFor(reinterpret_cast<HINSTANCE>(c.instance), name);
        EXPECT_STREQ(name, c.name);
    }
#if INTPTR_MAX > INT32_MAX
    GadgetListState* state = GadgetListStateGet();
    const HWND container = reinterpret_cast<HWND>(uintptr_t(0x1234) << 32 | 0x10058);
    state->stack[0] = reinterpret_cast<GadgetStackEntry>(container);
    state->depth = 1;
    EXPECT_EQ(GadgetListUse(nullptr), container);
    state->depth = 0;
#endif
}

// A window that has been a list and is closed while another is current owns a stack: both
// its record and that stack must go back to the heap. In a fixed heap any leak per round
// trip would run out long before the loop ends.
class GadgetListLeakTest : public RuntimeTest {
  protected:
    GadgetListLeakTest() : RuntimeTest(48 * 1024) {}
};

TEST_F(GadgetListLeakTest, RepeatedListWindowsReturnEveryBlock) {
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        HWND a = Open(0);
        HWND b = Open(1);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(GadgetListUse(a), b);
        WindowClose(1);
        WindowClose(0);
        ASSERT_EQ(GadgetListUse(nullptr), nullptr);
        // The windows' events would otherwise pile up in the same heap.
        while (EventTake()) {
        }
    }
}

// Reusing a gadget's number runs the registry's free callback, which destroys the gadget's
// window and leaves no dead handle behind for a lookup to find. (Forwarding of control
// messages to gadgets is tested with the translation.)
TEST_F(GadgetListTest, ReusedNumberDestroysTheGadgetsWindow) {
    HWND w0 = Open(0);
    ASSERT_NE(w0, nullptr);
    const int id = 7;
    HWND button =
        CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, w0,
                        reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
    ASSERT_NE(button, nullptr);
    GadgetRecord* gadget = static_cast<GadgetRecord*>(RegistrySlotFor(GadgetRegistry(), id));
    ASSERT_NE(gadget, nullptr);
    gadget->window = button;

    GadgetRecord* reused = static_cast<GadgetRecord*>(RegistrySlotFor(GadgetRegistry(), id));
    ASSERT_NE(reused, nullptr);
    EXPECT_FALSE(IsWindow(button));
    EXPECT_EQ(reused->window, nullptr);
    EXPECT_EQ(RegistryLookup(GadgetRegistry(), id), nullptr);
}

} // namespace
