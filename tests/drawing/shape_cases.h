// The shape cases that both the GDI-target and the screen tests draw: each operation of the
// table beside the GDI calls that must cover exactly the same pixels, made directly with a pen
// and brush of the same colour; the one-pixel cases beside the pixel they must set.
#pragma once

#include <windows.h>

#include "drawing/session.h"

const Color SHAPE_COLOR = RGB(255, 0, 0);

struct ShapeCase {
    const char* name;
    void (*draw)(DrawingOperations&, DrawingOutput*);
    void (*reference)(HDC);
};

inline const ShapeCase SHAPE_CASES[] = {
    {"rectangle 1x1", [](auto& op, auto o) { op.drawRectangle(o, 4, 4, 1, 1); },
     [](HDC dc) { SetPixelV(dc, 4, 4, SHAPE_COLOR); }},
    {"rectangle -1x-1", [](auto& op, auto o) { op.drawRectangle(o, 4, 4, -1, -1); },
     [](HDC dc) { SetPixelV(dc, 3, 3, SHAPE_COLOR); }},
    {"rectangle 1x-1", [](auto& op, auto o) { op.drawRectangle(o, 4, 4, 1, -1); },
     [](HDC dc) { SetPixelV(dc, 4, 3, SHAPE_COLOR); }},
    {"rectangle -1x1", [](auto& op, auto o) { op.drawRectangle(o, 4, 4, -1, 1); },
     [](HDC dc) { SetPixelV(dc, 3, 4, SHAPE_COLOR); }},
    {"rectangle 1x5", [](auto& op, auto o) { op.drawRectangle(o, 4, 4, 1, 5); },
     [](HDC dc) { Rectangle(dc, 4, 4, 5, 9); }},
    {"rectangle 6x3", [](auto& op, auto o) { op.drawRectangle(o, 2, 3, 6, 3); },
     [](HDC dc) { Rectangle(dc, 2, 3, 8, 6); }},
    {"circle radius 3", [](auto& op, auto o) { op.drawCircleShape(o, 10, 10, 3); },
     [](HDC dc) { Ellipse(dc, 7, 7, 14, 14); }},
    {"circle radius 1", [](auto& op, auto o) { op.drawCircleShape(o, 10, 10, 1); },
     [](HDC dc) { SetPixelV(dc, 10, 10, SHAPE_COLOR); }},
    {"ellipse 4x2", [](auto& op, auto o) { op.drawEllipseShape(o, 10, 10, 4, 2); },
     [](HDC dc) { Ellipse(dc, 6, 8, 15, 13); }},
    {"rounded rectangle", [](auto& op, auto o) { op.drawRoundedRectangle(o, 2, 2, 12, 9, 2, 3); },
     [](HDC dc) { RoundRect(dc, 2, 2, 14, 11, 4, 6); }},
    {"line (0,0)-(5,0)", [](auto& op, auto o) { op.drawLineSegment(o, 0, 0, 5, 0); },
     [](HDC dc) {
         for (int x = 0; x <= 5; ++x) {
             SetPixelV(dc, x, 0, SHAPE_COLOR);
         }
     }},
    {"pixel", [](auto& op, auto o) { op.setPixelAt(o, 3, 7); },
     [](HDC dc) { SetPixelV(dc, 3, 7, SHAPE_COLOR); }},
};

// Draws a case's reference on a device context with a pen and brush of the shape colour.
inline void DrawShapeReference(HDC dc, const ShapeCase& shape) {
    HGDIOBJ pen = SelectObject(dc, CreatePen(PS_SOLID, 0, SHAPE_COLOR));
    HGDIOBJ brush = SelectObject(dc, CreateSolidBrush(SHAPE_COLOR));
    shape.reference(dc);
    DeleteObject(SelectObject(dc, pen));
    DeleteObject(SelectObject(dc, brush));
}
