// Window message translation: the procedure of every numbered window's class. It gives each
// message to live sizing, then turns it into events for WindowWaitEvent, forwards control
// messages to gadgets and keeps focus and size limits per window; the rest goes to the default
// procedure. Tab and Shift+Tab arrive as accelerator commands and step the focus.
#pragma once
#include <windows.h>

#include <cstdint>

// Returned by a step that did not handle the message: the next step or the default procedure
// runs.
constexpr LRESULT NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);
// Returned by a window hook to let the normal translation go on.
constexpr LRESULT PASS_ON = static_cast<LRESULT>(0xE0E0E0E1u);

// The registered procedure of every "WindowClass_<number>" class.
LRESULT CALLBACK WindowClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Result, or NOT_HANDLED.
LRESULT WindowTranslate(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Hands a control's message to the gadget it belongs to: result, or NOT_HANDLED when the
// control is no gadget of this runtime or its gadget has no message callback.
LRESULT GadgetForward(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);

// Moves the keyboard focus to the next (or, backward, the previous) tab stop of the active
// window, wrapping around at either end.
void FocusStep(int backward);
