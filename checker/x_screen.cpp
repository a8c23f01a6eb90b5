#include "x_screen.h"

#include <X11/Xutil.h>

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

// Depth first over the whole tree: the OpenGL child window sits under Wine's holder window,
// not under the top-level window it belongs to.
void Walk(Display* display, Window window, const std::string& title, int width, int height,
          XScreenPlace& sized, XScreenPlace& titled) {
    XWindowAttributes attributes;
    xFailed = false;
    if (!XGetWindowAttributes(display, window, &attributes) || xFailed)
        return;
    if (attributes.c_class == InputOutput && attributes.map_state == IsViewable) {
        if (!sized.window && attributes.width == width && attributes.height == height)
            sized = {window, 0, 0};
        // Wine draws the frame and caption itself under its virtual desktop: a window of
        // 806x625 has its client area at +3+22, the border being the same on three sides.
        int border = (attributes.width - width) / 2;
        int top = attributes.height - height - border;
        if (!titled.window && border >= 0 && top >= 0 && NameContains(display, window, title))
            titled = {window, border, top};
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return;
    for (unsigned i = 0; i < count; ++i)
        Walk(display, children[i], title, width, height, sized, titled);
    if (children)
        XFree(children);
}

} // namespace

void XScreenInstallErrorHandler() { XSetErrorHandler(RecordError); }

XScreenPlaces XScreenFind(Display* display, const std::string& title, int width, int height) {
    XScreenPlace sized = {0, 0, 0}, titled = {0, 0, 0};
    Window root = DefaultRootWindow(display);
    Walk(display, root, title, width, height, sized, titled);
    XScreenPlaces places = {{0, 0, 0}, sized};
    Window child;
    int x, y;
    xFailed = false;
    if (titled.window &&
        XTranslateCoordinates(display, titled.window, root, titled.x, titled.y, &x, &y, &child) &&
        !xFailed)
        places.shown = {root, x, y};
    return places;
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
