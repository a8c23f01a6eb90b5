// Drawing images onto an output: plain, stretched, inverted, as icons, and blended through
// the optional AlphaBlend.
#include "drawing/blit.h"

#include "core/platform.h"
#include "image/image.h"
#include "probe/probe.h"

namespace {

constexpr DWORD PACKED_DIB_HEADER_BYTES = sizeof(BITMAPINFOHEADER);
static_assert(PACKED_DIB_HEADER_BYTES == 40, "the rows of a packed DIB start at offset 40");

bool QueryBitmap(HANDLE image, BITMAP* info) {
    return GetObjectA(image, sizeof *info, info) == sizeof *info;
}

// Both blends: the bitmap whole, at its own size unless a size is given. Without AlphaBlend
// (only reached from the constant blend) the copy is opaque.
void AlphaBlendWith(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height,
                    HBITMAP bitmap, HDC source, int32_t opacity, BYTE alphaFormat) {
    BITMAP info;
    if ((width == 0 || height == 0) && QueryBitmap(bitmap, &info)) {
        width = info.bmWidth;
        height = info.bmHeight;
    }
    HDC memory = source ? source : CreateCompatibleDC(destination);
    if (!memory) {
        return;
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (AlphaBlendEntry) {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(opacity), alphaFormat};
        AlphaBlendEntry(destination, x, y, width, height, memory, 0, 0, width, height, blend);
    } else {
        BitBlt(destination, x, y, width, height, memory, 0, 0, SRCCOPY);
    }
    // The bitmap is given back to its owner unselected, even from a context deleted here.
    SelectObject(memory, previous);
    if (!source) {
        DeleteDC(memory);
    }
}

} // namespace

void BlitImageAt(DrawingOutput* output, HANDLE image, int32_t x, int32_t y) {
    BlitImageScaled(output, image, x, y, 0, 0);
}

void BlitImageScaled(DrawingOutput* output, HANDLE image, int32_t x, int32_t y, int32_t width,
                     int32_t height) {
    EnsureDeviceContext(output);
    HDC dc = output->dc;
    if (GetObjectType(image) != OBJ_BITMAP) {
        DrawIconEx(dc, x, y, static_cast<HICON>(image), width, height, 0, nullptr, DI_NORMAL);
        return;
    }
    BITMAP info;
    if (!QueryBitmap(image, &info)) {
        return;
    }
    int32_t sourceWidth = info.bmWidth;
    int32_t sourceHeight = info.bmHeight;
    DWORD rop = (output->mode & MODE_INVERT) ? SRCINVERT : SRCCOPY;
    // A zero in either size means the image's own size for both.
    if (width == 0 || height == 0) {
        width = sourceWidth;
        height = sourceHeight;
    }
    if (output->kind == OUTPUT_KIND_DIB_ONLY) {
        // This output takes no bitmap selected into a compatible context: the pixels go over
        // as a packed DIB instead.
        if (auto* dib = static_cast<uint8_t*>(PackedDibCopy(static_cast<HBITMAP>(image)))) {
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchDIBits(dc, x, y, width, height, 0, 0, sourceWidth, sourceHeight,
                          dib + PACKED_DIB_HEADER_BYTES, reinterpret_cast<BITMAPINFO*>(dib),
                          DIB_RGB_COLORS, rop);
            GlobalFree(dib);
        }
    } else if (HDC memory = CreateCompatibleDC(dc)) {
        HGDIOBJ previous = SelectObject(memory, image);
        if (width == sourceWidth && height == sourceHeight) {
            BitBlt(dc, x, y, sourceWidth, sourceHeight, memory, 0, 0, rop);
        } else {
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, x, y, width, height, memory, 0, 0, sourceWidth, sourceHeight, rop);
        }
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
}

void BlitImageTranslucent(DrawingOutput* output, HANDLE image, int32_t x, int32_t y,
                          int32_t opacity) {
    if (!image || GetObjectType(image) != OBJ_BITMAP) {
        return;
    }
    // The device context comes back first: a screen output that handed it over for pixel
    // access still names the old one, from which no compatible context can be made.
    EnsureDeviceContext(output);
    HDC dc = output->dc;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) {
        return;
    }
    auto bitmap = static_cast<HBITMAP>(image);
    HBITMAP copy = ImageHasAlphaChannel(bitmap) ? PremultipliedCopy(bitmap, memory) : nullptr;
    if (copy) {
        AlphaBlendPerPixel(dc, x, y, 0, 0, copy, memory, opacity);
        DeleteObject(copy);
    } else if (opacity == 255) {
        BITMAP info;
        if (QueryBitmap(bitmap, &info)) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
        }
    } else if (opacity != 0) {
        AlphaBlendConstant(dc, x, y, 0, 0, bitmap, memory, opacity);
    }
    DeleteDC(memory);
}

void* PackedDibCopy(HBITMAP bitmap) {
    BITMAP info;
    if (!QueryBitmap(bitmap, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return nullptr;
    }
    uint64_t rowBytes = ((static_cast<uint64_t>(info.bmWidth) * 24 + 31) >> 3) & ~uint64_t{3};
    uint64_t blockBytes = PACKED_DIB_HEADER_BYTES + rowBytes * static_cast<uint64_t>(info.bmHeight);
    if (blockBytes > INT32_MAX) {
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, blockBytes));
    if (!block) {
        return nullptr;
    }
    *reinterpret_cast<BITMAPINFOHEADER*>(block) = BitmapHeader(info.bmWidth, info.bmHeight, 24);
    HDC screen = GetDC(nullptr);
    int lines = 0;
    if (screen) {
        lines = GetDIBits(screen, bitmap, 0, info.bmHeight, block + PACKED_DIB_HEADER_BYTES,
                          reinterpret_cast<BITMAPINFO*>(block), DIB_RGB_COLORS);
        // Given back on every path: a failed copy must not keep the screen's context.
        ReleaseDC(nullptr, screen);
    }
    if (lines == 0) {
        GlobalFree(block);
        return nullptr;
    }
    return block;
}

bool ImageHasAlphaChannel(HBITMAP bitmap) {
    if (!AlphaBlendEntry || GetObjectType(bitmap) != OBJ_BITMAP) {
        return false;
    }
    // A 32-bit DIB section is taken as having alpha without reading its pixels.
    DIBSECTION section;
    if (GetObjectA(bitmap, sizeof section, &section) == sizeof section) {
        return section.dsBm.bmBitsPixel == 32;
    }
    BITMAP info;
    if (!QueryBitmap(bitmap, &info) || info.bmBitsPixel != 32) {
        return false;
    }
    int32_t rowBytes = BitmapRowPitch(info.bmWidth, info.bmBitsPixel);
    int32_t mustFree = 0;
    auto* rows = static_cast<uint8_t*>(BitmapReadPixels(bitmap, &mustFree));
    if (!rows) {
        return false;
    }
    bool found = false;
    for (int32_t y = 0; y < info.bmHeight && !found; y++) {
        auto* row = reinterpret_cast<const uint32_t*>(rows + static_cast<size_t>(y) * rowBytes);
        for (int32_t x = 0; x < info.bmWidth; x++) {
            if (row[x] & 0xFF000000) {
                found = true;
                break;
            }
        }
    }
    if (mustFree) {
        PrivateHeapFree(rows);
    }
    return found;
}

HBITMAP PremultipliedCopy(HBITMAP bitmap, HDC context) {
    if (!AlphaBlendEntry) {
        return nullptr;
    }
    HDC memory = context ? context : CreateCompatibleDC(nullptr);
    if (!memory) {
        return nullptr;
    }
    HBITMAP copy = nullptr;
    BITMAP info;
    if (QueryBitmap(bitmap, &info)) {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[3];
        } bitmapInfo = {};
        bitmapInfo.header = BitmapHeader(info.bmWidth, info.bmHeight, 32);
        void* bits = nullptr;
        copy = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(&bitmapInfo), DIB_RGB_COLORS,
                                &bits, nullptr, 0);
        if (copy && bits) {
            GetDIBits(memory, bitmap, 0, info.bmHeight, bits,
                      reinterpret_cast<BITMAPINFO*>(&bitmapInfo), DIB_RGB_COLORS);
            // AlphaBlend's per-pixel mode wants colours already multiplied by alpha; the
            // division is by 256 (a shift), so 255 x 128 gives 127.
            auto* pixel = static_cast<uint8_t*>(bits);
            size_t count = static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight);
            for (size_t i = 0; i < count; i++, pixel += 4) {
                uint32_t alpha = pixel[3];
                if (alpha < 255) {
                    pixel[0] = static_cast<uint8_t>((pixel[0] * alpha) >> 8);
                    pixel[1] = static_cast<uint8_t>((pixel[1] * alpha) >> 8);
                    pixel[2] = static_cast<uint8_t>((pixel[2] * alpha) >> 8);
                }
            }
        }
    }
    if (!context) {
        DeleteDC(memory);
    }
    return copy;
}

void AlphaBlendPerPixel(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height,
                        HBITMAP bitmap, HDC source, int32_t opacity) {
    if (!AlphaBlendEntry) {
        return;
    }
    AlphaBlendWith(destination, x, y, width, height, bitmap, source, opacity, AC_SRC_ALPHA);
}

void AlphaBlendConstant(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height,
                        HBITMAP bitmap, HDC source, int32_t opacity) {
    AlphaBlendWith(destination, x, y, width, height, bitmap, source, opacity, 0);
}
