// The screen on Wine's own Direct3D 9: opening in a window, the back buffer's contents through
// the drawing output, presenting (scaled when the child is refitted), and the parent's window
// procedure taken over once.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "checker/presenter/bare_d3d9.h"
#include "drawing/session.h"
#include "screen/screen.h"
#include "screen_support.h"
#include "x_grab.h"
#include "x_input.h"

namespace {

class RealScreenTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_EQ(LoadD3d9Double(), nullptr) << "the test double was loaded instead of Wine's";
        // Fails loudly: without Wine's OpenGL library (libgl1:i386) Direct3DCreate9 returns
        // null and every screen of the program would silently stay closed.
        ASSERT_EQ(ScreenInit(), 1) << "Direct3D 9 cannot be created on this machine; is "
                                      "libgl1:i386 installed (tools/setup.sh)?";
    }
};

void FillRectangle(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
    RECT rect = {left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

TEST_F(RealScreenTest, BackBufferThroughTheDrawingOutput) {
    EXPECT_EQ(ScreenInit(), 0);
    HWND parent = MakeParent(800, 600);
    ASSERT_EQ(ScreenOpenWindowed(parent, 0, 0, 800, 600, 0, 0, 0), 1);
    ClearScreen(0x888888);

    DrawingOutput* output = ScreenDrawingOutput();
    ASSERT_NE(output, nullptr);
    HDC dc = output->dc;
    EXPECT_EQ(output->pixels, nullptr);
    EXPECT_EQ(output->width, 800);
    EXPECT_EQ(output->height, 600);
    EXPECT_EQ(output->depth, 32);
    EXPECT_EQ(output->pixelFormat, PIXEL_FORMAT_32);
    ASSERT_EQ(DrawingBegin(output), dc);
    ASSERT_NE(dc, nullptr);

    auto pixel = [output](int x, int y) {
        uint8_t* row = static_cast<uint8_t*>(output->pixels) + y * output->pitch;
        return reinterpret_cast<uint32_t*>(row)[x] & 0xFFFFFF;
    };
    void* pixels = output->acquirePixels(output, &output->pitch);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(output->dc, nullptr);
    EXPECT_GE(output->pitch, 3200);
    int wrong = 0;
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 800; x++)
            wrong += pixel(x, y) != 0x888888;
    EXPECT_EQ(wrong, 0) << "pixels that are not grey after ClearScreen(0x888888)";
    // A second lock fails on the locked surface: pointer and pitch stay.
    int32_t pitch = output->pitch;
    EXPECT_EQ(output->acquirePixels(output, &pitch), pixels);
    EXPECT_EQ(pitch, output->pitch);

    // The next device-context operation unlocks the surface, takes a new device context and
    // puts the session's state on it; what GDI draws there lands in the surface.
    output->accessState = ACCESS_PIXELS;
    output->frontColor = 0x0000FF;
    EnsureDeviceContext(output);
    EXPECT_EQ(output->pixels, nullptr);
    ASSERT_NE(output->dc, nullptr);
    EXPECT_EQ(GetTextColor(output->dc), 0x0000FFu);
    FillRectangle(output->dc, 100, 50, 120, 70, RGB(0, 0, 0));
    ASSERT_NE(output->acquirePixels(output, &output->pitch), nullptr);
    EXPECT_EQ(pixel(100, 50) | pixel(119, 69), 0u);
    EXPECT_EQ(pixel(99, 50) & pixel(120, 69), 0x888888u);
    DrawingEnd();
    EXPECT_EQ(ScreenStateGet()->backBufferHeld, 0);
    EXPECT_EQ(ScreenFlip(), 1);
    EXPECT_EQ(ScreenStateGet()->deviceState, ScreenDeviceState::Usable);
}

TEST_F(RealScreenTest, RefittedChildShowsTheWholeBackBufferScaled) {
    HWND parent = MakeParent(400, 300);
    ASSERT_EQ(ScreenOpenWindowed(parent, 10, 20, 800, 600, 1, 5, 5), 1);
    SendMessageA(parent, WM_SIZE, SIZE_RESTORED, MAKELPARAM(400, 300));
    RECT child;
    GetWindowRect(ScreenStateGet()->childWindow, &child);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&child), 2);
    EXPECT_EQ(child.left, 10);
    EXPECT_EQ(child.top, 20);
    EXPECT_EQ(child.right - child.left, 385);
    EXPECT_EQ(child.bottom - child.top, 275);

    // Left half red, right half blue, a black band along the bottom rows.
    DrawingOutput* output = ScreenDrawingOutput();
    ASSERT_NE(DrawingBegin(output), nullptr);
    FillRectangle(output->dc, 0, 0, 400, 600, RGB(255, 0, 0));
    FillRectangle(output->dc, 400, 0, 800, 600, RGB(0, 0, 255));
    FillRectangle(output->dc, 0, 500, 800, 600, RGB(0, 0, 0));
    DrawingEnd();
    EXPECT_EQ(ScreenFlip(), 1);
    XPump(200);
    EXPECT_EQ(ScreenFlip(), 1);

    auto frames = XGrabWindowsOfSize(385, 275);
    ASSERT_EQ(frames.size(), 1u) << "the child's own X window (OpenGL renderer)";
    const struct {
        int x, y;
        uint32_t rgb;
    } PROBES[] = {{10, 10, 0xFF0000},   {180, 200, 0xFF0000}, {205, 10, 0x0000FF},
                  {375, 200, 0x0000FF}, {10, 270, 0x000000},  {375, 270, 0x000000}};
    // The child's X window may stick out of the screen by a pixel at the top left (seen with
    // the parent near the desktop's corner); the probes keep clear of the edges.
    EXPECT_GE(frames[0].width, 384);
    EXPECT_GE(frames[0].height, 274);
    for (const auto& probe : PROBES)
        EXPECT_EQ(frames[0].At(probe.x, probe.y), probe.rgb) << probe.x << "," << probe.y;
}

int secondParentAppMessages;

LRESULT CALLBACK SecondParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP)
        secondParentAppMessages++;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(RealScreenTest, ParentProcedureIsTakenOverOncePerParent) {
    HWND first = MakeParent(320, 240);
    HWND second = MakeParent(320, 240);
    SetWindowLongPtrA(second, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SecondParentProc));
    secondParentAppMessages = 0;
    WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(first, GWLP_WNDPROC));
    ASSERT_EQ(ScreenOpenWindowed(first, 0, 0, 320, 240, 0, 0, 0), 1);
    WNDPROC screenProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(first, GWLP_WNDPROC));
    EXPECT_NE(screenProc, own);
    ASSERT_EQ(ScreenOpenWindowed(first, 0, 0, 320, 240, 0, 0, 0), 1);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(first, GWLP_WNDPROC)), screenProc);
    EXPECT_EQ(ScreenStateGet()->savedParentProc, own);
    // A screen opened next in another window: each parent's messages still reach its own
    // procedure, once.
    ASSERT_EQ(ScreenOpenWindowed(second, 0, 0, 320, 240, 0, 0, 0), 1);
    SendMessageA(first, WM_APP, 0, 0);
    SendMessageA(second, WM_APP, 0, 0);
    SendMessageA(second, WM_APP, 0, 0);
    EXPECT_EQ(AppMessagesSeen(first), 1);
    EXPECT_EQ(secondParentAppMessages, 2);
    EXPECT_EQ(GetPropA(first, SCREEN_PARENT_PROPERTY), reinterpret_cast<HANDLE>(1));
}

#if INTPTR_MAX > INT32_MAX
// A sprite number above 4 GiB whose low half reads as the back buffer's -1 names a sprite,
// and there is none: nothing is selected.
TEST_F(RealScreenTest, SpriteNumberAboveFourGiBIsNotTheBackBuffer) {
    HWND parent = MakeParent(160, 120);
    ASSERT_EQ(ScreenOpenWindowed(parent, 0, 0, 160, 120, 0, 0, 0), 1);
    EXPECT_EQ(ScreenSelectTarget((ObjectNumber(1) << 32) | 0xFFFFFFFF), 0);
    EXPECT_EQ(ScreenStateGet()->currentTarget, -1);
    EXPECT_EQ(ScreenSelectTarget(-1), 1);
}
#endif

// The frame benchmark's bare loop and the checker's presenter stand for onebox's screen: their
// device must be made with the present parameters the main routine's screen opens with, each
// on its own window.
TEST_F(RealScreenTest, BareLoopPresentsWithTheScreensParameters) {
    ASSERT_EQ(ScreenOpenWindowed(MakeParent(800, 600), 0, 0, 800, 600, 0, 0, 0), 1);
    HWND child = nullptr;
    HWND bareWindow = BareWindow("STATIC", "bare loop", &child);
    ASSERT_NE(bareWindow, nullptr);
    D3DPRESENT_PARAMETERS bare;
    ASSERT_EQ(BarePresentParams(ScreenStateGet()->direct3d, child, &bare), S_OK);
    const D3DPRESENT_PARAMETERS& screen = ScreenStateGet()->presentParams;
#define FIELD(name)                                                                                \
    { #name, uint64_t(bare.name), uint64_t(screen.name) }
    const struct {
        const char* name;
        uint64_t bare, screen;
    } fields[] = {
        FIELD(BackBufferWidth),
        FIELD(BackBufferHeight),
        FIELD(BackBufferFormat),
        FIELD(BackBufferCount),
        FIELD(MultiSampleType),
        FIELD(MultiSampleQuality),
        FIELD(SwapEffect),
        FIELD(Windowed),
        FIELD(EnableAutoDepthStencil),
        FIELD(AutoDepthStencilFormat),
        FIELD(Flags),
        FIELD(FullScreen_RefreshRateInHz),
        FIELD(PresentationInterval),
    };
#undef FIELD
    for (const auto& f : fields)
        EXPECT_EQ(f.bare, f.screen) << f.name;
    EXPECT_EQ(bare.hDeviceWindow, child);
    DestroyWindow(bareWindow);
}

} // namespace
