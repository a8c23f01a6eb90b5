// Drawing sessions: the output record, its operations table, and the steps that open and close
// a session on the current output.
#include "drawing/session.h"

#include "core/platform.h"
#include "drawing/blit.h"
#include "drawing/primitives.h"

namespace {

// The thread-local slot of the current output, and the process-wide mirror that dispatch reads.
DWORD currentOutputSlot = TLS_OUT_OF_INDEXES;
DrawingOutput* currentOutput;

void SetCurrentOutput(DrawingOutput* output) {
    if (currentOutputSlot != TLS_OUT_OF_INDEXES) {
        TlsSetValue(currentOutputSlot, output);
    }
    currentOutput = output;
}

// The table in slot order; the number beside each entry is its slot.
DrawingOperations DefaultOperations() {
    DrawingOperations operations = {};
    operations.applyBackgroundColor = ApplyBackgroundColor; // 0
    operations.drawRectangle = DrawRectangle;               // 1
    operations.drawRoundedRectangle = DrawRoundedRectangle; // 2
    operations.drawCircleShape = DrawCircleShape;           // 3
    operations.selectTextFont = SelectTextFont;             // 4
    operations.pixelBufferAddress = PixelBufferAddress;     // 5
    operations.pixelBufferPitch = PixelBufferPitch;         // 6
    operations.pixelBufferFormat = PixelBufferFormat;       // 7
    operations.setDrawingMode = SetDrawingMode;             // 8
    operations.blitImageAt = BlitImageAt;                   // 9
    operations.blitImageScaled = BlitImageScaled;           // 10
    operations.blitImageTranslucent = BlitImageTranslucent; // 11
    operations.drawTextAt = DrawTextAt;                     // 12
    operations.drawRotatedTextAt = DrawRotatedTextAt;       // 13
    operations.drawEllipseShape = DrawEllipseShape;         // 14
    operations.floodFillAt = FloodFillAt;                   // 15
    operations.applyFrontColor = ApplyFrontColor;           // 16
    operations.captureRegionToImage = CaptureRegionToImage; // 17
    operations.drawLineSegment = DrawLineSegment;           // 18
    operations.setPixelAt = SetPixelAt;                     // 19
    operations.setPixelColorAt = SetPixelColorAt;           // 20
    operations.getPixelAt = GetPixelAt;                     // 21
    operations.sessionPrepare = SessionPrepare;             // 22
    operations.sessionFinish = SessionFinish;               // 23
    operations.measureTextHeight = MeasureTextHeight;       // 24
    operations.measureTextWidth = MeasureTextWidth;         // 25
    return operations;
}

// Frees a record and leaves no current output.
void ForgetOutput(DrawingOutput* output) {
    PrivateHeapFree(output);
    SetCurrentOutput(nullptr);
}

} // namespace

void DrawingSessionsInit() {
    // A second start-up keeps its slot: the process has few of them.
    if (currentOutputSlot == TLS_OUT_OF_INDEXES)
        currentOutputSlot = TlsAlloc();
    SetCurrentOutput(nullptr);
}

void DrawingSessionsShutdown() {
    SetCurrentOutput(nullptr);
    if (currentOutputSlot != TLS_OUT_OF_INDEXES)
        TlsFree(currentOutputSlot);
    currentOutputSlot = TLS_OUT_OF_INDEXES;
}

DrawingOutput* DrawingOutputCreate() {
    auto* output = static_cast<DrawingOutput*>(PrivateHeapAllocZeroed(sizeof(DrawingOutput)));
    SetCurrentOutput(output);
    if (!output) {
        return nullptr;
    }
    output->auxValue4 = 0;
    output->frontColor = COLOR_NONE;
    output->backColor = COLOR_NONE;
    output->auxValue3 = 0x00FFFFFF;
    output->auxValue1 = 1;
    output->auxValue2 = 7;
    output->operations = DefaultOperations();
    return output;
}

HDC DrawingBegin(DrawingOutput* output) {
    if (!output) {
        return nullptr;
    }
    HDC dc = output->operations.sessionPrepare(output);
    if (dc) {
        return dc;
    }
    if (output->releaseOutput) {
        output->releaseOutput(output, 0);
    }
    ForgetOutput(output);
    return nullptr;
}

void DrawingBlitImage(HANDLE image, int32_t x, int32_t y) {
    currentOutput->operations.blitImageAt(currentOutput, image, x, y);
}

void DrawingEnd() {
    DrawingOutput* output = currentOutput;
    if (!output) {
        return;
    }
    output->operations.sessionFinish(output);
    if (output->releaseOutput) {
        output->releaseOutput(output, 1);
    }
    ForgetOutput(output);
}

void DrawingOutputDiscard(DrawingOutput* output) { ForgetOutput(output); }

DrawingOutput* DrawingCurrentOutput() { return currentOutput; }

HDC SessionPrepare(DrawingOutput* output) {
    output->mode = 0;
    output->accessState = ACCESS_DEVICE_CONTEXT;
    if (!output->dc) {
        return nullptr;
    }
    output->placeholderBrush = CreateSolidBrush(0);
    output->placeholderPen = CreatePen(PS_SOLID, 0, 0);
    if (output->kind == OUTPUT_KIND_DIB_ONLY) {
        output->auxValue2 = 5;
    }
    // Text is drawn at, and advances, the device context's current position.
    SetTextAlign(output->dc, TA_UPDATECP);
    output->savedBrush = static_cast<HBRUSH>(SelectObject(output->dc, output->placeholderBrush));
    output->savedPen = static_cast<HPEN>(SelectObject(output->dc, output->placeholderPen));
    output->font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    output->brush = CreateSolidBrush(0);
    return output->dc;
}

void SessionFinish(DrawingOutput* output) {
    SelectObject(output->dc, output->savedBrush);
    SelectObject(output->dc, output->savedPen);
    if (output->brush) {
        DeleteObject(output->brush);
    }
    if (output->pen) {
        DeleteObject(output->pen);
    }
    if (output->rotatedFont) {
        DeleteObject(output->rotatedFont);
    }
    DeleteObject(output->placeholderBrush);
    DeleteObject(output->placeholderPen);
}

void EnsureDeviceContext(DrawingOutput* output) {
    // Only a screen output ever gives its device context up (for its pixel memory); every other
    // output keeps one device context for the whole session.
    if (output->kind != OUTPUT_KIND_SCREEN || output->accessState != ACCESS_PIXELS) {
        return;
    }
    output->accessState = ACCESS_DEVICE_CONTEXT;
    output->dc = output->acquireDeviceContext(output);
    // A new device context has none of the session's state: apply it again.
    SetTextColor(output->dc, output->frontColor);
    SetTextAlign(output->dc, TA_UPDATECP);
    SetBkColor(output->dc, output->backColor);
    if (output->mode != 0) {
        output->operations.setDrawingMode(output, output->mode);
    } else {
        SelectObject(output->dc, output->brush);
    }
    SelectObject(output->dc, output->pen);
    SelectObject(output->dc, output->font);
}
