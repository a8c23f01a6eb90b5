// Drawing sessions: a DrawingOutput is one target (the screen's back buffer, in this program)
// with a table of 26 operations that draw on it. An output maker creates the record with
// DrawingOutputCreate, which makes it the current output; DrawingBegin prepares it, drawing
// calls go to the current output through its table, DrawingEnd restores the device context,
// releases the target and frees the record. At most one session is open in the process.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/registry.h"

// A colour 0x00BBGGRR, red in the low byte, as GDI takes it.
typedef uint32_t Color;
// No colour given yet.
constexpr Color COLOR_NONE = 0xFFFFFFFF;

// kind: the screen's back buffer, an output that can only be drawn on with DIB calls, or (any
// other value) a plain device-context output.
constexpr int32_t OUTPUT_KIND_DIB_ONLY = 5;
constexpr int32_t OUTPUT_KIND_SCREEN = 7;

// pixelFormat codes: how pixel memory is laid out.
constexpr int32_t PIXEL_FORMAT_8 = 1;
constexpr int32_t PIXEL_FORMAT_15 = 2;
constexpr int32_t PIXEL_FORMAT_16 = 4;
constexpr int32_t PIXEL_FORMAT_32 = 64;

// mode bits.
constexpr int32_t MODE_TRANSPARENT_TEXT = 1;
constexpr int32_t MODE_INVERT = 2;
constexpr int32_t MODE_OUTLINE = 4;

// accessState of a screen output.
constexpr int32_t ACCESS_DEVICE_CONTEXT = 1;
constexpr int32_t ACCESS_PIXELS = -1;

// SelectTextFont's argument for the stock system font.
#define TEXT_FONT_SYSTEM (reinterpret_cast<HFONT>(static_cast<intptr_t>(-1)))

struct DrawingOutput;

// The operations table, one entry a slot, in slot order. Every entry takes the output first.
struct DrawingOperations {
    /*  0 */ void (*applyBackgroundColor)(DrawingOutput*, Color);
    /*  1 */ void (*drawRectangle)(DrawingOutput*, int32_t x, int32_t y, int32_t w, int32_t h);
    /*  2 */ void (*drawRoundedRectangle)(DrawingOutput*, int32_t x, int32_t y, int32_t w,
                                          int32_t h, int32_t radiusX, int32_t radiusY);
    /*  3 */ void (*drawCircleShape)(DrawingOutput*, int32_t x, int32_t y, int32_t radius);
    /*  4 */ void (*selectTextFont)(DrawingOutput*, HFONT font);
    /*  5 */ void* (*pixelBufferAddress)(DrawingOutput*);
    /*  6 */ int32_t (*pixelBufferPitch)(DrawingOutput*);
    /*  7 */ int32_t (*pixelBufferFormat)(DrawingOutput*);
    /*  8 */ void (*setDrawingMode)(DrawingOutput*, int32_t mode);
    /*  9 */ void (*blitImageAt)(DrawingOutput*, HANDLE image, int32_t x, int32_t y);
    /* 10 */ void (*blitImageScaled)(DrawingOutput*, HANDLE image, int32_t x, int32_t y, int32_t w,
                                     int32_t h);
    /* 11 */ void (*blitImageTranslucent)(DrawingOutput*, HANDLE image, int32_t x, int32_t y,
                                          int32_t opacity);
    /* 12 */ int32_t (*drawTextAt)(DrawingOutput*, int32_t x, int32_t y, const char* text);
    /* 13 */ void (*drawRotatedTextAt)(DrawingOutput*, int32_t x, int32_t y, const char* text,
                                       float angle);
    /* 14 */ void (*drawEllipseShape)(DrawingOutput*, int32_t x, int32_t y, int32_t radiusX,
                                      int32_t radiusY);
    /* 15 */ void (*floodFillAt)(DrawingOutput*, int32_t x, int32_t y, Color border);
    /* 16 */ void (*applyFrontColor)(DrawingOutput*, Color);
    /* 17 */ ObjectNumber (*captureRegionToImage)(DrawingOutput*, ObjectNumber image, int32_t x,
                                                  int32_t y, int32_t w, int32_t h);
    /* 18 */ void (*drawLineSegment)(DrawingOutput*, int32_t x1, int32_t y1, int32_t x2,
                                     int32_t y2);
    /* 19 */ void (*setPixelAt)(DrawingOutput*, int32_t x, int32_t y);
    /* 20 */ void (*setPixelColorAt)(DrawingOutput*, int32_t x, int32_t y, Color);
    /* 21 */ Color (*getPixelAt)(DrawingOutput*, int32_t x, int32_t y);
    /* 22 */ HDC (*sessionPrepare)(DrawingOutput*);
    /* 23 */ void (*sessionFinish)(DrawingOutput*);
    /* 24 */ int32_t (*measureTextHeight)(DrawingOutput*, const char* text);
    /* 25 */ int32_t (*measureTextWidth)(DrawingOutput*, const char* text);
};

// Start-up: the thread-local slot of the current output.
void DrawingSessionsInit();
// Shutdown: forgets the current output (a session left open has its record in the private
// heap) and gives the thread-local slot back.
void DrawingSessionsShutdown();

// A zero-filled record from the private heap with its defaults and table, made current; null
// when the heap refuses it (the current output is then none).
DrawingOutput* DrawingOutputCreate();
// Prepares the output; returns its device context, or 0 (the output is then released and
// freed, and the caller skips drawing and DrawingEnd). 0 at once for a null output.
HDC DrawingBegin(DrawingOutput* output);
// Draws an image at its own size on the current output (slot 9).
void DrawingBlitImage(HANDLE image, int32_t x, int32_t y);
// Restores the device context, releases the target and frees the record; nothing without a
// current output.
void DrawingEnd();
// Frees a record without running any callback.
void DrawingOutputDiscard(DrawingOutput* output);
// The output that drawing calls go to, or null.
DrawingOutput* DrawingCurrentOutput();

// Run first by every device-context operation: after pixel memory was taken from a screen
// output, gets the device context back and re-applies the session's state to it.
void EnsureDeviceContext(DrawingOutput* output);

// The session callbacks of slots 22 and 23.
HDC SessionPrepare(DrawingOutput* output);
void SessionFinish(DrawingOutput* output);

struct DrawingOutput {
    DrawingOperations operations;
    void (*releaseOutput)(DrawingOutput*, int32_t final); // may stay null
    int32_t auxValue1;                                    // 1; not read here
    int32_t auxValue2;                                    // 7, 5 on a DIB-only output
    int32_t width;
    int32_t height;
    int32_t depth; // bits per pixel of the target
    uint32_t auxValue3;
    uint32_t auxValue4;
    Color frontColor; // pens, brushes, text and single pixels
    Color backColor;  // behind text
    int32_t kind;
    void* pixels; // the target's pixel memory while a screen output holds it
    int32_t pitch;
    int32_t pixelFormat;
    HDC (*acquireDeviceContext)(DrawingOutput*);
    void* (*acquirePixels)(DrawingOutput*, int32_t* pitch);
    HDC dc;
    int32_t mode;
    int32_t accessState;
    HBRUSH brush; // owned: solid brush of the front colour
    HPEN pen;     // owned: solid pen of the front colour
    HFONT font;   // borrowed, never deleted here
    HBRUSH placeholderBrush;
    HPEN placeholderPen;
    HBRUSH savedBrush; // what the device context held before the session
    HPEN savedPen;
    int32_t italicOverhang;
    HFONT rotatedFont; // owned: rotated copy of font
    float rotatedFontAngle;
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(DrawingOperations) == 26 * 4, "26 slots of the operations table");
static_assert(offsetof(DrawingOutput, releaseOutput) == 104, "record fields in their order");
static_assert(offsetof(DrawingOutput, kind) == 144, "record fields in their order");
static_assert(offsetof(DrawingOutput, dc) == 168, "record fields in their order");
static_assert(sizeof(DrawingOutput) == 220, "record fields in their order");
#endif
