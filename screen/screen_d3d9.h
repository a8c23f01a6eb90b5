// What the screen shares with the programs that present with Direct3D 9 and none of the
// runtime (checker/presenter/bare_d3d9.h: the frame benchmark's bare loop, the frame checker's
// presenter): how d3d9.dll is loaded, and the present parameters of a screen. Inline and on d3d9.h
// alone, so those programs link no library of onebox's and still cannot drift from the screen.
#pragma once

#include <windows.h>

#include <d3d9.h>

#include <cstdint>

// ScreenPresentParams flags.
constexpr uint32_t PRESENT_LOCKABLE = 0x20;
constexpr uint32_t PRESENT_IMMEDIATE = 0x04;

// The version the screen asks Direct3DCreate9 for.
constexpr UINT SCREEN_SDK_VERSION = 32;

typedef IDirect3D9*(WINAPI* Direct3DCreate9Function)(UINT sdkVersion);

// d3d9.dll loaded by name, so that a program starts (without a screen) on a system that lacks
// it, and its Direct3DCreate9; null when either is missing. Never unloaded: the device's code
// must stay mapped as long as any interface may be used.
inline Direct3DCreate9Function ScreenLoadDirect3D9() {
    HMODULE library = LoadLibraryA("d3d9.dll");
    if (!library)
        return nullptr;
    return reinterpret_cast<Direct3DCreate9Function>(
        reinterpret_cast<void*>(GetProcAddress(library, "Direct3DCreate9")));
}

// The present parameters of a width x height back buffer on the window, in the default
// adapter's display format. E_FAIL when the display mode cannot be read.
inline HRESULT ScreenPresentParams(IDirect3D9* direct3d, D3DPRESENT_PARAMETERS* params, HWND window,
                                   int32_t width, int32_t height, int32_t windowed,
                                   uint32_t flags) {
    *params = D3DPRESENT_PARAMETERS{};
    params->BackBufferWidth = width;
    params->BackBufferHeight = height;
    params->hDeviceWindow = window;
    params->Windowed = windowed;
    D3DDISPLAYMODE mode;
    if (FAILED(direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)))
        return E_FAIL;
    params->BackBufferFormat = mode.Format;
    params->BackBufferCount = 1;
    // Copy keeps the back buffer after a present, which the repaint of the child relies on
    // (and the presenter's skipped clear, which must show the previous frame underneath).
    params->SwapEffect = D3DSWAPEFFECT_COPY;
    params->PresentationInterval =
        (flags & PRESENT_IMMEDIATE) ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
    // The drawing output locks the back buffer to hand out its pixels.
    if (flags & PRESENT_LOCKABLE)
        params->Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    return 0;
}
