#include "window/gadgets.h"

#include <commctrl.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/platform.h"

namespace {

ObjectRegistry* gadgetRegistry;
GadgetListState* listState;
HFONT defaultFont;
char propertyName[40];

void GadgetFree(ObjectNumber number) {
    GadgetRecord* gadget = static_cast<GadgetRecord*>(RegistryLookup(gadgetRegistry, number));
    if (!gadget)
        return;
    if (gadget->window)
        DestroyWindow(gadget->window);
    // A slot left holding a dead window would still look live to a lookup.
    RegistryRelease(gadgetRegistry, number);
}

GadgetStackEntry* NewStack() {
    return static_cast<GadgetStackEntry*>(
        PrivateHeapAllocZeroed(GADGET_STACK_ENTRIES * sizeof(GadgetStackEntry)));
}

void ListStateInitialise(void* record) {
    GadgetListState* state = static_cast<GadgetListState*>(record);
    state->stackCapacity = GADGET_STACK_ENTRIES;
    state->stack = NewStack();
    state->font = defaultFont;
}

HWND CurrentList() {
    if (!listState)
        return nullptr;
    if (listState->depth != 0 && listState->stack)
        return reinterpret_cast<HWND>(listState->stack[0]);
    return listState->listWindow;
}

} // namespace

void GadgetsInit() {
    defaultFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    gadgetRegistry = RegistryCreate(sizeof(GadgetRecord), GADGET_REGISTRY_GROWTH, GadgetFree);
    listState = static_cast<GadgetListState*>(
        StateRecordCreate(sizeof(GadgetListState), ListStateInitialise, nullptr));
    GadgetListPropertyNameFor(GetModuleHandleA(nullptr), propertyName);
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                     ICC_INTERNET_CLASSES;
    InitCommonControlsEx(&controls);
}

HWND GadgetListUse(HWND window) {
    HWND previous = CurrentList();
    if (!window || !listState)
        return previous;

    // A stack entry need not be a window that was ever a list (gadget containers push
    // themselves); without a record to take it, the stack stays with the state rather than
    // being dropped.
    if (GadgetListRecord* saved = previous ? GadgetListRecordOf(previous) : nullptr) {
        saved->savedListWindow = listState->listWindow;
        saved->savedStack = listState->stack;
        saved->savedDepth = listState->depth;
        saved->savedCapacity = listState->stackCapacity;
        listState->stack = nullptr;
    }

    if (GadgetListRecord* record = GadgetListRecordOf(window)) {
        // A record whose stack is already current (the window is used again while current)
        // must not lose it.
        if (record->savedStack) {
            if (listState->stack)
                PrivateHeapFree(listState->stack);
            listState->listWindow = record->savedListWindow;
            listState->stack = record->savedStack;
            listState->depth = record->savedDepth;
            listState->stackCapacity = record->savedCapacity;
            record->savedStack = nullptr;
        } else {
            // Saved without a stack (none could be made then): start an empty one rather
            // than leave the current list without any.
            if (!listState->stack) {
                listState->stack = NewStack();
                listState->stackCapacity = GADGET_STACK_ENTRIES;
            }
            listState->listWindow = window;
            listState->depth = 0;
        }
        return previous;
    }

    GadgetListRecord* record =
        static_cast<GadgetListRecord*>(PrivateHeapAllocZeroed(sizeof(GadgetListRecord)));
    if (!record)
        return previous;
    if (!listState->stack) {
        listState->stack = NewStack();
        listState->stackCapacity = GADGET_STACK_ENTRIES;
    }
    listState->depth = 0;
    listState->listWindow = window;
    record->window = window;
    SetPropA(window, propertyName, record);
    record->previousProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetListSubclassProc)));
    return previous;
}

LRESULT CALLBACK GadgetListSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    GadgetListRecord* record = GadgetListRecordOf(window);
    if (!record)
        return DefWindowProcA(window, message, wParam, lParam);
    WNDPROC previous = record->previousProc;
    if (message == WM_NCDESTROY) {
        if (listState && record->window == CurrentList()) {
            listState->listWindow = nullptr;
            listState->depth = 0;
        }
        if (record->savedStack)
            PrivateHeapFree(record->savedStack);
        PrivateHeapFree(record);
        RemovePropA(window, propertyName);
    }
    if (previous)
        return CallWindowProcA(previous, window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

void GadgetsShutdown() {
    if (listState && listState->auxiliaryWindow) {
        DestroyWindow(listState->auxiliaryWindow);
        listState->auxiliaryWindow = nullptr;
    }
    gadgetRegistry = nullptr;
    listState = nullptr;
}

ObjectRegistry* GadgetRegistry() { return gadgetRegistry; }

GadgetListState* GadgetListStateGet() { return listState; }

const char* GadgetListPropertyName() { return propertyName; }

void GadgetListPropertyNameFor(HINSTANCE instance, char (&name)[40]) {
    std::snprintf(name, sizeof name, "QW_GadgetStack_%" PRIiPTR,
                  reinterpret_cast<intptr_t>(instance));
}

GadgetListRecord* GadgetListRecordOf(HWND window) {
    if (!window || !propertyName[0])
        return nullptr;
    return static_cast<GadgetListRecord*>(GetPropA(window, propertyName));
}
