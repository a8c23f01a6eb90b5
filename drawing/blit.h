// Drawing images onto an output: slots 9, 10 and 11 of the operations table, and the steps
// they share. An image is passed by its native handle: a bitmap, or for the first two slots
// any other handle, which is then drawn as an icon. AlphaBlend is optional (see
// probe/probe.h); every step says what it does without it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "drawing/session.h"

// Slot 9: at the image's own size.
void BlitImageAt(DrawingOutput* output, HANDLE image, int32_t x, int32_t y);
// Slot 10: stretched to width x height; a 0 in either draws at the image's own size. Inverts
// in MODE_INVERT.
void BlitImageScaled(DrawingOutput* output, HANDLE image, int32_t x, int32_t y, int32_t width,
                     int32_t height);
// Slot 11: blended with the bitmap's alpha channel and opacity 0..255; never inverts, draws
// bitmaps only. Without AlphaBlend every opacity but 0 is an opaque copy.
void BlitImageTranslucent(DrawingOutput* output, HANDLE image, int32_t x, int32_t y,
                          int32_t opacity);

// A packed 24-bit bottom-up DIB (header, then the rows at offset 40) in GMEM_FIXED global
// memory for StretchDIBits; the caller frees it with GlobalFree. Null on failure.
void* PackedDibCopy(HBITMAP bitmap);
// A 32-bit DIB section counts as having alpha without its pixels being read; a 32-bit
// device-dependent bitmap has alpha when any pixel's alpha byte is non-zero. Always false
// without AlphaBlend.
bool ImageHasAlphaChannel(HBITMAP bitmap);
// A 32-bit bottom-up DIB section with each colour multiplied by its pixel's alpha / 256
// (pixels with alpha 255 unchanged), as AlphaBlend's per-pixel mode expects; 0 without
// AlphaBlend or on failure. context may be 0.
HBITMAP PremultipliedCopy(HBITMAP bitmap, HDC context);
// AlphaBlend of the bitmap (whole, at width x height; 0 in either takes the bitmap's size)
// with per-pixel alpha and a constant opacity. source may be 0. Nothing without AlphaBlend.
void AlphaBlendPerPixel(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height,
                        HBITMAP bitmap, HDC source, int32_t opacity);
// The same with the constant opacity only; without AlphaBlend an opaque copy.
void AlphaBlendConstant(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height,
                        HBITMAP bitmap, HDC source, int32_t opacity);
