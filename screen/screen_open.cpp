// Opening the screen in a child window of an application window, and the two window
// procedures that present the last frame again after a repaint or a resize.
#include "screen/screen.h"

namespace {

LRESULT CALLBACK ScreenParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ScreenChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The procedure the parent had before ScreenParentProc. Kept on the parent itself, so that
// screens opened in turn in two windows each pass messages to their own window's procedure.
WNDPROC ParentProcOf(HWND window) {
    WNDPROC saved = reinterpret_cast<WNDPROC>(GetPropA(window, SCREEN_PARENT_PROC_PROPERTY));
    return saved ? saved : ScreenStateGet()->savedParentProc;
}

// Presenting from inside message dispatch is deliberate: it is what shows the last frame
// again while the main routine is between frames (repaint of the child, resize of the parent).
LRESULT CALLBACK ScreenParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ScreenState* state = ScreenStateGet();
    if (state->open && message == WM_SIZE) {
        ScreenFitChild();
        if (state->screenWidth)
            ScreenFlip();
    }
    return CallWindowProcA(ParentProcOf(window), window, message, wParam, lParam);
}

LRESULT CALLBACK ScreenChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ScreenState* state = ScreenStateGet();
    if (state->open && message == WM_PAINT) {
        // The static control validates the child first; with a copy swap effect the back
        // buffer still holds the last frame, which the flip then puts back on top.
        LRESULT result = CallWindowProcA(state->savedChildProc, window, message, wParam, lParam);
        if (state->screenWidth)
            ScreenFlip();
        return result;
    }
    return CallWindowProcA(state->savedChildProc, window, message, wParam, lParam);
}

// Undoes a failed open, so that nothing it got outlives it: the device, the child window and
// the size that tells the window procedures a screen exists. The screen is closed as an open
// one would be.
int32_t OpenFailed(ScreenState* state) {
    state->open = 1;
    ScreenClose();
    return 0;
}

} // namespace

int32_t ScreenOpenWindowed(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t autoStretch, int32_t rightMargin, int32_t bottomMargin) {
    return ScreenOpenInWindow(parent, x, y, width, height, autoStretch, rightMargin, bottomMargin,
                              1);
}

int32_t ScreenOpenInWindow(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t autoStretch, int32_t rightMargin, int32_t bottomMargin,
                           int32_t synchronised) {
    ScreenState* state = ScreenStateGet();
    ScreenClose();
    if (!parent) {
        RegistryFreeAll(state->SpriteRegistry);
        return 0;
    }
    if (!state->direct3d)
        return 0;

    state->currentTarget = -1;
    state->x = x;
    state->y = y;
    state->rightMargin = rightMargin;
    state->bottomMargin = bottomMargin;
    state->autoStretch = autoStretch;
    state->windowed = 1;
    state->parentWindow = parent;
    state->targetWidth = state->screenWidth = width;
    state->targetHeight = state->screenHeight = height;
    // A loss of the screen before does not carry over to this one.
    if (state->deviceState == ScreenDeviceState::LongLost)
        ScreenSetDeviceState(state, ScreenDeviceState::Idle);
    state->backBufferHeld = 0;

    state->childWindow =
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                        nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!state->childWindow)
        return OpenFailed(state);
    ScreenFitChild();
    uint32_t flags = synchronised ? PRESENT_LOCKABLE : PRESENT_LOCKABLE | PRESENT_IMMEDIATE;
    if (ScreenBuildPresentParams(&state->presentParams, state->childWindow, width, height, 1,
                                 flags))
        return OpenFailed(state);
    D3DCAPS9 caps;
    if (FAILED(state->direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps)))
        return OpenFailed(state);
    DWORD behaviour = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT)
                          ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                          : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (FAILED(state->direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, state->childWindow,
                                             behaviour, &state->presentParams, &state->device))) {
        state->device = nullptr;
        return OpenFailed(state);
    }
    ScreenRecordFormat(&state->presentParams);
    // On failure the back buffer stays null, and its users skip it.
    if (FAILED(state->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &state->backBuffer)))
        state->backBuffer = nullptr;
    state->device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 0.0f, 0);

    if (!GetPropA(parent, SCREEN_PARENT_PROPERTY)) {
        state->savedParentProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ScreenParentProc)));
        SetPropA(parent, SCREEN_PARENT_PROC_PROPERTY,
                 reinterpret_cast<HANDLE>(state->savedParentProc));
        SetPropA(parent, SCREEN_PARENT_PROPERTY, reinterpret_cast<HANDLE>(1));
    }
    state->savedChildProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        state->childWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ScreenChildProc)));
    ScreenDefaultStates();
    state->open = 1;
    ScreenSetDeviceState(state, ScreenDeviceState::Usable);
    return 1;
}

int32_t ScreenFitChild() {
    ScreenState* state = ScreenStateGet();
    if (!state->autoStretch)
        return 0;
    RECT client;
    GetClientRect(state->parentWindow, &client);
    // Only the child's size follows the parent; the back buffer keeps its size and the
    // present stretches it.
    return SetWindowPos(state->childWindow, nullptr, 0, 0,
                        client.right - state->rightMargin - state->x,
                        client.bottom - state->bottomMargin - state->y,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);
}

HRESULT ScreenBuildPresentParams(D3DPRESENT_PARAMETERS* params, HWND window, int32_t width,
                                 int32_t height, int32_t windowed, uint32_t flags) {
    return ScreenPresentParams(ScreenStateGet()->direct3d, params, window, width, height, windowed,
                               flags);
}

namespace {

// Bits per pixel of each format, and the drawing layer's pixel format code for the three a
// screen can have (0: the recorded code stays as it was).
const struct {
    D3DFORMAT format;
    int32_t bits;
    int32_t code;
} FORMATS[] = {
    {D3DFMT_R8G8B8, 24, 0},
    {D3DFMT_A8R8G8B8, 32, 0},
    {D3DFMT_X8R8G8B8, 32, PIXEL_FORMAT_32},
    {D3DFMT_A2B10G10R10, 32, 0},
    {D3DFMT_G16R16, 32, 0},
    {D3DFMT_A2R10G10B10, 32, 0},
    {D3DFMT_R5G6B5, 16, PIXEL_FORMAT_16},
    {D3DFMT_X1R5G5B5, 16, PIXEL_FORMAT_15},
    {D3DFMT_A1R5G5B5, 16, 0},
    {D3DFMT_A4R4G4B4, 16, 0},
    {D3DFMT_A8R3G3B2, 16, 0},
    {D3DFMT_X4R4G4B4, 16, 0},
    {D3DFMT_R3G3B2, 8, 0},
    {D3DFMT_A8, 8, 0},
    {D3DFMT_A16B16G16R16, 64, 0},
};

} // namespace

void ScreenRecordFormat(const D3DPRESENT_PARAMETERS* params) {
    ScreenState* state = ScreenStateGet();
    for (const auto& entry : FORMATS)
        if (entry.format == params->BackBufferFormat && entry.code)
            state->pixelFormatCode = entry.code;
    state->depth = FormatBitsPerPixel(params->BackBufferFormat);
}

int32_t FormatBitsPerPixel(D3DFORMAT format) {
    for (const auto& entry : FORMATS)
        if (entry.format == format)
            return entry.bits;
    return 0;
}

void ScreenDefaultStates() {
    IDirect3DDevice9* device = ScreenStateGet()->device;
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetSoftwareVertexProcessing(FALSE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
}
