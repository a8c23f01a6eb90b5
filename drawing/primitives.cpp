// Drawing primitives over an output's device context, and the direct pixel writes of a screen
// output. Every device-context operation runs EnsureDeviceContext first: a screen output that
// handed out its pixel memory has no device context until it takes one back.
#include "drawing/primitives.h"

#include <cmath>
#include <cstring>

#include "image/image.h"

namespace {

// How SetPixelColorAt turns a colour 0x00BBGGRR into a pixel of each format the screen records,
// and stores it at its place in little-endian pixel memory.
void Store8(uint8_t* at, Color c) { *at = static_cast<uint8_t>(c & 0xFF); }
void Store15(uint8_t* at, Color c) {
    *reinterpret_cast<uint16_t*>(at) = static_cast<uint16_t>(
        ((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3));
}
void Store16(uint8_t* at, Color c) {
    *reinterpret_cast<uint16_t*>(at) = static_cast<uint16_t>(
        ((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3));
}
void Store32(uint8_t* at, Color c) {
    *reinterpret_cast<uint32_t*>(at) =
        0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

struct PixelFormatEntry {
    int32_t code;
    int32_t bytes; // size of one pixel in memory
    void (*store)(uint8_t* at, Color);
    uint32_t unusedBits; // bits of a pixel that are not part of its colour
};

const PixelFormatEntry PIXEL_FORMATS[] = {
    {PIXEL_FORMAT_8, 1, Store8, 0},            // low byte of the colour
    {PIXEL_FORMAT_15, 2, Store15, 0x8000},     // X1R5G5B5, top bit 0
    {PIXEL_FORMAT_16, 2, Store16, 0},          // R5G6B5
    {PIXEL_FORMAT_32, 4, Store32, 0xFF000000}, // X8R8G8B8, the unused byte 255
};

const PixelFormatEntry* FindPixelFormat(int32_t code) {
    for (const PixelFormatEntry& entry : PIXEL_FORMATS) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// Gives up the device context of a screen output and takes its pixel memory.
void TakePixels(DrawingOutput* output) {
    if (output->accessState == ACCESS_DEVICE_CONTEXT) {
        output->pixels = output->acquirePixels(output, &output->pitch);
        output->accessState = ACCESS_PIXELS;
    }
}

// Wine's flood fill compares stored pixel values, unused bits included, with the colour as GDI
// would store it, unused bits clear; but Direct3D's Clear and the direct writes here set them, so
// a fill would stop at every such pixel (or, in border mode, run through a border written that
// way). Clearing those bits of the whole target first makes equal colours compare equal; they
// are never shown.
void ClearUnusedBits(DrawingOutput* output) {
    const PixelFormatEntry* format = FindPixelFormat(output->pixelFormat);
    if (output->kind != OUTPUT_KIND_SCREEN || !format || !format->unusedBits) {
        return;
    }
    TakePixels(output);
    for (int32_t y = 0; output->pixels && y < output->height; ++y) {
        uint8_t* row =
            static_cast<uint8_t*>(output->pixels) + static_cast<intptr_t>(output->pitch) * y;
        for (int32_t x = 0; x < output->width; ++x) {
            if (format->bytes == 4) {
                reinterpret_cast<uint32_t*>(row)[x] &= ~format->unusedBits;
            } else {
                reinterpret_cast<uint16_t*>(row)[x] &= static_cast<uint16_t>(~format->unusedBits);
            }
        }
    }
    EnsureDeviceContext(output);
}

// Replaces an owned pen or brush by a new one once the new one exists, so that a failed
// creation leaves the previous object in use.
template <typename Handle> void ReplaceSelected(HDC dc, Handle made, Handle* kept) {
    if (!made) {
        return;
    }
    SelectObject(dc, made);
    if (*kept) {
        DeleteObject(*kept);
    }
    *kept = made;
}

int32_t TextLength(const char* text) { return text ? static_cast<int32_t>(std::strlen(text)) : 0; }

SIZE TextExtent(DrawingOutput* output, const char* text) {
    SIZE size = {0, 0};
    EnsureDeviceContext(output);
    GetTextExtentPoint32A(output->dc, text, TextLength(text), &size);
    return size;
}

} // namespace

void ApplyBackgroundColor(DrawingOutput* output, Color color) {
    EnsureDeviceContext(output);
    SetBkColor(output->dc, color);
}

void ApplyFrontColor(DrawingOutput* output, Color color) {
    EnsureDeviceContext(output);
    // In outline mode the null brush stays selected; the front brush keeps its colour until the
    // mode is left, when SetDrawingMode makes it again.
    if (!(output->mode & MODE_OUTLINE)) {
        ReplaceSelected(output->dc, CreateSolidBrush(color), &output->brush);
    }
    ReplaceSelected(output->dc, CreatePen(PS_SOLID, 0, color), &output->pen);
    SetTextColor(output->dc, color);
}

void SetDrawingMode(DrawingOutput* output, int32_t mode) {
    EnsureDeviceContext(output);
    output->mode = mode;
    SetROP2(output->dc, (mode & MODE_INVERT) ? R2_NOT : R2_COPYPEN);
    SelectObject(output->dc,
                 (mode & MODE_OUTLINE) ? GetStockObject(NULL_BRUSH) : HGDIOBJ(output->brush));
    SetBkMode(output->dc, (mode & MODE_TRANSPARENT_TEXT) ? TRANSPARENT : OPAQUE);
    output->operations.applyFrontColor(output, output->frontColor);
}

void DrawRectangle(DrawingOutput* output, int32_t x, int32_t y, int32_t width, int32_t height) {
    EnsureDeviceContext(output);
    // Rectangle leaves out the right and bottom edges, so a 1x1 rectangle would draw nothing;
    // a rectangle of one pixel either way is that pixel.
    if ((width == 1 || width == -1) && (height == 1 || height == -1)) {
        SetPixelV(output->dc, width == 1 ? x : x - 1, height == 1 ? y : y - 1, output->frontColor);
        return;
    }
    Rectangle(output->dc, x, y, x + width, y + height);
}

void DrawRoundedRectangle(DrawingOutput* output, int32_t x, int32_t y, int32_t width,
                          int32_t height, int32_t radiusX, int32_t radiusY) {
    EnsureDeviceContext(output);
    RoundRect(output->dc, x, y, x + width, y + height, 2 * radiusX, 2 * radiusY);
}

void DrawCircleShape(DrawingOutput* output, int32_t x, int32_t y, int32_t radius) {
    EnsureDeviceContext(output);
    // A circle of radius 1 is its centre pixel. Rectangle(x, y, x + 1, y + 1) would be that
    // pixel's outline, which Wine's GDI draws as nothing at all, so set it the way a one-pixel
    // rectangle is set.
    if (radius == 1) {
        SetPixelV(output->dc, x, y, output->frontColor);
        return;
    }
    Ellipse(output->dc, x - radius, y - radius, x + radius + 1, y + radius + 1);
}

void DrawEllipseShape(DrawingOutput* output, int32_t x, int32_t y, int32_t radiusX,
                      int32_t radiusY) {
    EnsureDeviceContext(output);
    Ellipse(output->dc, x - radiusX, y - radiusY, x + radiusX + 1, y + radiusY + 1);
}

void DrawLineSegment(DrawingOutput* output, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    EnsureDeviceContext(output);
    MoveToEx(output->dc, x1, y1, nullptr);
    LineTo(output->dc, x2, y2);
    // LineTo stops short of its end point.
    SetPixelV(output->dc, x2, y2, output->frontColor);
}

void FloodFillAt(DrawingOutput* output, int32_t x, int32_t y, Color border) {
    EnsureDeviceContext(output);
    ClearUnusedBits(output);
    // The null brush of outline mode would fill nothing: leaving the mode for this call selects
    // a brush of the front colour.
    const int32_t outlineMode = (output->mode & MODE_OUTLINE) ? output->mode : 0;
    if (outlineMode) {
        SetDrawingMode(output, outlineMode & ~MODE_OUTLINE);
    }
    if (border == COLOR_NONE) {
        ExtFloodFill(output->dc, x, y, GetPixel(output->dc, x, y), FLOODFILLSURFACE);
    } else {
        ExtFloodFill(output->dc, x, y, border, FLOODFILLBORDER);
    }
    if (outlineMode) {
        SetDrawingMode(output, outlineMode);
    }
}

void SetPixelAt(DrawingOutput* output, int32_t x, int32_t y) {
    EnsureDeviceContext(output);
    SetPixelV(output->dc, x, y, output->frontColor);
}

void SetPixelColorAt(DrawingOutput* output, int32_t x, int32_t y, Color color) {
    if (output->kind != OUTPUT_KIND_SCREEN) {
        SetPixelV(output->dc, x, y, color);
        return;
    }
    const PixelFormatEntry* format = FindPixelFormat(output->pixelFormat);
    if (!format) {
        EnsureDeviceContext(output);
        SetPixelV(output->dc, x, y, color);
        return;
    }
    // GDI would clip these; the locked memory has no such guard.
    if (x < 0 || y < 0 || x >= output->width || y >= output->height) {
        return;
    }
    TakePixels(output);
    if (!output->pixels) {
        return; // the lock failed: there is nothing to write into
    }
    format->store(static_cast<uint8_t*>(output->pixels) + static_cast<intptr_t>(output->pitch) * y +
                      format->bytes * x,
                  color);
}

Color GetPixelAt(DrawingOutput* output, int32_t x, int32_t y) {
    EnsureDeviceContext(output);
    return GetPixel(output->dc, x, y);
}

void* PixelBufferAddress(DrawingOutput* output) {
    if (output->kind != OUTPUT_KIND_SCREEN) {
        return nullptr;
    }
    TakePixels(output);
    return output->pixels;
}

int32_t PixelBufferPitch(DrawingOutput* output) {
    return output->kind == OUTPUT_KIND_SCREEN ? output->pitch : 0;
}

int32_t PixelBufferFormat(DrawingOutput* output) {
    return output->kind == OUTPUT_KIND_SCREEN ? output->pixelFormat : 0;
}

void SelectTextFont(DrawingOutput* output, HFONT font) {
    EnsureDeviceContext(output);
    if (font == TEXT_FONT_SYSTEM) {
        font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    }
    SelectObject(output->dc, font);
    output->font = font;
    output->italicOverhang = MeasureItalicOverhang(font);
    // The cached rotated font is a copy of the previous font.
    if (output->rotatedFont) {
        DeleteObject(output->rotatedFont);
        output->rotatedFont = nullptr;
    }
}

int32_t MeasureItalicOverhang(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) {
        return 0;
    }
    int32_t overhang = 0;
    HBITMAP bitmap = nullptr;
    SelectObject(dc, font);
    TEXTMETRICA metrics;
    SIZE cell = {0, 0};
    if (GetTextMetricsA(dc, &metrics) && metrics.tmItalic &&
        GetTextExtentPoint32A(dc, "H", 1, &cell)) {
        // The extent is the upright cell; draw the letter into a cell twice as large and find
        // the rightmost lit column of its upper half, where the slant reaches furthest.
        const int32_t w = 2 * cell.cx, h = 2 * cell.cy;
        bitmap = CreateCompatibleBitmap(dc, w, h); // monochrome, like the context's own bitmap
        if (bitmap) {
            SelectObject(dc, bitmap);
            SetBkMode(dc, OPAQUE);
            SetTextAlign(dc, 0);
            SetBkColor(dc, 0);
            SetTextColor(dc, 0x00FFFFFF);
            RECT all = {0, 0, w, h};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            TextOutA(dc, 0, 0, "H", 1);
            bool lit = false;
            for (int32_t column = w - 1; column >= 0 && !lit; --column) {
                for (int32_t row = 0; row < cell.cy && !lit; ++row) {
                    if (GetPixel(dc, column, row) != 0) {
                        overhang = column - cell.cx + 2;
                        lit = true;
                    }
                }
            }
        }
    }
    DeleteDC(dc);
    if (bitmap) {
        DeleteObject(bitmap);
    }
    return overhang;
}

int32_t DrawTextAt(DrawingOutput* output, int32_t x, int32_t y, const char* text) {
    EnsureDeviceContext(output);
    MoveToEx(output->dc, x, y, nullptr);
    if (TextLength(text) > 0) {
        // With TA_UPDATECP the coordinates are ignored: the text starts at the current position
        // and moves it past itself.
        TextOutA(output->dc, 0, 0, text, TextLength(text));
    }
    POINT end = {x, y};
    MoveToEx(output->dc, 0, 0, &end);
    return end.x;
}

void DrawRotatedTextAt(DrawingOutput* output, int32_t x, int32_t y, const char* text, float angle) {
    EnsureDeviceContext(output);
    if (TextLength(text) == 0 || !SelectRotatedFont(output, angle)) {
        return;
    }
    const bool opaque = !(output->mode & MODE_TRANSPARENT_TEXT);
    if (opaque) {
        SetBkMode(output->dc, TRANSPARENT);
    }
    MoveToEx(output->dc, x, y, nullptr);
    TextOutA(output->dc, 0, 0, text, TextLength(text));
    SelectObject(output->dc, output->font);
    if (opaque) {
        SetBkMode(output->dc, OPAQUE);
    }
}

int32_t SelectRotatedFont(DrawingOutput* output, float angle) {
    angle = static_cast<float>(std::fmod(angle, 360.0));
    if (output->rotatedFont && angle == output->rotatedFontAngle) {
        SelectObject(output->dc, output->rotatedFont);
        return 1;
    }
    LOGFONTA description;
    if (GetObjectA(output->font, sizeof(description), &description) != sizeof(description)) {
        return 0;
    }
    // Tenths of a degree, truncated toward zero.
    description.lfEscapement = description.lfOrientation = static_cast<LONG>(angle * 10.0);
    // Only outline fonts turn; a raster font would ignore the escapement.
    description.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    if (output->rotatedFont) {
        DeleteObject(output->rotatedFont);
    }
    output->rotatedFont = CreateFontIndirectA(&description);
    if (!output->rotatedFont) {
        return 0;
    }
    SelectObject(output->dc, output->rotatedFont);
    output->rotatedFontAngle = angle;
    return 1;
}

int32_t MeasureTextHeight(DrawingOutput* output, const char* text) {
    if (TextLength(text) == 0) {
        return 0;
    }
    return TextExtent(output, text).cy;
}

int32_t MeasureTextWidth(DrawingOutput* output, const char* text) {
    if (TextLength(text) == 0) {
        return 0;
    }
    return TextExtent(output, text).cx + output->italicOverhang;
}

ObjectNumber CaptureRegionToImage(DrawingOutput* output, ObjectNumber number, int32_t x, int32_t y,
                                  int32_t width, int32_t height) {
    if (output->kind == OUTPUT_KIND_DIB_ONLY) {
        return 0;
    }
    // A screen output holding its pixel memory has no device context to copy from: take it back
    // rather than fail.
    EnsureDeviceContext(output);
    HBITMAP bitmap = DibSectionCreate(width, height, output->depth);
    if (!bitmap) {
        return 0;
    }
    HDC memory = CreateCompatibleDC(output->dc);
    if (!memory) {
        DeleteObject(bitmap);
        return 0;
    }
    ObjectNumber result = 0;
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BITMAP made = {};
    if (BitBlt(memory, 0, 0, width, height, output->dc, x, y, SRCCOPY) &&
        GetObjectA(bitmap, sizeof(made), &made)) {
        ObjectRegistry* images = ImageRegistry();
        auto* record =
            images ? static_cast<ImageRecord*>(RegistrySlotFor(images, number)) : nullptr;
        // The record takes the bits per pixel of the bitmap made, which for outputs under 24
        // bits is 24, not the output's depth.
        if (record) {
            result = ImageRecordFill(record, number, bitmap, made, 0);
        }
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    if (!result) {
        DeleteObject(bitmap);
    }
    return result;
}
