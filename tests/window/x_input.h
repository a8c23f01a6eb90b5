// Real X input from inside a Win32 test under Wine. Wine starts a Unix program when given its
// Unix path, so the helpers run xdotool through /bin/sh on the runner's X display. While the
// command runs, messages keep being dispatched through WindowWaitEvent so that the input is
// handled as it arrives; the codes the waits return are handed back to the caller.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Runs a shell command on the X side. Returns its exit code, or -1 when it could not be started
// or did not finish within the timeout. Every non-zero code returned by the waits that ran
// meanwhile is appended to codes, when given.
int XRun(const std::string& shellCommand, std::vector<int32_t>* codes = nullptr,
         DWORD timeoutMilliseconds = 20000);

// Gives X input focus to the X window behind a Win32 top-level window (by default the
// foreground one). Under the virtual desktop each top-level window has an X window of its own
// inside the desktop's; keys go to whichever has X focus. Focusing the desktop's own X window
// instead makes Wine take the foreground away from the application (its focus-out handling
// activates the desktop), and keys then reach no application window at all.
bool XFocus(HWND window = nullptr);

// Makes sure that real keys reach the application: focuses the window's (by default the
// foreground window's) X window, sends Shift and checks that a key message arrived; if not,
// clicks the window's caption and tries again. After a focused window is destroyed Wine can
// go on routing keys to its desktop even though the application has the foreground, and there
// Alt+F4 would log the whole session off.
bool XKeyboardReaches(HWND window = nullptr);

// Checks that keys reach the foreground window (above) and sends keys as real input (xdotool key
// syntax: "Tab", "shift+Tab", "alt+F4", several separated by spaces).
bool XKeys(const std::string& keys, std::vector<int32_t>* codes = nullptr);

// Clicks the left button at desktop coordinates.
bool XClick(int x, int y, std::vector<int32_t>* codes = nullptr);

// Runs WindowWaitEvent(1) for about the given time; the non-zero codes, in order.
std::vector<int32_t> XPump(DWORD milliseconds);
