// Live sizing: when full-window dragging is on, sizing a window by its border or from the
// system menu runs one ordinary message at a time instead of inside the system's modal sizing
// loop, so the frame loop keeps turning while the user sizes.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Made by WindowsInit; forgotten by WindowsShutdown (the record goes with the private heap).
void SizingStateInit();
void SizingStateShutdown();

// The first step of the translation of every message of every numbered window: the message
// result, or NOT_HANDLED when the message is left to the following steps.
LRESULT LiveSizing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct SizingState {
    int32_t active;
    int32_t restoreCursor; // 1 when started from the keyboard, until the user moves the mouse
    POINT savedCursor;
    RECT rectangle; // screen coordinates
    int32_t edge;   // WMSZ_ value, 0 = not chosen yet
    MINMAXINFO limits;
    // The window being sized: keys reach whichever numbered window has the focus, and only
    // the sized one may be moved.
    HWND window;
    // Where this code last put the cursor: the mouse move that the platform reports for it
    // is not the user's.
    POINT placedCursor;
    int32_t placedValid;
};

#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(SizingState, limits) == 36, "sizing state field order");
static_assert(sizeof(SizingState) == 92, "sizing state of 92 bytes");
#endif

SizingState* SizingStateGet();
