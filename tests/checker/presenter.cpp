// A stand-in for onebox.exe's screen that the frame checker is tested against: Wine's own
// Direct3D 9 presents into a STATIC child of an 800x600 window, every frame grey with black
// 20x20 boxes, until the window is closed (exit code 0).
//
//   presenter.exe [good | gdi | two | skipclear | ignoreclose | keepaftermove]
//
// good:      one box per frame at a random place, filled by Direct3D itself.
// gdi:       the same box drawn through the back buffer's device context, as onebox.exe draws
//            its image.
// two:       two boxes per frame, one in each half of the screen.
// skipclear: every third frame keeps the previous frame instead of clearing it, so that frame
//            shows the previous box and its own; boxes alternate between the screen's halves
//            so the two never touch.
// ignoreclose:   as good, but WM_CLOSE is ignored: the program never ends by itself.
// keepaftermove: as good until the window has been moved, then no frame is cleared, so the
//                boxes pile up.
//
// d3d9.dll is loaded at run time, as onebox.exe does, so the program starts without it.
#include <windows.h>

#include <d3d9.h>

#include <cstdlib>
#include <cstring>

#include "app/title.h"
#include "tests/support/bare_d3d9.h"

namespace {

const int BOX = 20;

enum Mode {
    MODE_GOOD,
    MODE_GDI,
    MODE_TWO,
    MODE_SKIP_CLEAR,
    MODE_IGNORE_CLOSE,
    MODE_KEEP_AFTER_MOVE
};

Mode mode = MODE_GOOD;
bool closed = false;
bool moved = false;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        closed = mode != MODE_IGNORE_CLOSE;
        return 0;
    }
    // The end of a move by the caption: the system's move loop has returned.
    if (message == WM_EXITSIZEMOVE)
        moved = true;
    return DefWindowProcA(window, message, wParam, lParam);
}

unsigned state = 12345;
// x in [lo, hi], a small generator of its own so runs do not depend on the C runtime's.
int RandomIn(int lo, int hi) {
    state = state * 1103515245u + 12345u;
    return lo + static_cast<int>((state >> 8) % static_cast<unsigned>(hi - lo + 1));
}

void FillBox(IDirect3DDevice9* device, int x, int y) {
    D3DRECT r = {x, y, x + BOX, y + BOX};
    device->Clear(1, &r, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
}

void DrawBoxThroughDc(IDirect3DDevice9* device, int x, int y) {
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)))
        return;
    HDC dc = nullptr;
    if (SUCCEEDED(back->GetDC(&dc))) {
        RECT r = {x, y, x + BOX, y + BOX};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        back->ReleaseDC(dc);
    }
    back->Release();
}

// Clears (unless told not to) and draws the frame's boxes.
void DrawFrame(IDirect3DDevice9* device, Mode mode, unsigned frame) {
    bool clear =
        !(mode == MODE_SKIP_CLEAR && frame % 3 == 2) && !(mode == MODE_KEEP_AFTER_MOVE && moved);
    if (clear)
        device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0x88, 0x88, 0x88), 1.0f, 0);
    int y = RandomIn(5, 575);
    switch (mode) {
    case MODE_GOOD:
    case MODE_IGNORE_CLOSE:
    case MODE_KEEP_AFTER_MOVE:
        FillBox(device, RandomIn(5, 775), y);
        break;
    case MODE_GDI:
        DrawBoxThroughDc(device, RandomIn(5, 775), y);
        break;
    case MODE_TWO:
        FillBox(device, RandomIn(5, 370), y);
        FillBox(device, RandomIn(410, 775), RandomIn(5, 575));
        break;
    case MODE_SKIP_CLEAR:
        FillBox(device, frame % 2 ? RandomIn(410, 775) : RandomIn(5, 370), y);
        break;
    }
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (std::strstr(commandLine, "gdi"))
        mode = MODE_GDI;
    else if (std::strstr(commandLine, "two"))
        mode = MODE_TWO;
    else if (std::strstr(commandLine, "skipclear"))
        mode = MODE_SKIP_CLEAR;
    else if (std::strstr(commandLine, "ignoreclose"))
        mode = MODE_IGNORE_CLOSE;
    else if (std::strstr(commandLine, "keepaftermove"))
        mode = MODE_KEEP_AFTER_MOVE;
    state = GetTickCount();

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ParentProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "OneboxPresenter";
    RegisterClassA(&windowClass);
    HWND child = nullptr;
    HWND parent = BareWindow("OneboxPresenter", PROGRAM_TITLE, &child);
    if (!parent)
        return 2;
    IDirect3DDevice9* device = BareDevice(child);
    if (!device)
        return 3;
    for (unsigned frame = 0; !closed; ++frame) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DrawFrame(device, mode, frame);
    }
    device->Release();
    DestroyWindow(parent);
    return 0;
}
