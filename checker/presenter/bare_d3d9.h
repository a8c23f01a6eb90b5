// For the programs that present with Direct3D 9 and none of onebox's runtime (the frame
// checker's test presenter, the frame benchmark's bare loop): a window with an 800x600 client
// area and a STATIC child, and a device on the child made with the present parameters of
// onebox's screen, loaded and built by the screen's own inline definitions.
#pragma once
#include <windows.h>

#include <d3d9.h>

#include "app/picture.h"
#include "screen/screen_d3d9.h"

// A visible top-level window of a registered class, with caption and close box, centred, and
// an 800x600 STATIC child over its client area. Null (and no child) on failure.
inline HWND BareWindow(const char* className, const char* title, HWND* child) {
    const DWORD style = WS_CAPTION | WS_SYSMENU;
    RECT r = {0, 0, PICTURE_WIDTH, PICTURE_HEIGHT};
    AdjustWindowRect(&r, style, FALSE);
    int w = r.right - r.left, h = r.bottom - r.top;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND parent = CreateWindowA(
        className, title, style | WS_VISIBLE, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
        (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, nullptr, nullptr, instance, nullptr);
    *child = parent ? CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, PICTURE_WIDTH,
                                    PICTURE_HEIGHT, parent, nullptr, instance, nullptr)
                    : nullptr;
    if (parent && !*child) {
        DestroyWindow(parent);
        parent = nullptr;
    }
    return parent;
}

// The present parameters of the device on the child: those of onebox's screen as its main
// routine opens it, 800x600, windowed, lockable and presented on the vertical retrace.
inline HRESULT BarePresentParams(IDirect3D9* direct3d, HWND child,
                                 D3DPRESENT_PARAMETERS* parameters) {
    return ScreenPresentParams(direct3d, parameters, child, PICTURE_WIDTH, PICTURE_HEIGHT, TRUE,
                               PRESENT_LOCKABLE);
}

// The device on the child, with d3d9.dll loaded at run time as onebox loads it; null when
// there is no Direct3D 9 or no device. flipBuffers > 0: a flip chain of that many back buffers
// (D3DSWAPEFFECT_FLIP) instead of the screen's one buffer copied at each present.
inline IDirect3DDevice9* BareDevice(HWND child, UINT flipBuffers = 0) {
    Direct3DCreate9Function create = ScreenLoadDirect3D9();
    IDirect3D9* direct3d = create ? create(SCREEN_SDK_VERSION) : nullptr;
    if (!direct3d)
        return nullptr;
    D3DPRESENT_PARAMETERS parameters;
    IDirect3DDevice9* device = nullptr;
    HRESULT result = BarePresentParams(direct3d, child, &parameters);
    if (flipBuffers > 0) {
        parameters.BackBufferCount = flipBuffers;
        parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    }
    if (SUCCEEDED(result))
        result = direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, child,
                                        D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device);
    // The device holds its own reference to the object.
    direct3d->Release();
    return SUCCEEDED(result) ? device : nullptr;
}
