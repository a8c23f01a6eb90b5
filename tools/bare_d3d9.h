// For the programs that present with Direct3D 9 and none of onebox's code (the frame checker's
// test presenter, the frame benchmark's bare loop): a window with an 800x600 client area and a
// STATIC child, and a device on the child made with the present parameters of onebox's screen.
#pragma once
#include <windows.h>

#include <d3d9.h>

// A visible top-level window of a registered class, with caption and close box, centred, and
// an 800x600 STATIC child over its client area. Null (and no child) on failure.
inline HWND BareWindow(const char* className, const char* title, HWND* child) {
    const DWORD style = WS_CAPTION | WS_SYSMENU;
    RECT r = {0, 0, 800, 600};
    AdjustWindowRect(&r, style, FALSE);
    int w = r.right - r.left, h = r.bottom - r.top;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND parent = CreateWindowA(
        className, title, style | WS_VISIBLE, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
        (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, nullptr, nullptr, instance, nullptr);
    *child = parent ? CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 800, 600, parent,
                                    nullptr, instance, nullptr)
                    : nullptr;
    if (parent && !*child) {
        DestroyWindow(parent);
        parent = nullptr;
    }
    return parent;
}

// The device on the child, with d3d9.dll loaded at run time as onebox loads it; null when
// there is no Direct3D 9 or no device.
inline IDirect3DDevice9* BareDevice(HWND child) {
    typedef IDirect3D9*(WINAPI * Create)(UINT);
    HMODULE library = LoadLibraryA("d3d9.dll");
    Create create = library ? reinterpret_cast<Create>(reinterpret_cast<void (*)()>(
                                  GetProcAddress(library, "Direct3DCreate9")))
                            : nullptr;
    IDirect3D9* direct3d = create ? create(D3D_SDK_VERSION) : nullptr;
    if (!direct3d)
        return nullptr;
    D3DDISPLAYMODE mode;
    direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = 800;
    parameters.BackBufferHeight = 600;
    parameters.BackBufferFormat = mode.Format;
    parameters.BackBufferCount = 1;
    // Copy keeps the back buffer's content after a present, so a skipped clear really shows
    // the previous frame underneath the new box.
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = child;
    parameters.Windowed = TRUE;
    parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    IDirect3DDevice9* device = nullptr;
    HRESULT result =
        direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, child,
                               D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device);
    // The device holds its own reference to the object.
    direct3d->Release();
    return SUCCEEDED(result) ? device : nullptr;
}
