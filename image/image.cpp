// Image objects: numbered DIB sections in one registry, and the bitmap routines the drawing
// layer shares with them.
#include "image/image.h"

#include "core/platform.h"

namespace {

ObjectRegistry* imageRegistry;

// Enough room behind the header for a colour table: GetDIBits writes one for some formats,
// and a bare header would let it write past the end.
struct BitmapInfoWithColours {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

} // namespace

void ImageRegistryInit() { imageRegistry = RegistryCreate(sizeof(ImageRecord), 16, ImageFree); }

void ImageRegistryShutdown() {
    RegistryDestroy(imageRegistry);
    imageRegistry = nullptr;
}

ObjectRegistry* ImageRegistry() { return imageRegistry; }

ObjectNumber ImageCreate(ObjectNumber number, int32_t width, int32_t height) {
    return ImageCreateWithDepth(number, width, height, 24);
}

ObjectNumber ImageCreateWithDepth(ObjectNumber number, int32_t width, int32_t height,
                                  int32_t depth) {
    uint32_t fill = 0xFF000000; // opaque black
    if (depth & IMAGE_TRANSPARENT_FILL) {
        fill = 0;
        depth &= ~IMAGE_TRANSPARENT_FILL;
    }
    if (!imageRegistry) {
        return 0;
    }
    // For a fixed number this frees the image that had it, before the new bitmap exists: the
    // number stays free even when the creation below fails.
    auto* record = static_cast<ImageRecord*>(RegistrySlotFor(imageRegistry, number));
    if (!record) {
        // No memory for a dynamic record or for the grown table: nothing may be written
        // through the missing record, so no bitmap is made that would have no owner.
        return 0;
    }
    HBITMAP bitmap = DibSectionCreate(width, height, depth);
    BITMAP info = {};
    if (!bitmap || GetObjectA(bitmap, sizeof info, &info) != sizeof info) {
        // A dynamic record without an image would only wait for ImageFreeAll: give it back.
        if (number == DYNAMIC_NUMBER) {
            RegistryRelease(imageRegistry, RegistryNumberOf(record));
        }
        if (bitmap) {
            DeleteObject(bitmap);
        }
        return 0;
    }
    if (info.bmBitsPixel == 32 && info.bmBits) {
        // 32-bit pixels are written directly so that the alpha byte is set; GDI fills leave
        // it 0.
        int32_t pitch = BitmapRowPitch(info.bmWidth, info.bmBitsPixel);
        auto* rows = static_cast<uint8_t*>(info.bmBits);
        for (int32_t y = 0; y < info.bmHeight; y++) {
            auto* row = reinterpret_cast<uint32_t*>(rows + static_cast<size_t>(y) * pitch);
            for (int32_t x = 0; x < info.bmWidth; x++) {
                row[x] = fill;
            }
        }
    } else if (HDC memory = CreateCompatibleDC(nullptr)) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    return ImageRecordFill(record, number, bitmap, info, static_cast<uint8_t>(info.bmBitsPixel));
}

ObjectNumber ImageRecordFill(ImageRecord* record, ObjectNumber number, HBITMAP bitmap,
                             const BITMAP& info, uint8_t secondDepth) {
    record->nativeHandle = bitmap;
    record->width = static_cast<uint16_t>(info.bmWidth);
    record->height = static_cast<uint16_t>(info.bmHeight);
    record->depth = static_cast<uint8_t>(info.bmBitsPixel);
    record->secondDepth = secondDepth;
    if (number == DYNAMIC_NUMBER) {
        return RegistryNumberOf(record);
    }
    return reinterpret_cast<ObjectNumber>(bitmap);
}

HANDLE ImageNativeHandle(ObjectNumber number) {
    if (!imageRegistry) {
        return nullptr;
    }
    auto* record = static_cast<ImageRecord*>(RegistryLookup(imageRegistry, number));
    return record ? record->nativeHandle : nullptr;
}

void ImageFree(ObjectNumber number) {
    if (number == DYNAMIC_NUMBER || !imageRegistry) {
        return;
    }
    auto* record = static_cast<ImageRecord*>(RegistryLookup(imageRegistry, number));
    if (!record) {
        return;
    }
    if (GetObjectType(record->nativeHandle) == OBJ_BITMAP) {
        DeleteObject(record->nativeHandle);
    } else {
        DestroyIcon(static_cast<HICON>(record->nativeHandle));
    }
    RegistryRelease(imageRegistry, number);
}

// The registry's free callback is ImageFree.
void ImageFreeAll() { RegistryFreeAll(imageRegistry); }

HBITMAP DibSectionCreate(int32_t width, int32_t height, int32_t depth) {
    HDC memory = CreateCompatibleDC(nullptr);
    if (!memory) {
        return nullptr;
    }
    BitmapInfoWithColours bitmapInfo = {};
    bitmapInfo.header = BitmapHeader(width, height, depth < 24 ? 24 : depth);
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(&bitmapInfo),
                                      DIB_RGB_COLORS, &pixels, nullptr, 0);
    DeleteDC(memory);
    return bitmap;
}

int32_t BitmapRowPitch(int32_t width, int32_t bitsPerPixel) {
    // Worked in 64 bits so that a huge width cannot overflow; a pitch that does not fit is 0.
    int64_t w = width;
    int64_t pitch;
    switch (bitsPerPixel) {
    case 1:
        pitch = (w + 31) / 32 * 4;
        break;
    case 4:
        pitch = (w + 7) / 8 * 4;
        break;
    case 8:
        pitch = (w + 3) / 4 * 4;
        break;
    case 15:
    case 16:
        pitch = (w + 1) / 2 * 4;
        break;
    case 24:
        pitch = (w + 1) * 3 / 4 * 4;
        break;
    default:
        pitch = w * 4;
        break;
    }
    return pitch > INT32_MAX ? 0 : static_cast<int32_t>(pitch);
}

void* BitmapReadPixels(HBITMAP bitmap, int32_t* mustFree) {
    BITMAP info = {};
    if (GetObjectA(bitmap, sizeof info, &info) != sizeof info) {
        return nullptr;
    }
    if (info.bmBits) {
        *mustFree = 0;
        return info.bmBits;
    }
    if (info.bmWidth <= 0 || info.bmHeight <= 0) {
        return nullptr;
    }
    uint64_t bytes = static_cast<uint64_t>(info.bmWidth) * 4 * static_cast<uint64_t>(info.bmHeight);
    if (bytes > INT32_MAX) {
        return nullptr;
    }
    HDC memory = CreateCompatibleDC(nullptr);
    if (!memory) {
        return nullptr;
    }
    // Zeroed, so that rows GetDIBits leaves out read as transparent black, not heap garbage.
    void* rows = PrivateHeapAllocZeroed(static_cast<size_t>(bytes));
    if (rows) {
        BitmapInfoWithColours bitmapInfo = {};
        bitmapInfo.header = BitmapHeader(info.bmWidth, -info.bmHeight, 32); // top-down
        if (!GetDIBits(memory, bitmap, 0, info.bmHeight, rows,
                       reinterpret_cast<BITMAPINFO*>(&bitmapInfo), DIB_RGB_COLORS)) {
            PrivateHeapFree(rows);
            rows = nullptr;
        }
    }
    DeleteDC(memory);
    if (rows) {
        *mustFree = 1;
    }
    return rows;
}

BITMAPINFOHEADER BitmapHeader(int32_t width, int32_t height, int32_t bitsPerPixel) {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitsPerPixel);
    header.biCompression = BI_RGB;
    return header;
}
