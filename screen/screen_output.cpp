// The back buffer as a drawing output. The surface is reached either through a GDI device
// context or through its locked pixels, never both: each callback gives up the one access
// before it takes the other. All of them work on the back buffer of the moment, since a reset
// replaces it.
#include "screen/screen.h"

namespace {

void NoteHeld(const DrawingOutput* output) {
    ScreenStateGet()->backBufferHeld = output->dc || output->pixels;
}

void GiveUpDeviceContext(DrawingOutput* output) {
    IDirect3DSurface9* backBuffer = ScreenStateGet()->backBuffer;
    if (output->dc && backBuffer)
        backBuffer->ReleaseDC(output->dc);
    output->dc = nullptr;
}

void GiveUpPixels(DrawingOutput* output) {
    IDirect3DSurface9* backBuffer = ScreenStateGet()->backBuffer;
    if (output->pixels && backBuffer)
        backBuffer->UnlockRect();
    output->pixels = nullptr;
}

} // namespace

DrawingOutput* ScreenDrawingOutput() {
    ScreenState* state = ScreenStateGet();
    if (!state->backBuffer)
        return nullptr;
    HDC dc;
    if (FAILED(state->backBuffer->GetDC(&dc)))
        return nullptr;
    DrawingOutput* output = DrawingOutputCreate();
    if (!output) {
        // Nobody would ever give this device context back, and a surface with one held can
        // be neither presented nor reset.
        state->backBuffer->ReleaseDC(dc);
        return nullptr;
    }
    output->kind = OUTPUT_KIND_SCREEN;
    output->dc = dc;
    output->pixels = nullptr;
    output->pixelFormat = state->pixelFormatCode;
    output->acquireDeviceContext = ScreenOutputGetDC;
    output->acquirePixels = ScreenOutputLockPixels;
    output->width = state->screenWidth;
    output->height = state->screenHeight;
    output->depth = state->depth;
    output->releaseOutput = ScreenOutputRelease;
    state->backBufferHeld = 1;
    return output;
}

void ScreenOutputRelease(DrawingOutput* output, int32_t) {
    GiveUpDeviceContext(output);
    GiveUpPixels(output);
    NoteHeld(output);
}

HDC ScreenOutputGetDC(DrawingOutput* output) {
    if (output->dc)
        return output->dc;
    GiveUpPixels(output);
    IDirect3DSurface9* backBuffer = ScreenStateGet()->backBuffer;
    HDC dc = nullptr;
    if (backBuffer && SUCCEEDED(backBuffer->GetDC(&dc)))
        output->dc = dc;
    NoteHeld(output);
    return output->dc;
}

void* ScreenOutputLockPixels(DrawingOutput* output, int32_t* pitchOut) {
    GiveUpDeviceContext(output);
    // Asked even when the pixels are held: the second lock fails and the held pointer and
    // pitch stay as they are.
    IDirect3DSurface9* backBuffer = ScreenStateGet()->backBuffer;
    D3DLOCKED_RECT locked;
    if (backBuffer && SUCCEEDED(backBuffer->LockRect(&locked, nullptr, 0))) {
        output->pixels = locked.pBits;
        *pitchOut = locked.Pitch;
    }
    NoteHeld(output);
    return output->pixels;
}
