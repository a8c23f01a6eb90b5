#include "window/window.h"

#include <ole2.h>

#include <cinttypes>
#include <cstdio>

#include "core/platform.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/sizing.h"
#include "window/translate.h"

namespace {

ObjectRegistry* windowRegistry;
HICON classIcon;
HCURSOR classCursor;

const char WINDOW_ID_PROPERTY[] = "QW_WindowID";
const char DROP_ACCEPT_PROPERTY[] = "QW_DropAccept";

// A tool window has no minimize or maximize box and is never minimized or maximized.
constexpr uint32_t TOOL_KEEP_MASK =
    ~uint32_t(WS_MINIMIZE | WS_MAXIMIZE | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
// Every bit but these counts as a style given; a window given none gets a caption. WINDOW_TOOL
// and WINDOW_NO_GADGET_LIST do count (the latter is taken out of the flags before the test).
constexpr uint32_t STYLE_GIVEN_MASK =
    ~(WINDOW_INVISIBLE | WINDOW_SCREEN_CENTERED | WINDOW_PARENT_CENTERED);
static_assert(TOOL_KEEP_MASK == 0xDEFCFFFF && STYLE_GIVEN_MASK == 0xEFFFFFFC, "style masks");
constexpr uint32_t OWN_STYLE_BITS = WINDOW_SCREEN_CENTERED | WINDOW_PARENT_CENTERED | WINDOW_TOOL;

// The whole number, also where it is 64 bits wide: two dynamic windows whose addresses share
// their low 32 bits must not share a class.
void ClassNameFor(ObjectNumber number, char (&name)[256]) {
    std::snprintf(name, sizeof name, "WindowClass_%" PRIdPTR, number);
}

HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

// The division truncates toward zero, also when the window is larger than what it is centred
// on and the difference is negative.
int CentreOn(int origin, int extent, int size) { return origin + (extent - size) / 2; }

// The table of a numbered window, for the event wait's translation.
HACCEL WindowAccelerators(HWND window) {
    ObjectNumber number = WindowNumberOf(window);
    if (number == -1)
        return nullptr;
    WindowRecord* record = WindowRecordLookup(number);
    return record ? record->acceleratorTable : nullptr;
}

} // namespace

void WindowsInit() {
    windowRegistry = RegistryCreate(sizeof(WindowRecord), WINDOW_REGISTRY_GROWTH, WindowClose);
    EventStateInit(WindowAccelerators);
    classIcon = LoadIconA(ModuleInstance(), MAKEINTRESOURCEA(1));
    classCursor = LoadCursorA(nullptr, IDC_ARROW);
    SizingStateInit();
}

ObjectNumber WindowOpen(ObjectNumber number, int x, int y, int clientWidth, int clientHeight,
                        const char* title, uint32_t flags) {
    return WindowCreate(number, x, y, clientWidth, clientHeight, title, flags, nullptr);
}

ObjectNumber WindowCreate(ObjectNumber number, int x, int y, int clientWidth, int clientHeight,
                          const char* title, uint32_t flags, HWND parent) {
    if (!windowRegistry)
        return 0;
    WindowRecord* record = static_cast<WindowRecord*>(RegistrySlotFor(windowRegistry, number));
    if (!record)
        return 0;
    const bool dynamic = number == DYNAMIC_NUMBER;
    if (dynamic)
        number = RegistryNumberOf(record);

    char className[256];
    ClassNameFor(number, className);
    if (!title)
        title = "";

    HINSTANCE instance = ModuleInstance();
    WNDCLASSA windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowClassProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = classIcon;
    windowClass.hCursor = classCursor;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);

    uint32_t style = flags;
    DWORD extendedStyle = 0;
    bool gadgetList = true;
    if (style & WINDOW_NO_GADGET_LIST) {
        gadgetList = false;
        style &= ~WINDOW_NO_GADGET_LIST;
    }
    if ((style & STYLE_GIVEN_MASK) == 0)
        style |= WS_CAPTION;
    bool show = true;
    if (style & WINDOW_INVISIBLE) {
        style &= ~WINDOW_INVISIBLE;
        show = false;
    }
    if (style & WINDOW_TOOL) {
        style = (style & TOOL_KEEP_MASK) | WS_CAPTION;
        extendedStyle = WS_EX_TOOLWINDOW;
    }
    DWORD win32Style = style & ~OWN_STYLE_BITS;

    RECT outer = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, win32Style, FALSE, extendedStyle);
    int outerWidth = outer.right - outer.left;
    int outerHeight = outer.bottom - outer.top;

    bool centred = false;
    if (style & WINDOW_SCREEN_CENTERED) {
        int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        if (outerWidth > screenWidth)
            outerWidth = screenWidth;
        if (outerHeight > screenHeight)
            outerHeight = screenHeight;
        x = CentreOn(0, screenWidth, outerWidth);
        y = CentreOn(0, screenHeight, outerHeight);
        centred = true;
    } else if (style & WINDOW_PARENT_CENTERED) {
        HWND reference = parent ? parent : GetActiveWindow();
        RECT bounds;
        if (reference && GetWindowRect(reference, &bounds)) {
            x = CentreOn(bounds.left, bounds.right - bounds.left, outerWidth);
            y = CentreOn(bounds.top, bounds.bottom - bounds.top, outerHeight);
            if (x < 0)
                x = 0;
            if (y < 0)
                y = 0;
            centred = true;
        }
    }
    if (!centred && (x == DEFAULT_POSITION || y == DEFAULT_POSITION)) {
        x = CW_USEDEFAULT;
        y = CW_USEDEFAULT;
    }

    HWND window = CreateWindowExA(extendedStyle, className, title, win32Style, x, y, outerWidth,
                                  outerHeight, parent, nullptr, instance, nullptr);
    record->nativeHandle = window;
    if (!window) {
        UnregisterClassA(className, instance);
        RegistryRelease(windowRegistry, number);
        return 0;
    }
    SetPropA(window, WINDOW_ID_PROPERTY,
             reinterpret_cast<HANDLE>(static_cast<intptr_t>(number + 1)));

    if (show) {
        int command = SW_SHOWNORMAL;
        if (style & WS_MAXIMIZE)
            command = SW_SHOWMAXIMIZED;
        else if (style & WS_MINIMIZE)
            command = SW_SHOWMINIMIZED;
        ShowWindow(window, command);
    }
    record->sizedState = (style & (WS_MAXIMIZE | WS_MINIMIZE)) ? 1 : 0;

    record->acceleratorCount = 2;
    record->acceleratorEntries = static_cast<ACCEL*>(PrivateHeapAllocZeroed(2 * sizeof(ACCEL)));
    if (record->acceleratorEntries) {
        record->acceleratorEntries[0] = {FVIRTKEY | FNOINVERT, VK_TAB, COMMAND_FOCUS_NEXT};
        record->acceleratorEntries[1] = {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB,
                                         COMMAND_FOCUS_PREVIOUS};
        record->acceleratorTable = CreateAcceleratorTableA(record->acceleratorEntries, 2);
    }
    record->mdiClient = nullptr;

    if (gadgetList)
        GadgetListUse(window);

    return dynamic ? number : reinterpret_cast<ObjectNumber>(window);
}

HWND WindowNativeHandle(ObjectNumber number) {
    WindowRecord* record = WindowRecordLookup(number);
    return record ? record->nativeHandle : nullptr;
}

void WindowClose(ObjectNumber number) {
    WindowRecord* record = WindowRecordLookup(number);
    if (!record)
        return;
    HWND window = record->nativeHandle;
    if (window) {
        HWND owner = GetWindow(window, GW_OWNER);
        if (owner && !record->mdiClient)
            SetActiveWindow(owner);
        RemovePropA(window, WINDOW_ID_PROPERTY);
        if (RemovePropA(window, DROP_ACCEPT_PROPERTY))
            RevokeDragDrop(window);
        if (record->mdiClient) {
            SendMessageA(record->mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
        } else {
            DestroyWindow(window);
            char className[256];
            ClassNameFor(number, className);
            UnregisterClassA(className, ModuleInstance());
        }
    }
    if (record->acceleratorEntries) {
        PrivateHeapFree(record->acceleratorEntries);
        record->acceleratorEntries = nullptr;
        DestroyAcceleratorTable(record->acceleratorTable);
        record->acceleratorTable = nullptr;
    }
    if (record->backgroundBrush) {
        DeleteObject(record->backgroundBrush);
        record->backgroundBrush = nullptr;
    }
    RegistryRelease(windowRegistry, number);
}

void WindowCloseAll() {
    if (windowRegistry) {
        RegistryEnumBegin(windowRegistry);
        ObjectNumber number;
        while (RegistryEnumNext(windowRegistry, &number))
            WindowClose(number);
    }
    // A data event's blocks are held until the next wait, and no wait follows the last close.
    EventDataRelease();
}

void WindowsShutdown() {
    windowRegistry = nullptr;
    SizingStateShutdown();
    EventsShutdown();
}

ObjectRegistry* WindowRegistry() { return windowRegistry; }

WindowRecord* WindowRecordLookup(ObjectNumber number) {
    if (!windowRegistry)
        return nullptr;
    return static_cast<WindowRecord*>(RegistryLookup(windowRegistry, number));
}

ObjectNumber WindowNumberOf(HWND window) {
    if (!window)
        return -1;
    intptr_t value = reinterpret_cast<intptr_t>(GetPropA(window, WINDOW_ID_PROPERTY));
    return value ? value - 1 : -1;
}
