// Gadget lists: the container state for the runtime's numbered child controls. Every window
// opened without WINDOW_NO_GADGET_LIST becomes the current gadget list; a window that has
// been one keeps its list state in a property, and a procedure in front of its own frees that
// state when the window goes away.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/registry.h"

constexpr int32_t GADGET_REGISTRY_GROWTH = 50;
constexpr int32_t GADGET_STACK_ENTRIES = 10;

// An entry of the container stack: a container window's handle, kept whole.
typedef intptr_t GadgetStackEntry;

// Start-up: default GUI font, gadget registry, gadget-list state, common-control classes.
void GadgetsInit();

// Makes the window the current gadget list and returns the previous one (or null). With a null
// window only returns the current one.
HWND GadgetListUse(HWND window);

// Put in front of a gadget list window's own procedure; frees the list record on
// WM_NCDESTROY.
LRESULT CALLBACK GadgetListSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Shutdown, after WindowCloseAll: destroys the auxiliary window and forgets the registry and
// the list state, whose records go with the private heap.
void GadgetsShutdown();

struct GadgetRecord;
typedef LRESULT (*GadgetMessageCallback)(GadgetRecord* gadget, HWND parent, UINT message,
                                         WPARAM wParam, LPARAM lParam);

// Only the third entry is used by this runtime: the gadget's message callback.
struct GadgetOperations {
    void* reserved0;
    void* reserved1;
    GadgetMessageCallback message;
};

struct GadgetRecord {
    HWND window; // non-zero while the gadget exists
    const GadgetOperations* operations;
    int32_t kindFields[6]; // the gadget kind's own values
};

struct GadgetListState {
    HWND listWindow; // the current gadget list while the stack is empty
    HFONT font;
    GadgetStackEntry* stack; // container stack, or null while a saved window owns it
    int32_t depth;           // while non-zero the current list is the stack's first entry
    int32_t stackCapacity;
    HWND auxiliaryWindow;
    int32_t reserved[14]; // unused; the record keeps its 80 bytes
};

// One per window that has been a gadget list, in its "QW_GadgetStack_<instance>" property.
struct GadgetListRecord {
    HWND window;
    HWND savedListWindow;
    GadgetStackEntry* savedStack; // owned by this record while another window is current
    int32_t savedDepth;
    int32_t savedCapacity;
    WNDPROC previousProc;
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(GadgetRecord) == 32, "gadget record of 32 bytes");
static_assert(offsetof(GadgetListState, auxiliaryWindow) == 20, "list state field order");
static_assert(sizeof(GadgetListState) == 80, "list state of 80 bytes");
static_assert(sizeof(GadgetListRecord) == 24, "list record of 24 bytes");
#endif

ObjectRegistry* GadgetRegistry();
GadgetListState* GadgetListStateGet();
// The name of the list-record property, formatted with the module instance.
const char* GadgetListPropertyName();
// That name for a given instance: its value in decimal, as a signed 32-bit number on the 32-bit
// target and whole where handles are 64 bits wide.
void GadgetListPropertyNameFor(HINSTANCE instance, char (&name)[40]);
// The window's list record, or null.
GadgetListRecord* GadgetListRecordOf(HWND window);
