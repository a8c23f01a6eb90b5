// Finding the screen of a running onebox on an X display and grabbing what it shows.
//
// What a person sees is the client area of the program's top-level window as it stands on the
// X screen: the top-level's X window is a child of the Wine desktop's and carries the
// program's title as WM_NAME, and a grab of the root window over its client area returns what
// is on the screen there, whatever drew it.
//
// Under Wine's OpenGL renderer the frames do not get there (Wine 8.0): the screen's child window
// has an 800x600 X window of its own, redirected and kept inside a 1x1 holder window off the
// visible desktop, and XGetImage on that window returns exactly the presented pixels while the
// screen shows the child control's background. Under the Vulkan renderer there is no such
// window and the frame is drawn into the top-level's client area, where the screen shows it.
//
// Under a compositing manager (the owner of the _NET_WM_CM_S<screen> selection) every top-level
// window is redirected: its pixels go to a pixmap of its own, and the manager paints the screen
// from those pixmaps. A grab of the window then returns what the layer delivered to the window,
// and only a grab of the root window returns what the manager put on the screen, the picture a
// person sees. The manager puts each repaint there with one request (into the root window, or
// into its overlay window, which is part of what the root shows), and DAMAGE on the root window
// reports it: the same rule as for a window then tells a whole composed picture from one still
// landing (gate.h). So under a compositing manager the screen is watched on the root window and
// judged there, and the window's own pixels are watched and judged beside it.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

struct XScreenPlace {
    Window window;          // 0 when nothing was found
    int x, y;               // where the 800x600 frame starts inside the window
    Window watched;         // the window whose damage says that the frame changed
    int watchedX, watchedY; // where the frame starts inside that window
    Window anchor;          // the window the frame moves with: the program's own
    int anchorX, anchorY;   // where the frame starts inside that window
};

struct XScreenPlaces {
    XScreenPlace shown;     // the top-level's client area on the root window: the screen
    XScreenPlace presented; // the renderer's own 800x600 drawable, where it keeps one
    // Under a compositing manager: the top-level's own pixels, which the manager composes onto
    // the screen (shown is then watched on the root window); window 0 without one.
    XScreenPlace window;
    std::string compositor; // the manager's name ("unnamed" when it gives none); empty: none
};

// Installs an error handler so that a window vanishing under a request is a failed grab, not
// the end of the checker.
void XScreenInstallErrorHandler();

// Where the screen is shown (the client area of the top-level window whose WM_NAME contains
// the title, in root coordinates), where the renderer presents (an 800x600 X window anywhere
// on the display other than that one, if there is one) and, under a compositing manager, the
// window's own pixels.
XScreenPlaces XScreenFind(Display* display, const std::string& title, int width, int height);

// The compositing manager's name, from its selection owner's WM_NAME or WM_CLASS ("unnamed"
// when it gives none); empty when no compositing manager runs on the display's screen.
std::string XScreenCompositor(Display* display);

// The place again where its anchor window stands now (it may have been moved); false when the
// window went away.
bool XScreenFollow(Display* display, XScreenPlace& place);

// The outer size of the shown place's top-level window, its frame and caption included; false
// when the window went away.
bool XScreenOuterSize(Display* display, const XScreenPlace& shown, int* width, int* height);

// Reads width x height pixels (0x??RRGGBB, rows top to bottom) from the place with one
// XGetImage; false when the window went away or the grab was refused.
bool XScreenGrab(Display* display, const XScreenPlace& place, int width, int height,
                 std::vector<uint32_t>& pixels);

// The same, many times a second, into one of `slots` buffers that stay valid until the next
// grab into the same slot, so that the last few frames are kept without copying them. Through
// MIT-SHM where the server offers it: the server writes the pixels straight into shared memory,
// and on the common 24-bit TrueColor visual they are read there as they are, without passing
// 1.9 MB through the connection or copying it once more for every frame. The grab is one
// request, whose serial NextRequest gives just before the call.
class XScreenGrabber {
  public:
    XScreenGrabber(Display* display, int width, int height, int slots);
    ~XScreenGrabber();
    XScreenGrabber(const XScreenGrabber&) = delete;
    XScreenGrabber& operator=(const XScreenGrabber&) = delete;

    // The place's pixels in buffer `slot`: width x height words 0x??RRGGBB, rows top to bottom
    // (the top byte as the server leaves it); null when the window went away or the grab was
    // refused.
    const uint32_t* Grab(const XScreenPlace& place, int slot);
    // Grabs the place once into every shared-memory buffer, before a watch: a page of one
    // costs the server a fault the first time it writes there, and the first frames of a watch
    // would otherwise pay for all of them.
    void Touch(const XScreenPlace& place);

  private:
    struct Slot {
        XImage* image = nullptr;   // a shared-memory image, or none
        void* shm = nullptr;       // its XShmSegmentInfo, kept out of this header
        std::vector<uint32_t> own; // the pixels where they cannot be read in place
    };
    bool ShmGrab(Drawable from, const XScreenPlace& place, Slot& slot);
    const uint32_t* Pixels(Slot& slot);

    Display* display_;
    int width_, height_;
    std::vector<Slot> slots_;
    Window backed_ = 0;  // the window whose composite pixmap is held
    Pixmap backing_ = 0; // that pixmap
};

// Starts reporting every change of a window's pixels as DamageNotify events (each one a
// rectangle); 0 when the server has no DAMAGE extension. *eventBase receives the extension's
// event base.
unsigned long XScreenWatch(Display* display, Window window, int* eventBase);
