// SetPixelColorAt over a whole 800x600 output: the direct write into pixel memory against the
// same fill through SetPixelV on the output's device context, measured in one run.
//
//   tools/wine-run.sh build/mingw/bench/pixel_fill/pixel_fill_bench.exe
//
// The output is a screen-kind output over a 32-bit DIB section whose callbacks switch between
// a memory device context and the section's memory, as the screen's back buffer does.
#include <windows.h>

#include <cstdio>

#include "core/platform.h"
#include "drawing/primitives.h"
#include "image/image.h"

namespace {

const int32_t WIDTH = 800, HEIGHT = 600;

HBITMAP section;
void* sectionBits;

HDC TakeDeviceContext(DrawingOutput* output) {
    if (!output->dc) {
        output->pixels = nullptr;
        output->dc = CreateCompatibleDC(nullptr);
        SelectObject(output->dc, section);
    }
    return output->dc;
}

void* TakePixelMemory(DrawingOutput* output, int32_t* pitch) {
    if (output->dc) {
        DeleteDC(output->dc);
        output->dc = nullptr;
    }
    GdiFlush();
    *pitch = WIDTH * 4;
    return output->pixels = sectionBits;
}

void ReleaseTarget(DrawingOutput* output, int32_t) {
    if (output->dc) {
        DeleteDC(output->dc);
    }
    output->dc = nullptr;
    output->pixels = nullptr;
}

DrawingOutput* OpenOutput() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = WIDTH;
    info.bmiHeader.biHeight = -HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    if (!section) {
        return nullptr;
    }
    DrawingOutput* output = DrawingOutputCreate();
    output->kind = OUTPUT_KIND_SCREEN;
    output->width = WIDTH;
    output->height = HEIGHT;
    output->depth = 32;
    output->pixelFormat = PIXEL_FORMAT_32;
    output->acquireDeviceContext = TakeDeviceContext;
    output->acquirePixels = TakePixelMemory;
    output->releaseOutput = ReleaseTarget;
    output->dc = TakeDeviceContext(output);
    return DrawingBegin(output) ? output : nullptr;
}

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
    DrawingSessionsInit();
    ImageRegistryInit();
    DrawingOutput* output = OpenOutput();
    if (!output) {
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
    std::printf("target: screen-kind output over a 32-bit DIB section, %dx%d\n", WIDTH, HEIGHT);
    std::printf("SetPixelColorAt direct: %.0f pixels/s\n", direct);
    std::printf("SetPixelV on the device context: %.0f pixels/s\n", gdi);
    std::printf("ratio: %.1f\n", direct / gdi);
    DrawingEnd();
    DeleteObject(section);
    PrivateHeapDestroy();
    return 0;
}
