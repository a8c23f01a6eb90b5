#include "frame.h"

#include <cstdio>

namespace {

const uint32_t RGB_MASK = 0xFFFFFF;

// Scratch kept between calls: which pixels a region has taken, and the fill's stack. Only the
// pixels of black regions are ever marked, and they are unmarked again before returning, so a
// frame of grey and one box costs no clearing of the whole map.
struct Scratch {
    std::vector<uint8_t> seen;
    std::vector<int> stack;
    std::vector<int> marked;
};

// Fills one region from (x, y) with an explicit stack (a whole black frame would overflow a
// recursive fill) and marks its pixels as seen.
FrameBox FillRegion(const uint32_t* pixels, int width, int height, int x, int y, Scratch& s) {
    FrameBox box = {x, y, 1, 1, 0};
    int right = x, bottom = y;
    s.stack.clear();
    s.stack.push_back(y * width + x);
    s.seen[y * width + x] = 1;
    s.marked.push_back(y * width + x);
    while (!s.stack.empty()) {
        int at = s.stack.back();
        s.stack.pop_back();
        int px = at % width, py = at / width;
        ++box.pixels;
        if (px < box.x)
            box.x = px;
        if (px > right)
            right = px;
        if (py < box.y)
            box.y = py;
        if (py > bottom)
            bottom = py;
        const int dx[4] = {1, -1, 0, 0};
        const int dy[4] = {0, 0, 1, -1};
        for (int i = 0; i < 4; ++i) {
            int nx = px + dx[i], ny = py + dy[i];
            if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                continue;
            int n = ny * width + nx;
            if (!s.seen[n] && (pixels[n] & RGB_MASK) == 0) {
                s.seen[n] = 1;
                s.marked.push_back(n);
                s.stack.push_back(n);
            }
        }
    }
    box.width = right - box.x + 1;
    box.height = bottom - box.y + 1;
    return box;
}

// A solid box of BOX_SIZE, and a box whose corner is where the program may put one.
bool IsSquare(const FrameBox& box) {
    return box.width == BOX_SIZE && box.height == BOX_SIZE && box.pixels == BOX_SIZE * BOX_SIZE;
}

bool InRange(const FrameBox& box) {
    return box.x >= BOX_MIN && box.x <= BOX_MAX_X && box.y >= BOX_MIN && box.y <= BOX_MAX_Y;
}

} // namespace

FrameReport FrameAnalyse(const uint32_t* pixels, int width, int height) {
    thread_local Scratch scratch;
    FrameReport report = {{}, 0, 0, -1, -1, 0};
    size_t size = static_cast<size_t>(width) * height;
    if (scratch.seen.size() < size)
        scratch.seen.assign(size, 0);
    scratch.marked.clear();
    for (size_t at = 0; at < size; ++at) {
        // Nearly every pixel is grey: eight at a time while they are, in a loop the compiler
        // turns into vector instructions.
        while (at + 8 <= size) {
            uint32_t differ = 0;
            for (size_t k = 0; k < 8; ++k)
                differ |= (pixels[at + k] ^ GREY) & RGB_MASK;
            if (differ)
                break;
            at += 8;
        }
        if (at >= size)
            break;
        uint32_t colour = pixels[at] & RGB_MASK;
        if (colour == GREY || scratch.seen[at])
            continue;
        int x = static_cast<int>(at % width), y = static_cast<int>(at / width);
        if (colour == 0) {
            report.boxes.push_back(FillRegion(pixels, width, height, x, y, scratch));
            continue;
        }
        ++report.otherPixels;
        if (colour == CHILD_BACKGROUND) {
            ++report.backgroundPixels;
            continue;
        }
        if (report.otherX < 0) {
            report.otherX = x;
            report.otherY = y;
            report.otherColour = colour;
        }
    }
    for (int at : scratch.marked)
        scratch.seen[at] = 0;
    return report;
}

std::vector<uint32_t> FrameCopy(const uint32_t* pixels) {
    const size_t count = static_cast<size_t>(PICTURE_WIDTH) * PICTURE_HEIGHT;
    return pixels ? std::vector<uint32_t>(pixels, pixels + count) : std::vector<uint32_t>();
}

bool FrameShowsGrey(const uint32_t* pixels) {
    const size_t count = static_cast<size_t>(PICTURE_WIDTH) * PICTURE_HEIGHT;
    for (size_t i = 0; i < count; ++i)
        if ((pixels[i] & RGB_MASK) == GREY)
            return true;
    return false;
}

bool FrameIsGood(const FrameReport& report) {
    if (report.otherPixels != 0 || report.boxes.size() != 1)
        return false;
    return IsSquare(report.boxes[0]) && InRange(report.boxes[0]);
}

bool FrameSame(const FrameReport& a, const FrameReport& b) {
    if (a.boxes.size() != b.boxes.size() || a.otherPixels != b.otherPixels ||
        a.backgroundPixels != b.backgroundPixels || a.otherX != b.otherX || a.otherY != b.otherY ||
        a.otherColour != b.otherColour)
        return false;
    for (size_t i = 0; i < a.boxes.size(); ++i) {
        const FrameBox &p = a.boxes[i], &q = b.boxes[i];
        if (p.x != q.x || p.y != q.y || p.width != q.width || p.height != q.height ||
            p.pixels != q.pixels)
            return false;
    }
    return true;
}

bool FrameIsTorn(const FrameReport& report) {
    if (report.otherPixels || report.boxes.empty())
        return false;
    bool piece = false;
    for (const FrameBox& box : report.boxes) {
        if (box.width > BOX_SIZE || box.height > BOX_SIZE)
            return false;
        piece = piece || box.width < BOX_SIZE || box.height < BOX_SIZE;
    }
    return piece;
}

std::string FrameDescribe(const FrameReport& report) {
    char text[160];
    size_t count = report.boxes.size();
    std::snprintf(text, sizeof text, "%zu box%s", count, count == 1 ? "" : "es");
    std::string line = text;
    // A handful of places is enough for a person; a frame that never got cleared has hundreds.
    const size_t shown = 4;
    for (size_t i = 0; i < count && i < shown; ++i) {
        const FrameBox& box = report.boxes[i];
        line += i == 0 ? " " : (i + 1 == count ? " and " : ", ");
        bool square = IsSquare(box);
        if (!square) {
            std::snprintf(text, sizeof text, "of %dx%d (%d black pixels) ", box.width, box.height,
                          box.pixels);
            line += text;
        }
        std::snprintf(text, sizeof text, i == 0 || !square ? "at (%d,%d)" : "(%d,%d)", box.x,
                      box.y);
        line += text;
    }
    if (count > shown) {
        std::snprintf(text, sizeof text, " and %zu more", count - shown);
        line += text;
    }
    if (count == 1 && !InRange(report.boxes[0])) {
        std::snprintf(text, sizeof text, ", outside %d..%d x %d..%d", BOX_MIN, BOX_MAX_X, BOX_MIN,
                      BOX_MAX_Y);
        line += text;
    }
    if (FrameIsTorn(report))
        line += " (a torn frame: rows of different frames)";
    if (report.backgroundPixels) {
        std::snprintf(text, sizeof text,
                      "; the child window's background 0x%06x over %d pixel%s (a flash)",
                      static_cast<unsigned>(CHILD_BACKGROUND), report.backgroundPixels,
                      report.backgroundPixels == 1 ? "" : "s");
        line += text;
    }
    int others = report.otherPixels - report.backgroundPixels;
    if (others) {
        std::snprintf(text, sizeof text,
                      "; %d pixel%s neither grey nor black, the first 0x%06x at (%d,%d)", others,
                      others == 1 ? "" : "s", static_cast<unsigned>(report.otherColour),
                      report.otherX, report.otherY);
        line += text;
    }
    return line;
}
