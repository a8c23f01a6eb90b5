// Finding the screen of a running onebox on an X display and grabbing what it shows.
//
// Under Wine's OpenGL renderer the screen's child window has an 800x600 X window of its own
// (kept inside a 1x1 holder window, off the visible desktop), and XGetImage on it returns
// exactly the presented pixels. Under the Vulkan renderer there is no such window: the frame
// is drawn into the client area of the top-level window's X window, which is a child of the
// Wine desktop's X window and carries the program's title as WM_NAME.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

struct XScreenPlace {
    Window window; // 0 when nothing was found
    int x, y;      // where the 800x600 frame starts inside the window
};

// Installs an error handler so that a window vanishing under a request is a failed grab, not
// the end of the checker.
void XScreenInstallErrorHandler();

// The screen's place: an 800x600 X window anywhere on the display if there is one, otherwise
// the client area of the top-level window whose WM_NAME contains the title.
XScreenPlace XScreenFind(Display* display, const std::string& title, int width, int height);

// Reads width x height pixels (0x??RRGGBB, rows top to bottom) from the place; false when the
// window went away or the grab was refused.
bool XScreenGrab(Display* display, const XScreenPlace& place, int width, int height,
                 std::vector<uint32_t>& pixels);
