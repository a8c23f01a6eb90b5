// The BMP decoder: BITMAPFILEHEADER and BITMAPINFOHEADER (or a later, longer info header),
// bottom-up pictures of 1, 4, 8 (plain and RLE8), 16 (5-5-5), 24 and 32 bits per pixel, decoded
// into 24-bit destination rows with row 0 at the top. Sources come from a file or from memory;
// nothing in a source is trusted.
#pragma once

#include "image/decoder.h"

#include <cstddef>
#include <cstdint>

// Pictures whose width or height (either sign) exceeds this are refused at check time, and so
// are those whose 24-bit image, rows padded to 4 bytes, would exceed BMP_MAX_IMAGE_BYTES: a
// loader never has to allocate an absurd image on a file's word.
constexpr int32_t BMP_MAX_DIMENSION = 32767;
constexpr uint64_t BMP_MAX_IMAGE_BYTES = 256u * 1024u * 1024u;
// A file larger than this is refused before any of it is read (offsets in the format are 32-bit
// and the copy has to fit the private heap of a 32-bit process).
constexpr uint64_t BMP_MAX_FILE_BYTES = 0x7FFFFFFF;
// The file header and the shortest info header this decoder reads.
constexpr size_t BMP_HEADER_BYTES = 14 + 40;

// Start-up, after the decoder registry: registers the BMP descriptor.
int32_t BmpDecoderRegister();

int32_t BmpCheck(DecoderContext* context);
// Always returns 1. Pixels that would land outside width x height are dropped; colour indices
// outside the colour table or the source give black.
int32_t BmpDecode(DecoderContext* context, uint8_t* destination, int32_t pitch, int32_t reserved);
int32_t BmpCleanup(DecoderContext* context);
