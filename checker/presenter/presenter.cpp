// A stand-in for onebox.exe's screen that the frame checker is tested against, and the control
// of the layer report: Wine's own Direct3D 9 presents into a STATIC child of a window of the
// picture's size, every frame the picture's grey with its black boxes (app/picture.h), until the
// window is closed (exit code 0).
//
//   presenter.exe [good | gdi | two | skipclear[=N] | stale=N | nodraw=N | ignoreclose |
//                  keepaftermove] [toplevel] [log=PATH]
//
// good:      one box per frame at a random place, filled by Direct3D itself.
// gdi:       the same box drawn through the back buffer's device context, as onebox.exe draws
//            its image.
// two:       two boxes per frame, one in each half of the screen.
// skipclear: every Nth frame (third, without =N) keeps the previous frame instead of clearing
//            it, so exactly that frame shows the previous box and its own; boxes alternate
//            between the screen's halves so the two never touch. A bug of one frame at a time,
//            at a known rate. Its known accounting: the Kth present with K a multiple of N holds
//            the boxes of frames K-1 and K, frame K drawn over frame K-1.
// stale=N:   a flip chain of three back buffers (D3DSWAPEFFECT_FLIP, which hands them round in
//            order), and every present K with K a multiple of N (N >= 2) presented without
//            drawing: its buffer was last drawn three presents before, so frame K-3's picture
//            comes back after frames K-2 and K-1 (K-6's when N is 3 and K-3 was itself not
//            drawn). Wine 8.0 rotates the back buffers alone, the window being the front one:
//            with two back buffers the recorder found frame K-2's box in present K. Each picture
//            holds one box, so on the screen alone it passes; its known accounting: one present
//            in N shows an older frame, out of order whenever it reaches the screen, with a
//            stale buffer as its cause.
// nodraw=N:  every present K with K a multiple of N (N >= 2) presented without clearing or
//            drawing: the copy swap effect keeps the buffer, so it is frame K-1's picture once
//            more. Its known accounting: one present in N repeats its predecessor, nothing new
//            to show (neither shown nor dropped), and no bad or out-of-order picture.
// ignoreclose:   as good, but WM_CLOSE is ignored: the program never ends by itself.
// keepaftermove: as good until the window has been moved, then no frame is cleared, so the
//                boxes pile up.
// toplevel:  the device presents into the top-level window itself, no child. Wine 8.0 shows
//            these frames on the screen with both of its renderers, so with `good` this is a
//            correct layer on this platform: the control that shows the checker works here.
// log=PATH:  at the end, writes the time of every present (seconds since 1970, one a line) to
//            PATH (a Windows path, Z:\tmp\... for a Unix one), for a watcher to count the
//            frames presented while it watched.
//
// d3d9.dll is loaded at run time, as onebox.exe does, so the program starts without it.
#include <windows.h>

#include <d3d9.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/picture.h"
#include "app/title.h"
#include "checker/presenter/bare_d3d9.h"

namespace {

// The boxes of two at once stay in the screen's halves, this far from its middle, so that they
// never touch: corners BOX_MIN..LEFT_MAX and RIGHT_MIN..BOX_MAX_X.
const int LEFT_MAX = PICTURE_WIDTH / 2 - 10 - BOX_SIZE;
const int RIGHT_MIN = PICTURE_WIDTH / 2 + 10;

enum Mode {
    MODE_GOOD,
    MODE_GDI,
    MODE_TWO,
    MODE_SKIP_CLEAR,
    MODE_STALE,
    MODE_NO_DRAW,
    MODE_IGNORE_CLOSE,
    MODE_KEEP_AFTER_MOVE
};

Mode mode = MODE_GOOD;
unsigned skipEvery = 3;
unsigned undrawnEvery = 0; // stale=N, nodraw=N
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
    D3DRECT r = {x, y, x + BOX_SIZE, y + BOX_SIZE};
    device->Clear(1, &r, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
}

void DrawBoxThroughDc(IDirect3DDevice9* device, int x, int y) {
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)))
        return;
    HDC dc = nullptr;
    if (SUCCEEDED(back->GetDC(&dc))) {
        RECT r = {x, y, x + BOX_SIZE, y + BOX_SIZE};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        back->ReleaseDC(dc);
    }
    back->Release();
}

// Clears (unless told not to) and draws the frame's boxes. frame counts from 0: present K,
// counted from 1 as the recorder counts them, is frame K-1.
void DrawFrame(IDirect3DDevice9* device, Mode mode, unsigned frame) {
    if (undrawnEvery && (frame + 1) % undrawnEvery == 0) {
        device->Present(nullptr, nullptr, nullptr, nullptr);
        return;
    }
    bool clear = !(mode == MODE_SKIP_CLEAR && frame % skipEvery == skipEvery - 1) &&
                 !(mode == MODE_KEEP_AFTER_MOVE && moved);
    if (clear)
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000 | GREY, 1.0f, 0);
    int y = RandomIn(BOX_MIN, BOX_MAX_Y);
    switch (mode) {
    case MODE_GOOD:
    case MODE_STALE:
    case MODE_NO_DRAW:
    case MODE_IGNORE_CLOSE:
    case MODE_KEEP_AFTER_MOVE:
        FillBox(device, RandomIn(BOX_MIN, BOX_MAX_X), y);
        break;
    case MODE_GDI:
        DrawBoxThroughDc(device, RandomIn(BOX_MIN, BOX_MAX_X), y);
        break;
    case MODE_TWO:
        FillBox(device, RandomIn(BOX_MIN, LEFT_MAX), y);
        FillBox(device, RandomIn(RIGHT_MIN, BOX_MAX_X), RandomIn(BOX_MIN, BOX_MAX_Y));
        break;
    case MODE_SKIP_CLEAR:
        FillBox(device, frame % 2 ? RandomIn(RIGHT_MIN, BOX_MAX_X) : RandomIn(BOX_MIN, LEFT_MAX),
                y);
        break;
    }
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

// Seconds since 1970 on the system clock, which under Wine is the Unix clock a watcher reads.
double WallClock() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    // 100 ns ticks since 1601.
    return static_cast<double>(ticks.QuadPart - 116444736000000000ULL) / 1e7;
}

void WriteLog(const std::string& path, const std::vector<double>& presents) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return;
    for (double t : presents)
        std::fprintf(file, "%.6f\n", t);
    std::fclose(file);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    const struct {
        const char* word;
        Mode mode;
    } modes[] = {{"good", MODE_GOOD},
                 {"gdi", MODE_GDI},
                 {"two", MODE_TWO},
                 {"skipclear", MODE_SKIP_CLEAR},
                 {"ignoreclose", MODE_IGNORE_CLOSE},
                 {"keepaftermove", MODE_KEEP_AFTER_MOVE}};
    bool toplevel = false;
    std::string logPath;
    for (char* word = std::strtok(commandLine, " "); word; word = std::strtok(nullptr, " ")) {
        std::string w = word;
        if (w == "toplevel")
            toplevel = true;
        else if (w.compare(0, 4, "log=") == 0)
            logPath = w.substr(4);
        else if (w.compare(0, 10, "skipclear=") == 0 && std::atoi(word + 10) >= 2)
            mode = MODE_SKIP_CLEAR, skipEvery = static_cast<unsigned>(std::atoi(word + 10));
        else if (w.compare(0, 6, "stale=") == 0 && std::atoi(word + 6) >= 2)
            mode = MODE_STALE, undrawnEvery = static_cast<unsigned>(std::atoi(word + 6));
        else if (w.compare(0, 7, "nodraw=") == 0 && std::atoi(word + 7) >= 2)
            mode = MODE_NO_DRAW, undrawnEvery = static_cast<unsigned>(std::atoi(word + 7));
        for (const auto& m : modes)
            if (w == m.word)
                mode = m.mode;
    }
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
    if (toplevel) {
        DestroyWindow(child);
        child = nullptr;
    }
    // stale: a flip chain of three back buffers, each holding what was drawn into it three
    // presents before.
    IDirect3DDevice9* device = BareDevice(toplevel ? parent : child, mode == MODE_STALE ? 3 : 0);
    if (!device)
        return 3;
    std::vector<double> presents;
    if (!logPath.empty())
        presents.reserve(1 << 16);
    for (unsigned frame = 0; !closed; ++frame) {
        // Paced as onebox's frame loop is: each turn waits up to 2 ms for a message. Without
        // it the loop presents 700 frames a second here, several times onebox's rate.
        MSG message;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DrawFrame(device, mode, frame);
        if (!logPath.empty())
            presents.push_back(WallClock());
    }
    if (!logPath.empty())
        WriteLog(logPath, presents);
    device->Release();
    DestroyWindow(parent);
    return 0;
}
