#include "box_probe.h"

#include <cstring>

namespace {

bool Black(const ProbeImage& image, int x, int y) {
    const uint8_t* p =
        image.bits + static_cast<intptr_t>(y) * image.pitch + x * image.bytesPerPixel;
    uint32_t value;
    if (image.bytesPerPixel == 4) {
        std::memcpy(&value, p, 4);
    } else {
        uint16_t half;
        std::memcpy(&half, p, 2);
        value = half;
    }
    return (value & image.colourMask) == 0;
}

bool RowHasBlack(const ProbeImage& image, int y, int x0, int x1) {
    for (int x = x0; x <= x1; x++)
        if (Black(image, x, y))
            return true;
    return false;
}

bool ColumnHasBlack(const ProbeImage& image, int x, int y0, int y1) {
    for (int y = y0; y <= y1; y++)
        if (Black(image, x, y))
            return true;
    return false;
}

struct Bounds {
    int x0, y0, x1, y1; // inclusive
};

bool Inside(const Bounds& b, int x, int y) {
    return x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1;
}

// Grows a rectangle from one black pixel while a black pixel lies just outside one of its sides,
// within the side's span.
Bounds Grow(const ProbeImage& image, int x, int y) {
    Bounds b = {x, y, x, y};
    for (bool grew = true; grew;) {
        grew = false;
        while (b.x0 > 0 && ColumnHasBlack(image, b.x0 - 1, b.y0, b.y1))
            b.x0--, grew = true;
        while (b.x1 + 1 < image.width && ColumnHasBlack(image, b.x1 + 1, b.y0, b.y1))
            b.x1++, grew = true;
        while (b.y0 > 0 && RowHasBlack(image, b.y0 - 1, b.x0, b.x1))
            b.y0--, grew = true;
        while (b.y1 + 1 < image.height && RowHasBlack(image, b.y1 + 1, b.x0, b.x1))
            b.y1++, grew = true;
    }
    return b;
}

} // namespace

int ProbeBoxes(const ProbeImage& image, PresentBox* boxes, int capacity) {
    // The regions found so far, to skip the probes that land in them; beyond this many the
    // buffer is no frame of one box, and the rest only count.
    const int TRACKED = 64;
    Bounds found[TRACKED];
    int count = 0;
    for (int y = 0; y < image.height; y += PROBE_STEP)
        for (int x = 0; x < image.width; x += PROBE_STEP) {
            if (!Black(image, x, y))
                continue;
            bool known = false;
            for (int i = 0; i < count && i < TRACKED && !known; i++)
                known = Inside(found[i], x, y);
            if (known)
                continue;
            Bounds b = Grow(image, x, y);
            if (count < TRACKED)
                found[count] = b;
            if (count < capacity)
                boxes[count] = PresentBox{static_cast<int16_t>(b.x0), static_cast<int16_t>(b.y0),
                                          static_cast<int16_t>(b.x1 - b.x0 + 1),
                                          static_cast<int16_t>(b.y1 - b.y0 + 1)};
            count++;
        }
    return count;
}
