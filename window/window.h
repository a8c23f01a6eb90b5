// Numbered top-level windows. Each window gets a class of its own ("WindowClass_<number>") whose
// procedure turns messages into events, a Tab / Shift+Tab accelerator table, and a property
// that leads from the native handle back to the number.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/registry.h"
#include "window/events.h"

// Bits of the flag word of WindowOpen that are not Win32 styles. The rest of the word is a
// Win32 style (WS_...); WS_MAXIMIZE and WS_MINIMIZE choose how the window is first shown.
constexpr uint32_t WINDOW_SCREEN_CENTERED = 0x00000001;
constexpr uint32_t WINDOW_PARENT_CENTERED = 0x00000002;
constexpr uint32_t WINDOW_TOOL = 0x00000004;
constexpr uint32_t WINDOW_NO_GADGET_LIST = 0x00000008;
constexpr uint32_t WINDOW_INVISIBLE = 0x10000000;

// A position value that asks for system placement.
constexpr int32_t DEFAULT_POSITION = -65535;

// Accelerator commands of every window's table: Tab and Shift+Tab.
constexpr WORD COMMAND_FOCUS_NEXT = 64001;
constexpr WORD COMMAND_FOCUS_PREVIOUS = 64002;

// Window records are added to the registry this many slots at a time.
constexpr int32_t WINDOW_REGISTRY_GROWTH = 16;

typedef LRESULT (*WindowEraseCallback)(HDC deviceContext, HWND window);

// Start-up: window registry, event state, class icon and cursor, sizing state.
void WindowsInit();

// For a fixed number the native handle, for DYNAMIC_NUMBER the new window's number; 0 when
// the window could not be made (the number is free again then).
ObjectNumber WindowOpen(ObjectNumber number, int x, int y, int clientWidth, int clientHeight,
                        const char* title, uint32_t flags);
ObjectNumber WindowCreate(ObjectNumber number, int x, int y, int clientWidth, int clientHeight,
                          const char* title, uint32_t flags, HWND parent);

// The native handle, or null when there is no such window.
HWND WindowNativeHandle(ObjectNumber number);

// No effect when there is no such window.
void WindowClose(ObjectNumber number);

// Shutdown: closes every window and frees a data event's block still held by the event state.
// The layer's records stay, so a window can be opened again until WindowsShutdown.
void WindowCloseAll();
// Shutdown, after WindowCloseAll: forgets the window registry, the event queue and state and
// the sizing state, so that nothing points into a destroyed private heap; a new start-up makes
// them again.
void WindowsShutdown();

struct WindowRecord {
    HWND nativeHandle; // non-zero while the window exists
    ACCEL* acceleratorEntries;
    HACCEL acceleratorTable;
    WindowHookProc windowHook;
    int32_t acceleratorCount;
    HBRUSH backgroundBrush;
    HWND mdiClient;
    WindowEraseCallback eraseCallback;
    uint16_t minimumWidth; // tracking-size limits, 0 = no limit
    uint16_t minimumHeight;
    uint16_t maximumWidth;
    uint16_t maximumHeight;
    int32_t sizedState; // 1 while minimized or maximized
    int32_t reserved;   // unused; the record keeps the 48 bytes of its registry slot
};

#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(WindowRecord, acceleratorCount) == 16, "window record field order");
static_assert(offsetof(WindowRecord, minimumWidth) == 32, "window record field order");
static_assert(offsetof(WindowRecord, sizedState) == 40, "window record field order");
static_assert(sizeof(WindowRecord) == 48, "window record of 48 bytes");
#endif

// The window records, for the translation and accelerator steps.
ObjectRegistry* WindowRegistry();
// The live record of a number, or null.
WindowRecord* WindowRecordLookup(ObjectNumber number);
// The number a native window carries in QW_WindowID, or -1 when it carries none.
ObjectNumber WindowNumberOf(HWND window);
