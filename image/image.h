// Numbered images held as DIB sections (Win32 only): the image registry, blank images, an
// image's native handle, freeing, and the bitmap routines the drawing layer shares.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/registry.h"

// Added to the depth of ImageCreateWithDepth: a 32-bit image starts fully transparent black
// instead of opaque black.
constexpr int32_t IMAGE_TRANSPARENT_FILL = 0x100;

// Start-up, before any other image operation.
void ImageRegistryInit();
// Shutdown, after ImageFreeAll: gives the registry back; until the next start-up every image
// operation refuses.
void ImageRegistryShutdown();

// ImageCreateWithDepth with depth 24.
ObjectNumber ImageCreate(ObjectNumber number, int32_t width, int32_t height);
// For a fixed number the HBITMAP, for DYNAMIC_NUMBER the record's address (the image's
// number); 0 on failure. Depths below 24 are raised to 24.
ObjectNumber ImageCreateWithDepth(ObjectNumber number, int32_t width, int32_t height,
                                  int32_t depth);
// The image's HBITMAP (or HICON), or 0 when there is no such image.
HANDLE ImageNativeHandle(ObjectNumber number);
// Deletes the bitmap (or destroys the icon) and releases the number; nothing for -1 or an
// unknown number.
void ImageFree(ObjectNumber number);
// Shutdown.
void ImageFreeAll();

// A new bottom-up BI_RGB DIB section, or 0.
HBITMAP DibSectionCreate(int32_t width, int32_t height, int32_t depth);
int32_t BitmapRowPitch(int32_t width, int32_t bitsPerPixel);
// The bitmap's pixels: a DIB section's own memory (mustFree 0), or for a device-dependent
// bitmap a top-down 32-bit copy from the private heap (mustFree 1, the caller frees it with
// PrivateHeapFree). Null on failure, mustFree then untouched.
void* BitmapReadPixels(HBITMAP bitmap, int32_t* mustFree);

// A BI_RGB header for one plane; a positive height means bottom-up rows, a negative one top-down.
BITMAPINFOHEADER BitmapHeader(int32_t width, int32_t height, int32_t bitsPerPixel);

// The image records, for the capture of the drawing layer.
ObjectRegistry* ImageRegistry();

struct ImageRecord {
    HANDLE nativeHandle; // 0: the record holds no image
    uint16_t width;
    uint16_t height;
    uint8_t depth;
    uint8_t secondDepth; // set by ImageCreateWithDepth, 0 for a captured image
};

// Hands a bitmap to a record taken from the registry (size and bits per pixel from info), and
// returns what the creating call returns: the record's number for DYNAMIC_NUMBER, otherwise the
// bitmap itself.
ObjectNumber ImageRecordFill(ImageRecord* record, ObjectNumber number, HBITMAP bitmap,
                             const BITMAP& info, uint8_t secondDepth);

#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(ImageRecord, depth) == 8, "image record fields in their order");
#endif
