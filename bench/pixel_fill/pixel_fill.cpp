// SetPixelColorAt over a whole 800x600 screen output: the direct write into its pixel memory
// against the same fill through SetPixelV on its device context, measured in one run.
//
//   tools/wine-run.sh build/mingw/bench/pixel_fill/pixel_fill_bench.exe
//
// The output is the back buffer of a screen opened on Wine's Direct3D 9, made as the program
// makes it.
#include <windows.h>

#include <cstdio>

#include "app/runtime.h"
#include "core/platform.h"
#include "drawing/primitives.h"
#include "screen/screen.h"

namespace {

const int32_t WIDTH = 800, HEIGHT = 600;

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

// Fills the output `rounds` times with a colour that changes per round, so that no fill writes
// what is already there; returns pixels per second.
template <typename SetPixel> double FillRate(int32_t rounds, SetPixel set) {
    const double start = Seconds();
    for (int32_t round = 0; round < rounds; ++round) {
        const Color color = RGB(round * 37, 255 - round * 11, round * 5);
        for (int32_t y = 0; y < HEIGHT; ++y) {
            for (int32_t x = 0; x < WIDTH; ++x) {
                set(x, y, color);
            }
        }
    }
    return double(rounds) * WIDTH * HEIGHT / (Seconds() - start);
}

} // namespace

int main() {
    PrivateHeapCreate(0);
    RuntimeStartup();
    RECT frame = {0, 0, WIDTH, HEIGHT};
    AdjustWindowRect(&frame, WS_CAPTION | WS_SYSMENU, FALSE);
    HWND window = CreateWindowExA(0, "STATIC", "pixel fill", WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                                  0, 0, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    DrawingOutput* output = nullptr;
    if (ScreenInit() && ScreenOpenWindowed(window, 0, 0, WIDTH, HEIGHT, 0, 0, 0)) {
        ClearScreen(0x888888);
        output = ScreenDrawingOutput();
    }
    if (!DrawingBegin(output)) {
        std::printf("pixel_fill: no output\n");
        return 1;
    }
    const double direct = FillRate(20, [output](int32_t x, int32_t y, Color color) {
        output->operations.setPixelColorAt(output, x, y, color);
    });
    // The device context comes back with the first device-context operation.
    output->operations.getPixelAt(output, 0, 0);
    const double gdi = FillRate(
        1, [output](int32_t x, int32_t y, Color color) { SetPixelV(output->dc, x, y, color); });
    std::printf("target: back buffer of a screen on Direct3D 9, %dx%d, pixel format code %d\n",
                WIDTH, HEIGHT, output->pixelFormat);
    std::printf("SetPixelColorAt, direct write: %.0f pixels/s\n", direct);
    std::printf("SetPixelV on the device context: %.0f pixels/s\n", gdi);
    std::printf("ratio: %.1f\n", direct / gdi);
    DrawingEnd();
    RuntimeShutdown();
    DestroyWindow(window);
    PrivateHeapDestroy();
    return 0;
}
