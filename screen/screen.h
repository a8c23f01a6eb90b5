// The screen: one Direct3D 9 device whose back buffer is presented into a borderless child
// window of an application window. d3d9.dll is loaded by name at run time, so the program
// starts (without a screen) on a system that lacks it. The back buffer doubles as a drawing
// output, reachable through a GDI device context or through its locked pixels.
#pragma once

#include <windows.h>

#include <d3d9.h>

#include <cstddef>
#include <cstdint>

#include "core/registry.h"
#include "drawing/session.h"
#include "screen/screen_d3d9.h"

// Start-up: sprite registry, hidden base window, Direct3D 9 and a check that the default
// adapter has a display mode in a 15-, 16- or 32-bit format. 1 when ready, 0 otherwise
// (also for a second call after a successful one).
int32_t ScreenInit();

// Opens a width x height screen in a child window at x, y of the parent's client area; with
// autoStretch the child is refitted to the parent, less the margins, whenever the parent is
// resized. Presents on the vertical retrace. Closes any open screen first. 1 when open.
int32_t ScreenOpenWindowed(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t autoStretch, int32_t rightMargin, int32_t bottomMargin);
// The general form: synchronised 0 presents immediately instead of on the retrace.
int32_t ScreenOpenInWindow(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t autoStretch, int32_t rightMargin, int32_t bottomMargin,
                           int32_t synchronised);

// Per frame: fill the back buffer with a colour 0x00BBGGRR; show the frame. The flip returns 0
// when it finds the device unusable (lost beyond its short wait, refused reset, driver error).
void ClearScreen(uint32_t color);
int32_t ScreenFlip();

// The back buffer as a drawing output with its device context in hand, made current; null
// without a back buffer or when the device context or the record cannot be had.
DrawingOutput* ScreenDrawingOutput();

// Shutdown: gives up the open screen (sprites, back buffer, device, child window); then also
// the Direct3D 9 object and the sprite registry.
void ScreenClose();
void ScreenShutdown();

// Parts of the above, open for tests.
int32_t BaseWindowCreate();
int32_t ScreenFitChild();
// target: a sprite number, or -1 for the back buffer.
int32_t ScreenSelectTarget(ObjectNumber target);
// ScreenPresentParams (screen_d3d9.h) with the screen's Direct3D object.
HRESULT ScreenBuildPresentParams(D3DPRESENT_PARAMETERS* params, HWND window, int32_t width,
                                 int32_t height, int32_t windowed, uint32_t flags);
void ScreenRecordFormat(const D3DPRESENT_PARAMETERS* params);
int32_t FormatBitsPerPixel(D3DFORMAT format);
void ScreenDefaultStates();
void ScreenOutputRelease(DrawingOutput* output, int32_t final);
HDC ScreenOutputGetDC(DrawingOutput* output);
void* ScreenOutputLockPixels(DrawingOutput* output, int32_t* pitchOut);
// Colour 0x00BBGGRR as Direct3D takes it, 0x00RRGGBB.
D3DCOLOR ScreenColorToD3D(uint32_t color);

// Sprite registry slots are added this many at a time; no operation here creates a sprite.
constexpr int32_t SPRITE_REGISTRY_GROWTH = 64;

// How long the flip waits for a lost device before it drops the frame.
constexpr uint32_t SCREEN_LOSS_WAIT_MILLISECONDS = 32;

// The window property that marks a parent whose procedure is ScreenParentProc, and the one
// that keeps that parent's own procedure.
constexpr char SCREEN_PARENT_PROPERTY[] = "qw_dxsize";
constexpr char SCREEN_PARENT_PROC_PROPERTY[] = "qw_dxproc";

struct SpriteRecord {
    IUnknown* interfaces[4]; // released in this order
};

// A slot of the sprite registry. Its first word is what makes it live (see core/registry.h).
struct SpriteSlot {
    SpriteRecord* record; // a block of the private heap
    uint8_t reserved[72]; // unused by this program; the slot keeps its 76 bytes
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(SpriteSlot) == 76, "sprite slot of 76 bytes");
#endif

// What the flip knows of the device from one frame to the next (screen_present.cpp acts on it).
// Written only through ScreenSetDeviceState.
enum class ScreenDeviceState : int32_t {
    // No device work: the device is unusable, could not be reset, or its present failed.
    // Nothing but a new open makes it usable again.
    Idle,
    // Each flip checks it, resets it after a short loss, and presents.
    Usable,
    // Lost beyond one wait, or found lost by the present: each flip asks once, without
    // waiting, and resets it as soon as it can be reset.
    LongLost,
};

struct ScreenState {
    int32_t started;
    IDirect3D9* direct3d;
    ObjectRegistry* SpriteRegistry;
    HWND baseWindow;
    int32_t baseWindowReady;
    int32_t open;
    ScreenDeviceState deviceState;
    int32_t windowed;
    HWND parentWindow; // kept after close
    HWND childWindow;
    WNDPROC savedParentProc;
    WNDPROC savedChildProc;
    int32_t x;
    int32_t y;
    int32_t autoStretch;
    int32_t rightMargin;
    int32_t bottomMargin;
    int32_t screenWidth; // non-zero: a screen exists
    int32_t screenHeight;
    int32_t targetWidth;
    int32_t targetHeight;
    ObjectNumber currentTarget; // sprite number, -1 for the back buffer
    IDirect3DDevice9* device;
    IDirect3DSurface9* backBuffer; // one reference held
    D3DPRESENT_PARAMETERS presentParams;
    int32_t depth;
    int32_t pixelFormatCode;
    // A drawing output holds the back buffer's device context or its locked pixels; the
    // surface must then be neither presented, reset nor released.
    int32_t backBufferHeld;
};

// The one record of the process.
ScreenState* ScreenStateGet();
// The one writer of the record's deviceState.
void ScreenSetDeviceState(ScreenState* state, ScreenDeviceState device);
