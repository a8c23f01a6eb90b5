#include "x_screen.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

bool xFailed = false;

int RecordError(Display*, XErrorEvent*) {
    xFailed = true;
    return 0;
}

bool NameContains(Display* display, Window window, const std::string& title) {
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return false;
    bool found = std::string(name).find(title) != std::string::npos;
    XFree(name);
    return found;
}

// Depth first over the whole tree, the windows of the frame's size in the order found: the
// OpenGL child window sits under Wine's holder window,
// not under the top-level window it belongs to.
// A window of the frame's size inside the titled window is where the frames are drawn on the
// screen (Wine's client window), not a drawable of the renderer's own: only one elsewhere is.
void Walk(Display* display, Window window, const std::string& title, int width, int height,
          std::vector<Window>& sized, XScreenPlace& titled, bool underTitled) {
    XWindowAttributes attributes;
    xFailed = false;
    if (!XGetWindowAttributes(display, window, &attributes) || xFailed)
        return;
    if (attributes.c_class == InputOutput && attributes.map_state == IsViewable) {
        // Wine draws the frame and caption itself under its virtual desktop: a window of
        // 806x625 has its client area at +3+22, the border being the same on three sides.
        // Managed by the X server the window is the client area alone, 800x600 at +0+0.
        int border = (attributes.width - width) / 2;
        int top = attributes.height - height - border;
        if (!titled.window && border >= 0 && top >= 0 && NameContains(display, window, title)) {
            titled = {window, border, top, window, border, top, window, border, top};
            underTitled = true;
        }
        if (!underTitled && attributes.width == width && attributes.height == height)
            sized.push_back(window);
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return;
    for (unsigned i = 0; i < count; ++i)
        Walk(display, children[i], title, width, height, sized, titled, underTitled);
    if (children)
        XFree(children);
}

// The child of the root window that holds window (window itself at the top); 0 on an error.
Window TopLevel(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    for (;;) {
        xFailed = false;
        if (!XQueryTree(display, window, &root, &parent, &children, &count) || xFailed)
            return 0;
        if (children)
            XFree(children);
        children = nullptr;
        if (!parent || parent == root)
            return window;
        window = parent;
    }
}

// True when a window manager manages window: it puts WM_STATE on each client it manages.
bool Managed(Display* display, Window window) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    xFailed = false;
    bool managed =
        XGetWindowProperty(display, window, XInternAtom(display, "WM_STATE", False), 0, 0, False,
                           AnyPropertyType, &type, &format, &items, &after, &data) == Success &&
        !xFailed && type != None;
    if (data)
        XFree(data);
    return managed;
}

} // namespace

void XScreenInstallErrorHandler() { XSetErrorHandler(RecordError); }

XScreenPlaces XScreenFind(Display* display, const std::string& title, int width, int height) {
    XScreenPlace none = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    XScreenPlace titled = none, sized = none;
    std::vector<Window> candidates;
    Walk(display, DefaultRootWindow(display), title, width, height, candidates, titled, false);
    // A window manager frames the program's window with windows of its own, some of them of
    // the client area's size (openbox's backgrounds behind the client): in the frame of a
    // managed window no window is the renderer's.
    Window frame =
        titled.window && Managed(display, titled.window) ? TopLevel(display, titled.window) : 0;
    for (Window window : candidates)
        if (!frame || TopLevel(display, window) != frame) {
            sized = {window, 0, 0, window, 0, 0, window, 0, 0};
            break;
        }
    XScreenPlaces places = {titled, sized, none, XScreenCompositor(display)};
    if (!places.compositor.empty())
        places.window = titled;
    if (!XScreenFollow(display, places.shown))
        places.shown = none;
    // Composed: the screen changes when the manager paints the root window, not when the
    // program's window changes.
    if (places.shown.window && !places.compositor.empty()) {
        places.shown.watched = places.shown.window;
        places.shown.watchedX = places.shown.x;
        places.shown.watchedY = places.shown.y;
    }
    return places;
}

std::string XScreenCompositor(Display* display) {
    char selection[32];
    std::snprintf(selection, sizeof selection, "_NET_WM_CM_S%d", DefaultScreen(display));
    Window owner = XGetSelectionOwner(display, XInternAtom(display, selection, False));
    if (!owner)
        return "";
    char* name = nullptr;
    xFailed = false;
    if (XFetchName(display, owner, &name) && name && *name && !xFailed) {
        std::string found = name;
        XFree(name);
        return found;
    }
    XClassHint hint = {nullptr, nullptr};
    std::string found = "unnamed";
    if (XGetClassHint(display, owner, &hint) && !xFailed && hint.res_name && *hint.res_name)
        found = hint.res_name;
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return found;
}

bool XScreenFollow(Display* display, XScreenPlace& place) {
    Window root = DefaultRootWindow(display), child;
    int x, y;
    xFailed = false;
    if (!place.anchor ||
        !XTranslateCoordinates(display, place.anchor, root, place.anchorX, place.anchorY, &x, &y,
                               &child) ||
        xFailed)
        return false;
    // Grabbed from the root window: what is on the screen there, whatever drew it. A place
    // watched on the root window (the composed screen) is watched where the frame now is.
    if (place.watched == root) {
        place.watchedX = x;
        place.watchedY = y;
    }
    place.window = root;
    place.x = x;
    place.y = y;
    return true;
}

bool XScreenOuterSize(Display* display, const XScreenPlace& shown, int* width, int* height) {
    XWindowAttributes attributes;
    xFailed = false;
    if (!shown.anchor || !XGetWindowAttributes(display, shown.anchor, &attributes) || xFailed)
        return false;
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

unsigned long XScreenWatch(Display* display, Window window, int* eventBase) {
    int errorBase;
    if (!window || !XDamageQueryExtension(display, eventBase, &errorBase))
        return 0;
    xFailed = false;
    Damage damage = XDamageCreate(display, window, XDamageReportRawRectangles);
    XSync(display, False);
    return xFailed ? 0 : damage;
}

namespace {

// A shared-memory image of width x height attached to the server; null when there is none.
XImage* ShmImage(Display* display, int width, int height, XShmSegmentInfo* info) {
    Screen* screen = DefaultScreenOfDisplay(display);
    XImage* image =
        XShmCreateImage(display, DefaultVisualOfScreen(screen), DefaultDepthOfScreen(screen),
                        ZPixmap, nullptr, info, width, height);
    if (!image)
        return nullptr;
    info->shmid =
        shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
    info->shmaddr = info->shmid < 0 ? nullptr : static_cast<char*>(shmat(info->shmid, 0, 0));
    if (info->shmaddr == reinterpret_cast<char*>(-1))
        info->shmaddr = nullptr;
    image->data = info->shmaddr;
    // Its pages are made and mapped here now, not at the first reads of a watch; the server
    // maps them with grabs before the watch (XScreenGrabber::Touch). A page costs a fault in
    // each process the first time it touches it: some 4,700 a process for the rings of two
    // watched places, which took a seventh of the server's time in a 300-frame watch.
    if (info->shmaddr)
        std::memset(info->shmaddr, 0, static_cast<size_t>(image->bytes_per_line) * height);
    info->readOnly = False;
    xFailed = false;
    bool attached = info->shmaddr && XShmAttach(display, info);
    XSync(display, False);
    // Marked for removal at once: the segment goes away with the last process detaching, also
    // when the checker is killed.
    if (info->shmid >= 0)
        shmctl(info->shmid, IPC_RMID, nullptr);
    if (attached && !xFailed)
        return image;
    if (info->shmaddr)
        shmdt(info->shmaddr);
    image->data = nullptr;
    XDestroyImage(image);
    return nullptr;
}

} // namespace

XScreenGrabber::XScreenGrabber(Display* display, int width, int height, int slots)
    : display_(display), width_(width), height_(height), slots_(slots) {
    if (!XShmQueryExtension(display))
        return;
    for (Slot& slot : slots_) {
        auto* info = new XShmSegmentInfo();
        slot.image = ShmImage(display, width, height, info);
        if (!slot.image) {
            delete info;
            break;
        }
        slot.shm = info;
    }
}

XScreenGrabber::~XScreenGrabber() {
    if (backing_)
        XFreePixmap(display_, backing_);
    for (Slot& slot : slots_) {
        if (!slot.image)
            continue;
        auto* info = static_cast<XShmSegmentInfo*>(slot.shm);
        XShmDetach(display_, info);
        XSync(display_, False);
        shmdt(info->shmaddr);
        slot.image->data = nullptr;
        XDestroyImage(slot.image);
        delete info;
    }
}

bool XScreenGrabber::ShmGrab(Drawable from, const XScreenPlace& place, Slot& slot) {
    xFailed = false;
    return XShmGetImage(display_, from, slot.image, place.x, place.y, AllPlanes) && !xFailed;
}

const uint32_t* XScreenGrabber::Pixels(Slot& slot) {
    const XImage* image = slot.image;
    // The common case on a 24-bit TrueColor visual: rows of 0x00RRGGBB words, end to end.
    if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
        image->bytes_per_line == width_ * 4)
        return reinterpret_cast<const uint32_t*>(image->data);
    slot.own.resize(static_cast<size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            slot.own[static_cast<size_t>(y) * width_ + x] = XGetPixel(slot.image, x, y);
    return slot.own.data();
}

const uint32_t* XScreenGrabber::Grab(const XScreenPlace& place, int index) {
    Slot& slot = slots_[index];
    if (!slot.image)
        return XScreenGrab(display_, place, width_, height_, slot.own) ? slot.own.data() : nullptr;
    Drawable from = place.window == backed_ ? backing_ : place.window;
    if (ShmGrab(from, place, slot))
        return Pixels(slot);
    // The OpenGL renderer's own drawable sits inside a 1x1 holder off the screen, so the server
    // refuses a grab of the window itself; its pixels are in the pixmap that Composite keeps for
    // it, which takes a shared-memory grab like any pixmap. A window that is not redirected has
    // none: XGetImage then.
    if (backing_)
        XFreePixmap(display_, backing_);
    backed_ = backing_ = 0;
    int event, error;
    if (XCompositeQueryExtension(display_, &event, &error)) {
        xFailed = false;
        Pixmap pixmap = XCompositeNameWindowPixmap(display_, place.window);
        XSync(display_, False);
        if (!xFailed) {
            backed_ = place.window;
            backing_ = pixmap;
            if (ShmGrab(backing_, place, slot))
                return Pixels(slot);
        }
    }
    return XScreenGrab(display_, place, width_, height_, slot.own) ? slot.own.data() : nullptr;
}

void XScreenGrabber::Touch(const XScreenPlace& place) {
    // A buffer of the checker's own (no shared memory) gets its pixels through the connection:
    // nothing of the server's to map, and a grab of it would be 1.9 MB sent for nothing.
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].image)
            Grab(place, static_cast<int>(i));
}

bool XScreenGrab(Display* display, const XScreenPlace& place, int width, int height,
                 std::vector<uint32_t>& pixels) {
    xFailed = false;
    XImage* image =
        XGetImage(display, place.window, place.x, place.y, width, height, AllPlanes, ZPixmap);
    if (!image || xFailed) {
        if (image)
            XDestroyImage(image);
        return false;
    }
    pixels.resize(static_cast<size_t>(width) * height);
    if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst) {
        // The common case on a 24-bit TrueColor visual: rows of 0x00RRGGBB words.
        for (int y = 0; y < height; ++y) {
            const uint32_t* row =
                reinterpret_cast<const uint32_t*>(image->data + y * image->bytes_per_line);
            for (int x = 0; x < width; ++x)
                pixels[y * width + x] = row[x] & 0xFFFFFF;
        }
    } else {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels[y * width + x] = XGetPixel(image, x, y) & 0xFFFFFF;
    }
    XDestroyImage(image);
    return true;
}
