#include "window/translate.h"

#include <cstring>

#include "core/registry.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/sizing.h"
#include "window/window.h"

namespace {

const char FOCUS_PROPERTY[] = "QW_Focus";
const char MDI_GADGET_PROPERTY[] = "QW_MDI_Gadget";
const char GADGET_ID_PROPERTY[] = "QW_ID";

// A control whose id is this reports its commands as menu items.
constexpr int32_t MENU_CONTROL_ID = -10000;

// Class names are compared on their first 50 characters.
constexpr int CLASS_NAME_LENGTH = 50;

// The window's number and record, found from the window up through its parents: child windows
// of a numbered window belong to it.
struct Owner {
    HWND window; // the window that carries QW_WindowID, or null
    ObjectNumber number;
    WindowRecord* record;
};

Owner FindOwner(HWND window) {
    for (HWND w = window; w; w = GetParent(w)) {
        ObjectNumber number = WindowNumberOf(w);
        if (number != -1)
            return {w, number, WindowRecordLookup(number)};
    }
    return {nullptr, -1, nullptr};
}

void SetImmediate(int32_t code, intptr_t item, int32_t type) {
    EventState* state = EventStateGet();
    if (!state)
        return;
    state->current.immediateCode = code;
    state->current.item = item;
    state->current.type = type;
}

LRESULT TranslateSize(const Owner& owner, HWND window, WPARAM wParam) {
    // A child's size belongs to the window it sits in, which reports its own.
    if (owner.window != window || !owner.record)
        return 1;
    WindowRecord* record = owner.record;
    ObjectNumber number = owner.number;
    switch (wParam) {
    case SIZE_MINIMIZED:
        record->sizedState = 1;
        EventPost(EVENT_WINDOW_MINIMIZED, 0, number, 0);
        break;
    case SIZE_MAXIMIZED:
        record->sizedState = 1;
        EventPost(EVENT_WINDOW_MAXIMIZED, 0, number, 0);
        EventPost(EVENT_WINDOW_SIZED, 0, number, 0);
        break;
    case SIZE_RESTORED:
        if (record->sizedState == 1) {
            record->sizedState = 0;
            EventPost(EVENT_WINDOW_RESTORED, 0, number, 0);
        }
        EventPost(EVENT_WINDOW_SIZED, 0, number, 0);
        break;
    default:
        EventPost(EVENT_WINDOW_SIZED, 0, number, 0);
        break;
    }
    return 0;
}

LRESULT TranslateActivate(HWND window, ObjectNumber number, WPARAM wParam) {
    if (LOWORD(wParam) != WA_INACTIVE) {
        HWND focus = static_cast<HWND>(GetPropA(window, FOCUS_PROPERTY));
        // The stored child may have gone since the window was deactivated, and its handle may
        // have been reused: only a window still inside this one gets the focus back.
        if (focus && (focus == window || IsChild(window, focus)))
            SetFocus(focus);
        if (number != -1)
            EventPost(EVENT_WINDOW_ACTIVATED, 0, number, 0);
    } else {
        SetPropA(window, FOCUS_PROPERTY, GetFocus());
    }
    return 1;
}

LRESULT TranslateErase(const Owner& owner, HWND window, WPARAM wParam) {
    LRESULT result = NOT_HANDLED;
    if (!owner.record)
        return result;
    WindowRecord* record = owner.record;
    HDC context = reinterpret_cast<HDC>(wParam);
    if (record->backgroundBrush) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(context, &client, record->backgroundBrush);
        result = 1;
    } else if (window == record->nativeHandle && record->eraseCallback) {
        result = record->eraseCallback(context, window);
    }
    EventPost(EVENT_REPAINT, 0, owner.number, 0);
    return result;
}

BOOL CALLBACK SendColourChange(HWND child, LPARAM) {
    SendMessageA(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

LRESULT TranslateMinMax(const Owner& owner, HWND window, LPARAM lParam) {
    if (!owner.record)
        return NOT_HANDLED;
    MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
    if (!limits)
        return 0;
    const WindowRecord* record = owner.record;
    if (record->minimumWidth)
        limits->ptMinTrackSize.x = record->minimumWidth;
    else if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)
        limits->ptMinTrackSize.x = 1;
    if (record->minimumHeight)
        limits->ptMinTrackSize.y = record->minimumHeight;
    if (record->maximumWidth)
        limits->ptMaxTrackSize.x = record->maximumWidth;
    if (record->maximumHeight)
        limits->ptMaxTrackSize.y = record->maximumHeight;
    return 0;
}

LRESULT TranslateCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    if (GadgetForward(control, window, WM_COMMAND, wParam, lParam) != NOT_HANDLED)
        return 0;
    int32_t low = LOWORD(wParam);
    int32_t high = HIWORD(wParam);
    if (control) {
        // A control's id is as wide as an address: a gadget's is its number.
        intptr_t id = GetWindowLongPtrA(control, GWLP_ID);
        if (id == MENU_CONTROL_ID)
            SetImmediate(EVENT_MENU_ITEM, low, high);
        else
            SetImmediate(EVENT_CONTROL, id, high);
    } else if (high == 0) {
        SetImmediate(EVENT_MENU_ITEM, low, -1);
    } else if (low == COMMAND_FOCUS_NEXT) {
        FocusStep(0);
    } else if (low == COMMAND_FOCUS_PREVIOUS) {
        FocusStep(1);
    } else {
        SetImmediate(EVENT_MENU_ITEM, low, -1);
    }
    return 0;
}

LRESULT TranslateIconMouse(HWND window, ObjectNumber number, WPARAM wParam, LPARAM lParam) {
    int32_t action = -1;
    switch (lParam) {
    case WM_LBUTTONDOWN:
        action = 0;
        break;
    case WM_RBUTTONDOWN:
        action = 1;
        break;
    case WM_LBUTTONDBLCLK:
        action = 2;
        break;
    case WM_RBUTTONDBLCLK:
        action = 3;
        break;
    }
    if (action != -1)
        EventPost(EVENT_ICON_MOUSE, static_cast<intptr_t>(wParam), number, action);
    // Wakes a wait blocked in the message queue: the icon message itself was sent, not posted.
    PostMessageA(window, WM_NULL, 0, 0);
    return 0;
}

// Focus stepping: one walk over the container's descendants in EnumChildWindows order.
struct TabWalk {
    HWND anchor;
    bool backward;
    HWND first;    // first tab stop seen
    HWND previous; // last tab stop seen before the anchor (backward), or the last of all
    HWND target;   // the window to focus, once the walk has decided
    bool anchorSeen;
};

bool IsTabStop(HWND w) {
    return IsWindowEnabled(w) && IsWindowVisible(w) && (GetWindowLongA(w, GWL_STYLE) & WS_TABSTOP);
}

BOOL CALLBACK VisitTabStop(HWND w, LPARAM context) {
    TabWalk* walk = reinterpret_cast<TabWalk*>(context);
    if (!IsTabStop(w))
        return TRUE;
    if (!walk->first)
        walk->first = w;
    if (walk->backward) {
        if (w == walk->anchor && walk->previous) {
            walk->target = walk->previous;
            return FALSE;
        }
        walk->previous = w;
        return TRUE;
    }
    if (!walk->anchor) {
        walk->target = w;
        return FALSE;
    }
    if (walk->anchorSeen) {
        walk->target = w;
        return FALSE;
    }
    if (w == walk->anchor)
        walk->anchorSeen = true;
    return TRUE;
}

bool ClassIs(HWND w, const char* name) {
    char className[CLASS_NAME_LENGTH + 1] = {};
    GetClassNameA(w, className, sizeof className);
    return std::strcmp(className, name) == 0;
}

} // namespace

LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = WindowTranslate(window, message, wParam, lParam);
    if (message != WM_SIZE) {
        HWND mdiClient = static_cast<HWND>(GetPropA(window, MDI_GADGET_PROPERTY));
        if (mdiClient) {
            if (result == NOT_HANDLED || message == WM_SETFOCUS || message == WM_MENUCHAR ||
                (message == WM_COMMAND && lParam == 0))
                return DefFrameProcA(window, mdiClient, message, wParam, lParam);
            return result;
        }
    }
    SetLastError(0);
    return result == NOT_HANDLED ? DefWindowProcA(window, message, wParam, lParam) : result;
}

LRESULT WindowTranslate(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT sized = LiveSizing(window, message, wParam, lParam);
    if (sized != NOT_HANDLED)
        return sized;

    Owner owner = FindOwner(window);
    EventState* state = EventStateGet();
    WindowHookProc hook = owner.record ? owner.record->windowHook : nullptr;
    if (!hook && state)
        hook = state->windowHook;
    if (hook) {
        LRESULT hooked = hook(window, message, wParam, lParam);
        if (hooked != PASS_ON)
            return hooked;
    }

    ObjectNumber number = owner.number;
    if (state)
        state->current.window = number;

    switch (message) {
    case WM_MOVE:
    case WM_CLOSE:
        // The close request only becomes an event: returning 0 keeps the default procedure
        // from destroying the window, which ends through WindowClose alone.
        if (number != -1)
            EventPost(static_cast<int32_t>(message), number, number, 0);
        return 0;
    case WM_SIZE:
        return TranslateSize(owner, window, wParam);
    case WM_ACTIVATE:
        return TranslateActivate(window, number, wParam);
    case WM_ERASEBKGND:
        return TranslateErase(owner, window, wParam);
    case WM_SYSCOLORCHANGE:
        if (owner.record && !owner.record->mdiClient)
            EnumChildWindows(window, SendColourChange, 0);
        return NOT_HANDLED;
    case WM_GETMINMAXINFO:
        return TranslateMinMax(owner, window, lParam);
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        return GadgetForward(header ? header->hwndFrom : nullptr, window, message, wParam, lParam);
    }
    case WM_NCDESTROY:
        RemovePropA(window, FOCUS_PROPERTY);
        return 1;
    case WM_COMMAND:
        return TranslateCommand(window, wParam, lParam);
    case WM_TIMER:
        if (!owner.record)
            return NOT_HANDLED;
        SetImmediate(EVENT_TIMER_TICK, static_cast<intptr_t>(wParam), -1);
        return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case MESSAGE_GADGET:
        return GadgetForward(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam);
    case MESSAGE_ICON_MOUSE:
        return TranslateIconMouse(window, number, wParam, lParam);
    case MESSAGE_WINDOW_DATA:
        SetImmediate(EVENT_WINDOW_DATA, state ? state->current.item : 0, -1);
        EventDataTake(reinterpret_cast<void*>(lParam));
        return 0;
    case MESSAGE_CONTROL_DATA:
        SetImmediate(EVENT_CONTROL_DATA, static_cast<intptr_t>(wParam), -1);
        EventDataTake(reinterpret_cast<void*>(lParam));
        return 0;
    default:
        return NOT_HANDLED;
    }
}

LRESULT GadgetForward(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!control || !IsWindow(control))
        return NOT_HANDLED;
    intptr_t id = GetWindowLongPtrA(control, GWLP_ID);
    if (reinterpret_cast<intptr_t>(GetPropA(control, GADGET_ID_PROPERTY)) != id)
        return NOT_HANDLED;
    ObjectRegistry* registry = GadgetRegistry();
    if (!registry)
        return NOT_HANDLED;
    GadgetRecord* gadget = static_cast<GadgetRecord*>(RegistryLookup(registry, id));
    if (!gadget || !gadget->operations || !gadget->operations->message)
        return NOT_HANDLED;
    return gadget->operations->message(gadget, parent, message, wParam, lParam);
}

void FocusStep(int backward) {
    HWND container = GetActiveWindow();
    if (!container)
        return;
    HWND focus = GetFocus();
    HWND anchor = nullptr;
    if (focus && IsChild(container, focus)) {
        anchor = focus;
        for (HWND w = focus; w && w != container; w = GetParent(w)) {
            if (ClassIs(w, "MDI_ChildClass")) {
                container = w;
                if (w == focus)
                    anchor = nullptr;
                break;
            }
            if (ClassIs(w, "ComboBoxEx32") && (GetWindowLongA(w, GWL_STYLE) & CBS_SIMPLE))
                anchor = w;
            else if (ClassIs(w, "SysIPAddress32"))
                anchor = w;
        }
    }

    TabWalk walk = {anchor, backward != 0, nullptr, nullptr, nullptr, false};
    EnumChildWindows(container, VisitTabStop, reinterpret_cast<LPARAM>(&walk));
    HWND target = walk.target;
    if (!backward && !target && walk.anchorSeen)
        target = walk.first; // the anchor was the last tab stop: wrap to the first
    if (backward && !target)
        target = walk.previous; // the last tab stop seen
    if (target)
        SetFocus(target);
}
