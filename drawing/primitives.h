// Drawing primitives: the entries of an output's operations table other than the image blits
// and the session callbacks. Colours, drawing mode, shapes, lines, single pixels, text output
// and measurement, flood fill, the pixel memory of a screen output and the copy of a region
// into a new image. Every one takes the output first and is reached through its table.
#pragma once

#include "drawing/session.h"

// Colours and mode. Neither colour operation stores the colour: callers keep frontColor and
// backColor, which EnsureDeviceContext and SetDrawingMode apply again.
void ApplyBackgroundColor(DrawingOutput* output, Color color);
void ApplyFrontColor(DrawingOutput* output, Color color);
void SetDrawingMode(DrawingOutput* output, int32_t mode);

// Shapes, drawn with the selected pen and brush. A rectangle of width and height 1 or -1 is one
// pixel in frontColor; a circle of radius 1 is one pixel at its centre.
void DrawRectangle(DrawingOutput* output, int32_t x, int32_t y, int32_t width, int32_t height);
void DrawRoundedRectangle(DrawingOutput* output, int32_t x, int32_t y, int32_t width,
                          int32_t height, int32_t radiusX, int32_t radiusY);
void DrawCircleShape(DrawingOutput* output, int32_t x, int32_t y, int32_t radius);
void DrawEllipseShape(DrawingOutput* output, int32_t x, int32_t y, int32_t radiusX,
                      int32_t radiusY);
// Both end points included.
void DrawLineSegment(DrawingOutput* output, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// border -1: fills the connected area of the colour at (x, y); otherwise the area bounded by
// border. In outline mode a temporary brush of frontColor does the fill.
void FloodFillAt(DrawingOutput* output, int32_t x, int32_t y, Color border);

// Single pixels. SetPixelColorAt on a screen output of a known pixel format writes straight into
// its pixel memory, ignoring coordinates outside the output.
void SetPixelAt(DrawingOutput* output, int32_t x, int32_t y);
void SetPixelColorAt(DrawingOutput* output, int32_t x, int32_t y, Color color);
Color GetPixelAt(DrawingOutput* output, int32_t x, int32_t y);

// Pixel memory of a screen output (0 for any other kind). PixelBufferAddress takes the memory
// from the device context; read the pitch after it.
void* PixelBufferAddress(DrawingOutput* output);
int32_t PixelBufferPitch(DrawingOutput* output);
int32_t PixelBufferFormat(DrawingOutput* output);

// Text. TEXT_FONT_SYSTEM selects the stock system font; the font stays the caller's.
void SelectTextFont(DrawingOutput* output, HFONT font);
// Returns the x just past the text.
int32_t DrawTextAt(DrawingOutput* output, int32_t x, int32_t y, const char* text);
// Always on a transparent background; angle in degrees, counter-clockwise.
void DrawRotatedTextAt(DrawingOutput* output, int32_t x, int32_t y, const char* text, float angle);
// 0 for a null or empty text.
int32_t MeasureTextHeight(DrawingOutput* output, const char* text);
// Includes the current font's italic overhang.
int32_t MeasureTextWidth(DrawingOutput* output, const char* text);

// A new image of the region: for DYNAMIC_NUMBER the record's address, for a fixed number the
// bitmap; 0 on failure or on a DIB-only output.
ObjectNumber CaptureRegionToImage(DrawingOutput* output, ObjectNumber number, int32_t x, int32_t y,
                                  int32_t width, int32_t height);

// Steps of the text operations. SelectRotatedFont selects a copy of the output's font turned by
// the angle, cached until the angle or the font changes; 0 when it cannot be made.
// MeasureItalicOverhang gives how far an italic font's letters lean past their cell, 0 for an
// upright font.
int32_t SelectRotatedFont(DrawingOutput* output, float angle);
int32_t MeasureItalicOverhang(HFONT font);
