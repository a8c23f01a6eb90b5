// Screen start-up and shutdown: the sprite registry, the hidden base window, Direct3D 9 loaded
// by name, and the state record every other screen operation works on.
#include "core/platform.h"
#include "screen/screen.h"

namespace {

const char BASE_CLASS_NAME[] = "MultimediaBase Class";

ScreenState state = [] {
    ScreenState initial = {};
    initial.currentTarget = -1;
    return initial;
}();

void SpriteRecordRelease(SpriteRecord* record) {
    if (!record)
        return;
    for (IUnknown* reference : record->interfaces)
        if (reference)
            reference->Release();
    PrivateHeapFree(record);
}

void SpriteFree(ObjectNumber number) {
    SpriteSlot* slot = static_cast<SpriteSlot*>(RegistryLookup(state.SpriteRegistry, number));
    if (!slot)
        return;
    SpriteRecordRelease(slot->record);
    RegistryRelease(state.SpriteRegistry, number);
}

LRESULT CALLBACK BaseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (!state.windowed)
            ScreenSetDeviceState(&state, LOWORD(wParam) != 0 ? ScreenDeviceState::Usable
                                                             : ScreenDeviceState::Idle);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 1;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE: // the base window cannot be closed
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

ScreenState* ScreenStateGet() { return &state; }

int32_t BaseWindowCreate() {
    if (state.baseWindowReady || state.parentWindow)
        return state.baseWindowReady;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = BaseWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = BASE_CLASS_NAME;
    if (!RegisterClassExA(&windowClass))
        return state.baseWindowReady;
    state.baseWindow = CreateWindowExA(0, BASE_CLASS_NAME, "", WS_POPUP, 0, 0, 1, 1, nullptr,
                                       nullptr, instance, nullptr);
    if (state.baseWindow)
        state.baseWindowReady = 1;
    return state.baseWindowReady;
}

int32_t ScreenInit() {
    // A second start-up keeps the registry and whatever it holds; shutdown gives it back.
    if (!state.SpriteRegistry)
        state.SpriteRegistry =
            RegistryCreate(sizeof(SpriteSlot), SPRITE_REGISTRY_GROWTH, SpriteFree);
    if (!BaseWindowCreate())
        return 0;
    if (state.started)
        return 0;
    Direct3DCreate9Function create = ScreenLoadDirect3D9();
    if (!create)
        return 0;
    state.direct3d = create(SCREEN_SDK_VERSION);
    if (!state.direct3d)
        return 0;
    static const D3DFORMAT SCREEN_FORMATS[] = {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};
    UINT modes = 0;
    for (D3DFORMAT format : SCREEN_FORMATS)
        modes += state.direct3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, format);
    if (modes > 0) {
        state.started = 1;
        return 1;
    }
    state.direct3d->Release();
    state.direct3d = nullptr;
    return 0;
}

void ScreenShutdown() {
    if (state.started) {
        ScreenClose();
        state.direct3d->Release();
        state.direct3d = nullptr;
        state.started = 0;
    }
    // The registry is made even when the start-up fails later, and lives in the private heap,
    // which the caller destroys next.
    RegistryFreeAll(state.SpriteRegistry);
    RegistryDestroy(state.SpriteRegistry);
    state.SpriteRegistry = nullptr;
}

void ScreenClose() {
    if (!state.open)
        return;
    RegistryFreeAll(state.SpriteRegistry);
    if (state.device) {
        // The surface belongs to the device's swap chain: give it back before the device.
        if (state.backBuffer)
            state.backBuffer->Release();
        state.device->Release();
        state.device = nullptr;
        state.backBuffer = nullptr;
    }
    state.screenWidth = 0;
    state.screenHeight = 0;
    if (state.windowed) {
        state.windowed = 0;
        DestroyWindow(state.childWindow);
        state.childWindow = nullptr;
        InvalidateRect(state.parentWindow, nullptr, TRUE);
    }
    state.open = 0;
}
