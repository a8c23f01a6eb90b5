// Message translation on real windows: hooks, child sizes, erase, limits, colour changes, the
// icon message, forwarding to gadgets, focus kept across activation, and Tab / Shift+Tab as
// real keys across real controls, including the rich-edit exception.
#include <windows.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "event_support.h"
#include "tests/core/high_heap.h"
#include "window/translate.h"
#include "x_input.h"

namespace {

using Codes = std::vector<int32_t>;

constexpr uint32_t PLAIN_FLAGS = WS_OVERLAPPEDWINDOW | WINDOW_SCREEN_CENTERED;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// A class of the test's own windows; it lives as long as the test program.
void RegisterTestClass(const char* name, WNDPROC procedure) {
    WNDCLASSA c = {};
    c.lpfnWndProc = procedure;
    c.hInstance = Instance();
    c.lpszClassName = name;
    RegisterClassA(&c);
}

class TranslateTest : public EventRuntime {
  protected:
    void SetUp() override {
        EventRuntime::SetUp();
        ASSERT_NE(WindowOpen(0, 0, 0, 400, 300, "translate", PLAIN_FLAGS), 0);
        window_ = WindowNativeHandle(0);
        XPump(100);
        DrainQueue();
    }

    HWND Child(const char* className, DWORD style, int id, int x, HWND parent = nullptr) {
        HWND child = CreateWindowExA(0, className, "c", WS_CHILD | WS_VISIBLE | style, x, 10, 60,
                                     24, parent ? parent : window_,
                                     reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), Instance(),
                                     nullptr);
        EXPECT_NE(child, nullptr) << className;
        return child;
    }

    // The codes of the waits that ran meanwhile.
    Codes MakeActive(HWND w) {
        SetForegroundWindow(w);
        SetActiveWindow(w);
        return XPump(100);
    }

    HWND window_ = nullptr;
};

// Hooks
LRESULT CALLBACK RecordHook(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_USER + 40 ? 4040 : PASS_ON;
}
LRESULT CALLBACK ProcessHook(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_USER + 40 ? 5050 : PASS_ON;
}

TEST_F(TranslateTest, RecordHookComesBeforeTheProcessHook) {
    EventStateGet()->windowHook = ProcessHook;
    EXPECT_EQ(SendMessageA(window_, WM_USER + 40, 0, 0), 5050);
    WindowRecordLookup(0)->windowHook = RecordHook;
    EXPECT_EQ(SendMessageA(window_, WM_USER + 40, 0, 0), 4040);
    // PASS_ON goes on with the translation: the close request still becomes an event.
    SendMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(DrainQueue(), Codes({EVENT_CLOSE_WINDOW}));
    WindowRecordLookup(0)->windowHook = nullptr;
    EventStateGet()->windowHook = nullptr;
}

TEST_F(TranslateTest, MessagesOfWindowsWithoutANumber) {
    // A window of the same procedure that carries no number (and has no numbered parent).
    RegisterTestClass("OneboxPlainTranslate", WindowClassProc);
    HWND loose = CreateWindowExA(0, "OneboxPlainTranslate", "loose", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                 100, nullptr, nullptr, Instance(), nullptr);
    ASSERT_NE(loose, nullptr);
    HWND inner = CreateWindowExA(0, "OneboxPlainTranslate", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50,
                                 window_, nullptr, Instance(), nullptr);
    ASSERT_NE(inner, nullptr);
    DrainQueue();

    struct Case {
        const char* name;
        HWND target;
        UINT message;
        WPARAM wParam;
        LRESULT result;
        int32_t window;
    } cases[] = {
        {"close, no number", loose, WM_CLOSE, 0, 0, -1},
        {"move, no number", loose, WM_MOVE, 0, 0, -1},
        {"size, no number", loose, WM_SIZE, SIZE_RESTORED, 1, -1},
        {"timer, no number", loose, WM_TIMER, 3, NOT_HANDLED, -1},
        {"size of a child", inner, WM_SIZE, SIZE_RESTORED, 1, 0},
        {"timer of a child", inner, WM_TIMER, 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WindowTranslate(c.target, c.message, c.wParam, 0), c.result);
        EXPECT_EQ(Fields().window, c.window);
    }
    // None of them queued an event, and the close request left the window alone.
    EXPECT_EQ(DrainQueue(), Codes());
    EXPECT_TRUE(IsWindow(loose));
    DestroyWindow(loose);
    // A move of the child is its window's.
    SendMessageA(inner, WM_MOVE, 0, 0);
    EXPECT_EQ(DrainQueue(), Codes({EVENT_WINDOW_MOVED}));
    EXPECT_EQ(Fields().item, 0);
    EXPECT_EQ(Fields().window, 0);
}

LRESULT EraseAnswer(HDC, HWND) { return 77; }

TEST_F(TranslateTest, EraseUsesBrushThenCallbackAndAlwaysQueuesRepaint) {
    HDC dc = GetDC(window_);
    WindowRecord* record = WindowRecordLookup(0);
    EXPECT_EQ(SendMessageA(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1)
        << "class brush erases through the default procedure";
    record->eraseCallback = EraseAnswer;
    EXPECT_EQ(WindowTranslate(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 77);
    record->backgroundBrush = CreateSolidBrush(RGB(0, 0, 255));
    EXPECT_EQ(WindowTranslate(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    COLORREF pixel = GetPixel(dc, 5, 5);
    EXPECT_EQ(pixel, RGB(0, 0, 255));
    record->eraseCallback = nullptr;
    ReleaseDC(window_, dc);
    // Three erases of one window with nothing taken between them collapse into one.
    EXPECT_EQ(DrainQueue(), Codes({EVENT_REPAINT}));
}

TEST_F(TranslateTest, MinMaxInfoTakesTheRecordsLimits) {
    MINMAXINFO original = {};
    original.ptMinTrackSize = {100, 50};
    original.ptMaxTrackSize = {2000, 1500};
    auto limits = [&](HWND window) {
        MINMAXINFO info = original;
        EXPECT_EQ(WindowTranslate(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
        return info;
    };
    MINMAXINFO info = limits(window_);
    EXPECT_EQ(std::memcmp(&info, &original, sizeof info), 0) << "no limits: unchanged";

    WindowRecord* record = WindowRecordLookup(0);
    record->minimumWidth = 300;
    record->maximumHeight = 400;
    info = limits(window_);
    EXPECT_EQ(info.ptMinTrackSize.x, 300);
    EXPECT_EQ(info.ptMinTrackSize.y, 50);
    EXPECT_EQ(info.ptMaxTrackSize.x, 2000);
    EXPECT_EQ(info.ptMaxTrackSize.y, 400);

    // The limits hold when the window is sized.
    SetWindowPos(window_, nullptr, 0, 0, 100, 900, SWP_NOMOVE | SWP_NOZORDER);
    RECT r;
    GetWindowRect(window_, &r);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 400);
    record->minimumWidth = 0;
    record->maximumHeight = 0;

    ASSERT_NE(WindowOpen(1, 10, 10, 100, 40, "tool", WINDOW_TOOL), 0);
    info = limits(WindowNativeHandle(1));
    EXPECT_EQ(info.ptMinTrackSize.x, 1) << "a tool window without a minimum may be 1 wide";
    EXPECT_EQ(info.ptMinTrackSize.y, 50);
}

// A control class that counts the colour-change messages it receives.
int colourChanges;
LRESULT CALLBACK CountingProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOLORCHANGE)
        ++colourChanges;
    return DefWindowProcA(w, message, wParam, lParam);
}

TEST_F(TranslateTest, ColourChangeReachesEveryDescendant) {
    RegisterTestClass("OneboxCounting", CountingProc);
    HWND a = Child("OneboxCounting", 0, 1, 0);
    Child("OneboxCounting", 0, 2, 70);
    Child("OneboxCounting", 0, 3, 0, a); // a grandchild
    colourChanges = 0;
    EXPECT_EQ(WindowTranslate(window_, WM_SYSCOLORCHANGE, 0, 0), NOT_HANDLED);
    EXPECT_EQ(colourChanges, 3);
}

TEST_F(TranslateTest, IconMessageQueuesMouseActions) {
    struct Case {
        LPARAM mouse;
        int32_t type; // -1: nothing queued
    } cases[] = {
        {WM_LBUTTONDOWN, 0},   {WM_RBUTTONDOWN, 1}, {WM_LBUTTONDBLCLK, 2},
        {WM_RBUTTONDBLCLK, 3}, {WM_MOUSEMOVE, -1},  {WM_LBUTTONUP, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SendMessageA(window_, MESSAGE_ICON_MOUSE, 8, c.mouse), 0);
        int32_t code = EventTake();
        if (c.type < 0) {
            EXPECT_EQ(code, 0) << c.mouse;
        } else {
            EXPECT_EQ(code, EVENT_ICON_MOUSE) << c.mouse;
            EXPECT_EQ(Fields().item, 8);
            EXPECT_EQ(Fields().window, 0);
            EXPECT_EQ(Fields().type, c.type);
        }
        // A null message was posted to wake a waiting loop.
        MSG m;
        EXPECT_TRUE(PeekMessageA(&m, window_, WM_NULL, WM_NULL, PM_REMOVE)) << c.mouse;
    }
}

// A gadget of this runtime: registry slot, QW_ID equal to the control id, a message callback.
struct Forwarded {
    GadgetRecord* gadget;
    HWND parent;
    UINT message;
    int calls;
} forwarded;

LRESULT GadgetMessage(GadgetRecord* gadget, HWND parent, UINT message, WPARAM, LPARAM) {
    forwarded.gadget = gadget;
    forwarded.parent = parent;
    forwarded.message = message;
    ++forwarded.calls;
    return 909;
}

const GadgetOperations GADGET_OPERATIONS = {nullptr, nullptr, GadgetMessage};
const GadgetOperations SILENT_OPERATIONS = {nullptr, nullptr, nullptr};

#if INTPTR_MAX > INT32_MAX
// The runtime's records in a heap above 4 GiB: dynamic windows and gadgets get numbers that no
// 32-bit integer holds.
class HighNumberTest : public EventRuntime {
  protected:
    HighNumberTest() : EventRuntime(16 << 20, true) {}
};

// A dynamic window's whole number names its class and comes back from its handle and in every
// event; a control whose id is a dynamic gadget's number reaches the gadget, or reports that
// number whole; message items as wide as a wParam stay whole.
TEST_F(HighNumberTest, DynamicWindowAndGadgetNumbersStayWhole) {
    const ObjectNumber number = WindowOpen(DYNAMIC_NUMBER, 0, 0, 200, 100, "high", PLAIN_FLAGS);
    ASSERT_GE(static_cast<uintptr_t>(number), FOUR_GIB);
    HWND window = WindowNativeHandle(number);
    ASSERT_NE(window, nullptr);
    const std::string className = "WindowClass_" + std::to_string(number);
    char actualClass[64] = {};
    GetClassNameA(window, actualClass, sizeof actualClass);
    EXPECT_EQ(actualClass, className);
    EXPECT_EQ(WindowNumberOf(window), number);

    auto* gadget = static_cast<GadgetRecord*>(RegistrySlotFor(GadgetRegistry(), DYNAMIC_NUMBER));
    ASSERT_NE(gadget, nullptr);
    const ObjectNumber gadgetNumber = RegistryNumberOf(gadget);
    HWND control = CreateWindowExA(0, "BUTTON", "g", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, window,
                                   reinterpret_cast<HMENU>(gadgetNumber), Instance(), nullptr);
    ASSERT_NE(control, nullptr);
    SetPropA(control, "QW_ID", reinterpret_cast<HANDLE>(gadgetNumber));
    gadget->window = control;
    gadget->operations = &GADGET_OPERATIONS;
    forwarded = {};
    WindowTranslate(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                    reinterpret_cast<LPARAM>(control));
    EXPECT_EQ(forwarded.gadget, gadget);
    gadget->operations = &SILENT_OPERATIONS;
    DrainQueue();

    const intptr_t wide = intptr_t(0x5A) << 32;
    const struct {
        const char* name;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        int32_t code;
        intptr_t item;
    } cases[] = {
        {"close", WM_CLOSE, 0, 0, EVENT_CLOSE_WINDOW, number},
        {"command of a gadget without callback", WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
         reinterpret_cast<LPARAM>(control), EVENT_CONTROL, gadgetNumber},
        {"timer", WM_TIMER, WPARAM(wide + 5), 0, EVENT_TIMER_TICK, wide + 5},
        {"icon", MESSAGE_ICON_MOUSE, WPARAM(wide + 3), WM_LBUTTONDOWN, EVENT_ICON_MOUSE, wide + 3},
        {"control data", MESSAGE_CONTROL_DATA, WPARAM(wide + 9), 0, EVENT_CONTROL_DATA, wide + 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventStateGet()->current.immediateCode = 0;
        WindowTranslate(window, c.message, c.wParam, c.lParam);
        // An immediate event, or else the one the message queued.
        int32_t code = Fields().immediateCode ? Fields().immediateCode : EventTake();
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(Fields().item, c.item);
        EXPECT_EQ(Fields().window, number);
    }

    RegistryRelease(GadgetRegistry(), gadgetNumber);
    WindowClose(number);
    WNDCLASSA info;
    EXPECT_FALSE(GetClassInfoA(Instance(), className.c_str(), &info)) << "unregistered";
}
#endif

TEST_F(TranslateTest, ControlMessagesGoToTheirGadget) {
    HWND button = Child("BUTTON", 0, 12, 0);
    HWND stranger = Child("BUTTON", 0, 13, 70);
    HWND silent = Child("BUTTON", 0, 14, 140);
    SetPropA(button, "QW_ID", reinterpret_cast<HANDLE>(12));
    SetPropA(stranger, "QW_ID", reinterpret_cast<HANDLE>(99)); // not a gadget of this runtime
    SetPropA(silent, "QW_ID", reinterpret_cast<HANDLE>(14));
    GadgetRecord* gadget = static_cast<GadgetRecord*>(RegistrySlotFor(GadgetRegistry(), 12));
    ASSERT_NE(gadget, nullptr);
    gadget->window = button;
    gadget->operations = &GADGET_OPERATIONS;
    GadgetRecord* quiet = static_cast<GadgetRecord*>(RegistrySlotFor(GadgetRegistry(), 14));
    quiet->window = silent;
    quiet->operations = &SILENT_OPERATIONS;

    struct Case {
        const char* name;
        UINT message;
        HWND control;
        bool forwarded;
    } cases[] = {
        {"command", WM_COMMAND, button, true},
        {"hscroll", WM_HSCROLL, button, true},
        {"vscroll", WM_VSCROLL, button, true},
        {"colour edit", WM_CTLCOLOREDIT, button, true},
        {"colour list", WM_CTLCOLORLISTBOX, button, true},
        {"colour button", WM_CTLCOLORBTN, button, true},
        {"colour static", WM_CTLCOLORSTATIC, button, true},
        {"gadget message", MESSAGE_GADGET, button, true},
        {"colour dialog is not forwarded", WM_CTLCOLORDLG, button, false},
        {"colour scroll bar is not forwarded", WM_CTLCOLORSCROLLBAR, button, false},
        {"foreign control", WM_COMMAND, stranger, false},
        {"gadget without callback", WM_HSCROLL, silent, false},
        {"no control", WM_HSCROLL, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        forwarded = {};
        LRESULT r = WindowTranslate(window_, c.message, MAKEWPARAM(12, 0),
                                    reinterpret_cast<LPARAM>(c.control));
        EXPECT_EQ(forwarded.calls, c.forwarded ? 1 : 0);
        if (c.forwarded) {
            EXPECT_EQ(forwarded.gadget, gadget);
            EXPECT_EQ(forwarded.parent, window_);
            EXPECT_EQ(forwarded.message, c.message);
            EXPECT_EQ(r, c.message == WM_COMMAND ? 0 : 909);
        }
    }
    // A forwarded command is the gadget's: no immediate event.
    EventStateGet()->current.immediateCode = 0;
    WindowTranslate(window_, WM_COMMAND, MAKEWPARAM(12, 0), reinterpret_cast<LPARAM>(button));
    EXPECT_EQ(Fields().immediateCode, 0);

    NMHDR header = {button, 12, 0};
    forwarded = {};
    EXPECT_EQ(WindowTranslate(window_, WM_NOTIFY, 12, reinterpret_cast<LPARAM>(&header)), 909);
    EXPECT_EQ(forwarded.message, static_cast<UINT>(WM_NOTIFY));
    RegistryRelease(GadgetRegistry(), 12);
    RegistryRelease(GadgetRegistry(), 14);
}

TEST_F(TranslateTest, ActivationGivesTheFocusBackToTheChildThatHadIt) {
    Child("EDIT", WS_TABSTOP | WS_BORDER, 1, 0);
    HWND second = Child("EDIT", WS_TABSTOP | WS_BORDER, 2, 100);
    ASSERT_NE(WindowOpen(1, 10, 10, 200, 100, "other", 0), 0);
    HWND other = WindowNativeHandle(1);
    SetWindowPos(other, HWND_TOP, 10, 10, 0, 0, SWP_NOSIZE);
    MakeActive(window_);
    SetFocus(second);
    ASSERT_EQ(GetFocus(), second);

    // Real clicks on the other window's caption, then on this window's, where they do not
    // overlap.
    RECT o, w;
    GetWindowRect(other, &o);
    GetWindowRect(window_, &w);
    ASSERT_TRUE(XClick((o.left + o.right) / 2, o.top + 8));
    XPump(150);
    EXPECT_EQ(GetActiveWindow(), other);
    EXPECT_EQ(GetPropA(window_, "QW_Focus"), second);
    Codes codes;
    ASSERT_TRUE(XClick(w.right - 80, w.top + 8, &codes));
    for (int32_t code : XPump(150))
        codes.push_back(code);
    EXPECT_EQ(GetActiveWindow(), window_);
    EXPECT_EQ(GetFocus(), second);
    EXPECT_EQ(Only(codes, {EVENT_WINDOW_ACTIVATED}), Codes({EVENT_WINDOW_ACTIVATED}));
    EXPECT_EQ(EventStateGet()->last.window, 0);

    // A child that went away in the meantime is not focused again.
    MakeActive(other);
    DestroyWindow(second);
    MakeActive(window_);
    EXPECT_NE(GetFocus(), second);
    // Destruction removes the stored focus.
    SetPropA(window_, "QW_Focus", window_);
    EXPECT_EQ(WindowTranslate(window_, WM_NCDESTROY, 0, 0), 1);
    EXPECT_EQ(GetPropA(window_, "QW_Focus"), nullptr);
}

TEST_F(TranslateTest, MdiFrameGetsWhatTheTranslationLeaves) {
    CLIENTCREATESTRUCT client = {nullptr, 100};
    HWND mdiClient = CreateWindowExA(0, "MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200, 150,
                                     window_, nullptr, Instance(), &client);
    ASSERT_NE(mdiClient, nullptr);
    MakeActive(window_);
    // Without the property the default procedure leaves the focus on the frame.
    SetFocus(window_);
    EXPECT_EQ(GetFocus(), window_);
    SetPropA(window_, "QW_MDI_Gadget", mdiClient);
    SetFocus(nullptr);
    SetFocus(window_);
    EXPECT_EQ(GetFocus(), mdiClient) << "WM_SETFOCUS went to the MDI frame procedure";
    // A close request is still translated and answered by the translation alone.
    EXPECT_EQ(SendMessageA(window_, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window_));
    RemovePropA(window_, "QW_MDI_Gadget");
}

// Focus stepping over a row of controls: tab stops, and controls that are not (disabled,
// hidden, no WS_TABSTOP).
class FocusTest : public TranslateTest {
  protected:
    void SetUp() override {
        TranslateTest::SetUp();
        stops_[0] = Child("BUTTON", WS_TABSTOP, 1, 0);
        plain_ = Child("BUTTON", 0, 2, 70);
        stops_[1] = Child("BUTTON", WS_TABSTOP, 3, 140);
        disabled_ = Child("BUTTON", WS_TABSTOP | WS_DISABLED, 4, 210);
        hidden_ = Child("BUTTON", WS_TABSTOP, 5, 280);
        ShowWindow(hidden_, SW_HIDE);
        stops_[2] = Child("BUTTON", WS_TABSTOP, 6, 350);
        MakeActive(window_);
    }
    HWND stops_[3] = {};
    HWND plain_ = nullptr, disabled_ = nullptr, hidden_ = nullptr;
};

TEST_F(FocusTest, StepsForwardAndBackwardWithWrapAround) {
    struct Case {
        const char* name;
        HWND from;
        int backward;
        HWND to;
    } cases[] = {
        {"forward", stops_[0], 0, stops_[1]},
        {"forward past disabled and hidden", stops_[1], 0, stops_[2]},
        {"forward wraps", stops_[2], 0, stops_[0]},
        {"backward", stops_[2], 1, stops_[1]},
        {"backward past a plain button", stops_[1], 1, stops_[0]},
        {"backward wraps", stops_[0], 1, stops_[2]},
        {"forward from the window itself", window_, 0, stops_[0]},
        {"backward from the window itself", window_, 1, stops_[2]},
        {"forward from a non-tab stop stays", plain_, 0, plain_},
        {"backward from a non-tab stop goes to the last", plain_, 1, stops_[2]},
    };
    for (const Case& c : cases) {
        SetFocus(c.from);
        ASSERT_EQ(GetFocus(), c.from) << c.name;
        FocusStep(c.backward);
        EXPECT_EQ(GetFocus(), c.to) << c.name;
    }
}

TEST_F(FocusTest, FocusInsideAnAddressControlStepsFromTheControl) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&classes);
    HWND address =
        CreateWindowExA(0, "SysIPAddress32", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 60, 150,
                        24, window_, reinterpret_cast<HMENU>(30), Instance(), nullptr);
    ASSERT_NE(address, nullptr);
    HWND field = GetWindow(address, GW_CHILD);
    ASSERT_NE(field, nullptr);
    // The address control was made last, so it is the last tab stop: forward wraps to the
    // first, backward goes to the one before the control, not to a field of its own.
    for (auto [backward, to] : {std::pair(0, stops_[0]), std::pair(1, stops_[2])}) {
        SetFocus(field);
        ASSERT_EQ(GetFocus(), field);
        FocusStep(backward);
        EXPECT_EQ(GetFocus(), to) << backward;
    }
}

TEST_F(FocusTest, RealTabAndShiftTabWrapAround) {
    SetFocus(stops_[0]);
    struct Case {
        const char* keys;
        HWND to;
    } cases[] = {
        {"Tab", stops_[1]},       {"Tab", stops_[2]},       {"Tab", stops_[0]},
        {"shift+Tab", stops_[2]}, {"shift+Tab", stops_[1]}, {"Tab Tab Tab Tab", stops_[2]},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i << " (" << cases[i].keys << ")");
        ASSERT_TRUE(XKeys(cases[i].keys));
        XPump(100);
        EXPECT_EQ(GetFocus(), cases[i].to);
    }
}

TEST_F(FocusTest, TabInAnEditableRichEditStaysThereButNotWhenReadOnly) {
    ASSERT_NE(LoadLibraryA("riched20.dll"), nullptr);
    HWND rich = CreateWindowExA(
        0, "RichEdit20A", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | WS_BORDER, 10, 60,
        200, 80, window_, reinterpret_cast<HMENU>(20), Instance(), nullptr);
    ASSERT_NE(rich, nullptr);
    MakeActive(window_);
    SetFocus(rich);
    ASSERT_EQ(GetFocus(), rich);

    ASSERT_TRUE(XKeys("a Tab b"));
    XPump(100);
    EXPECT_EQ(GetFocus(), rich);
    char text[32] = {};
    GetWindowTextA(rich, text, sizeof text);
    EXPECT_STREQ(text, "a\tb");

    SendMessageA(rich, EM_SETREADONLY, TRUE, 0);
    ASSERT_TRUE(XKeys("Tab"));
    XPump(100);
    EXPECT_NE(GetFocus(), rich);
    EXPECT_TRUE(GetFocus() == stops_[0] || GetFocus() == stops_[1] || GetFocus() == stops_[2]);

    // Shift+Tab is never the rich edit's, editable or not.
    SendMessageA(rich, EM_SETREADONLY, FALSE, 0);
    SetFocus(rich);
    ASSERT_TRUE(XKeys("shift+Tab"));
    XPump(100);
    EXPECT_NE(GetFocus(), rich);
}

TEST_F(FocusTest, HotkeyPropertyKeepsTheKeysWithTheControl) {
    SetFocus(stops_[0]);
    EXPECT_NE(ActiveAccelerators(window_), nullptr);
    EXPECT_EQ(ActiveAccelerators(window_), WindowRecordLookup(0)->acceleratorTable);
    SetPropA(stops_[0], "QW_Hotkey", reinterpret_cast<HANDLE>(1));
    EXPECT_EQ(ActiveAccelerators(window_), nullptr);
    RemovePropA(stops_[0], "QW_Hotkey");
    EXPECT_EQ(ActiveAccelerators(nullptr), nullptr);
    EXPECT_EQ(ActiveAccelerators(plain_), nullptr) << "a window without a number";
}

} // namespace
