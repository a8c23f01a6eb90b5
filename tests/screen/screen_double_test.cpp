// The screen on the d3d9.dll test double (loaded with WINEDLLOVERRIDES=d3d9=n): the failures,
// losses and call orders that the real platform does not produce on demand, asserted on the
// double's call log. Every test ends with every object released exactly once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform.h"
#include "drawing/session.h"
#include "screen/screen.h"
#include "screen_support.h"

namespace {

typedef std::vector<std::string> Log;

const char PRESENT_FULL[] = "Present 0,0,800,600 0,0,800,600 null null";
const char TEST_OK[] = "TestCooperativeLevel OK";
const char RESET[] = "Reset 800x600 format 22";

class DoubleScreenTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_NE(LoadD3d9Double(), nullptr) << "d3d9.dll is not the test double: run with "
                                                "WINEDLLOVERRIDES=d3d9=n beside the double";
        LoadD3d9Double()->script("");
    }
    void TearDown() override {
        ScreenTest::TearDown();
        EXPECT_EQ(DoubleLeaks(), "");
    }
    // Starts the subsystem on a fresh script and opens an 800x600 screen in a new parent.
    HWND Open(const char* script = "") {
        LoadD3d9Double()->script(script);
        EXPECT_EQ(ScreenInit(), 1);
        HWND parent = MakeParent(800, 600);
        EXPECT_EQ(ScreenOpenWindowed(parent, 0, 0, 800, 600, 0, 0, 0), 1);
        return parent;
    }
    // One turn of the main routine's loop after the wait.
    int32_t Frame() {
        ClearScreen(0x888888);
        if (DrawingBegin(ScreenDrawingOutput()))
            DrawingEnd();
        return ScreenFlip();
    }
};

TEST(ScreenWithoutLibrary, InitFailsAndTheBaseWindowStays) {
    ASSERT_EQ(PrivateHeapCreate(0), 1);
    if (HMODULE library = LoadLibraryA("d3d9.dll")) {
        FreeLibrary(library);
        PrivateHeapDestroy();
        GTEST_SKIP() << "d3d9.dll can be loaded; this case runs with WINEDLLOVERRIDES=d3d9=d";
    }
    EXPECT_EQ(ScreenInit(), 0);
    EXPECT_EQ(ScreenStateGet()->started, 0);
    EXPECT_EQ(ScreenStateGet()->direct3d, nullptr);
    EXPECT_TRUE(IsWindow(ScreenStateGet()->baseWindow));
    EXPECT_EQ(ScreenOpenWindowed(GetDesktopWindow(), 0, 0, 800, 600, 0, 0, 0), 0);
    ClearScreen(0x888888);
    EXPECT_EQ(ScreenDrawingOutput(), nullptr);
    EXPECT_EQ(ScreenFlip(), 1);
    ScreenStateGet()->SpriteRegistry = nullptr;
    PrivateHeapDestroy();
}

TEST_F(DoubleScreenTest, InitAsksTheThreeFormatsAndReleasesOnFailure) {
    const Log MODE_COUNTS = {"Direct3DCreate9 32", "GetAdapterModeCount 0 24",
                             "GetAdapterModeCount 0 23", "GetAdapterModeCount 0 22"};
    Log released = MODE_COUNTS;
    released.push_back("Release direct3d 0");
    const struct {
        const char* script;
        int32_t result;
        Log log;
    } CASES[] = {
        {"null=1", 0, {"Direct3DCreate9 32"}}, {"modes=0/0/0", 0, released},
        {"modes=1/0/0", 1, MODE_COUNTS},       {"modes=0/1/0", 1, MODE_COUNTS},
        {"modes=0/0/1", 1, MODE_COUNTS},
    };
    for (size_t i = 0; i < sizeof CASES / sizeof CASES[0]; i++) {
        SCOPED_TRACE("case " + std::to_string(i) + ": " + CASES[i].script);
        LoadD3d9Double()->script(CASES[i].script);
        EXPECT_EQ(ScreenInit(), CASES[i].result);
        EXPECT_EQ(ScreenStateGet()->started, CASES[i].result);
        EXPECT_EQ(ScreenStateGet()->direct3d != nullptr, CASES[i].result == 1);
        EXPECT_EQ(DoubleLog(), CASES[i].log);
        // A second start-up after a successful one makes no second Direct3D object and keeps
        // the sprite registry.
        if (CASES[i].result) {
            ObjectRegistry* registry = ScreenStateGet()->SpriteRegistry;
            EXPECT_EQ(ScreenInit(), 0);
            EXPECT_EQ(ScreenStateGet()->SpriteRegistry, registry);
            EXPECT_EQ(DoubleLog(), CASES[i].log);
        }
        ScreenShutdown();
        EXPECT_EQ(DoubleLeaks(), "");
    }
}

TEST_F(DoubleScreenTest, OpenMakesTheDeviceAsScripted) {
    const struct {
        const char* script;
        Log log;
    } CASES[] = {
        {"",
         {"GetAdapterDisplayMode 0", "GetDeviceCaps 0 1",
          "CreateDevice 0 1 device-window 0x20 800x600 format 22 count 1 swap 3 window set "
          "windowed 1 flags 0x1 interval 0x1 depth 0",
          "GetBackBuffer 0 0 0", "Clear 0 null 1 0x00000000 0 0", "SetTextureStageState 0 1 2",
          "SetTextureStageState 0 4 2", "SetSoftwareVertexProcessing 0", "SetSamplerState 0 5 1",
          "SetSamplerState 0 6 1", "SetRenderState 161 0"}},
        {"hwtnl=1,format=23",
         {"GetAdapterDisplayMode 0", "GetDeviceCaps 0 1",
          "CreateDevice 0 1 device-window 0x40 800x600 format 23 count 1 swap 3 window set "
          "windowed 1 flags 0x1 interval 0x1 depth 0",
          "GetBackBuffer 0 0 0", "Clear 0 null 1 0x00000000 0 0", "SetTextureStageState 0 1 2",
          "SetTextureStageState 0 4 2", "SetSoftwareVertexProcessing 0", "SetSamplerState 0 5 1",
          "SetSamplerState 0 6 1", "SetRenderState 161 0"}},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.script);
        LoadD3d9Double()->script(c.script);
        ASSERT_EQ(ScreenInit(), 1);
        size_t mark = DoubleLog().size();
        HWND parent = MakeParent(800, 600);
        ASSERT_EQ(ScreenOpenWindowed(parent, 0, 0, 800, 600, 0, 0, 0), 1);
        EXPECT_EQ(DoubleLogSince(mark), c.log);
        ScreenState* state = ScreenStateGet();
        EXPECT_EQ(state->open, 1);
        EXPECT_EQ(state->active, 1);
        EXPECT_EQ(GetParent(state->childWindow), parent);
        ScreenShutdown();
    }
}

TEST_F(DoubleScreenTest, FailedOpenLeavesNothingOpenOrHeld) {
    const struct {
        const char* failure;
        bool validParent;
        const char* lastCall;
    } CASES[] = {
        {"failmode=1", true, "GetAdapterDisplayMode 0"},
        {"failcaps=1", true, "GetDeviceCaps 0 1"},
        {"failcreate=1", true, nullptr},
        {"", false, "Release device 0"},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.failure);
        // A screen open before the call is closed in every case.
        HWND parent = Open();
        LoadD3d9Double()->set(c.failure);
        HWND target = c.validParent ? parent : nullptr;
        EXPECT_EQ(ScreenOpenWindowed(target, 0, 0, 800, 600, 0, 0, 0), 0);
        ScreenState* state = ScreenStateGet();
        EXPECT_EQ(state->open, 0);
        EXPECT_EQ(state->device, nullptr);
        EXPECT_EQ(state->backBuffer, nullptr);
        EXPECT_EQ(state->childWindow, nullptr);
        EXPECT_EQ(state->windowed, 0);
        EXPECT_EQ(state->screenWidth, 0);
        EXPECT_EQ(FindWindowExA(parent, nullptr, "STATIC", nullptr), nullptr);
        if (c.lastCall)
            EXPECT_EQ(DoubleLog().back(), c.lastCall);
        else
            EXPECT_EQ(DoubleLog().back().rfind("CreateDevice", 0), 0u) << DoubleLog().back();
        ClearScreen(0x888888);
        EXPECT_EQ(ScreenDrawingOutput(), nullptr);
        ScreenShutdown();
        EXPECT_EQ(DoubleLeaks(), "");
    }
}

TEST_F(DoubleScreenTest, ClearConvertsTheColour) {
    const struct {
        uint32_t color;
        const char* call;
    } CASES[] = {
        {0x332211, "Clear 0 null 1 0x00112233 0 0"},
        {0x0000FF, "Clear 0 null 1 0x00ff0000 0 0"},
        {0x888888, "Clear 0 null 1 0x00888888 0 0"},
        {0xFF00FF00, "Clear 0 null 1 0x0000ff00 0 0"},
    };
    Open();
    for (const auto& c : CASES) {
        ClearScreen(c.color);
        EXPECT_EQ(DoubleLog().back(), c.call);
    }
}

TEST_F(DoubleScreenTest, FramePresentsTheWholeBackBufferOnlyWhenGivenBack) {
    const struct {
        int32_t autoStretch, x, y, rightMargin, bottomMargin, parentWidth, parentHeight;
        const char* present;
    } CASES[] = {
        {0, 0, 0, 0, 0, 800, 600, PRESENT_FULL},
        {0, 0, 0, 0, 0, 400, 300, PRESENT_FULL},
        {1, 10, 20, 5, 5, 400, 300, "Present 0,0,800,600 0,0,385,275 null null"},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.present);
        LoadD3d9Double()->script("");
        ASSERT_EQ(ScreenInit(), 1);
        HWND parent = MakeParent(c.parentWidth, c.parentHeight);
        ASSERT_EQ(ScreenOpenWindowed(parent, c.x, c.y, 800, 600, c.autoStretch, c.rightMargin,
                                     c.bottomMargin),
                  1);
        size_t mark = DoubleLog().size();
        EXPECT_EQ(Frame(), 1);
        EXPECT_EQ(DoubleLogSince(mark),
                  (Log{"Clear 0 null 1 0x00888888 0 0", "GetDC", "ReleaseDC", TEST_OK, c.present}));
        // A flip from inside a session (a window procedure's repaint) leaves the held surface
        // alone; the frame is presented once the session has given it back.
        mark = DoubleLog().size();
        ASSERT_NE(DrawingBegin(ScreenDrawingOutput()), nullptr);
        EXPECT_EQ(ScreenFlip(), 1);
        DrawingEnd();
        EXPECT_EQ(ScreenFlip(), 1);
        EXPECT_EQ(DoubleLogSince(mark), (Log{"GetDC", "ReleaseDC", TEST_OK, c.present}));
        ScreenShutdown();
    }
}

TEST_F(DoubleScreenTest, LostDeviceIsWaitedForOrDroppedThenReset) {
    struct Flip {
        DWORD sleepBefore;
        int32_t result;
        int32_t active;
        Log log;
    };
    const Log RESET_AND_PRESENT = {"TestCooperativeLevel DEVICENOTRESET", "Release surface 0",
                                   RESET, "GetBackBuffer 0 0 0", PRESENT_FULL};
    Log waitedOut = {"TestCooperativeLevel DEVICELOST"};
    waitedOut.insert(waitedOut.end(), RESET_AND_PRESENT.begin(), RESET_AND_PRESENT.end());
    const struct {
        const char* script;
        std::vector<Flip> flips;
    } CASES[] = {
        // Shorter than the flip's wait: reset and presented in the same call.
        {"loss=0,lossms=10", {{0, 1, 1, waitedOut}}},
        // Longer: the frame is dropped; later flips only ask until the device can be reset.
        {"loss=0,lossms=150",
         {{0, 0, 0, {"TestCooperativeLevel DEVICELOST"}},
          {0, 1, 0, {"TestCooperativeLevel DEVICELOST"}},
          {200, 1, 1, RESET_AND_PRESENT},
          {0, 1, 1, {TEST_OK, PRESENT_FULL}}}},
        {"loss=0,lossms=0", {{0, 1, 1, RESET_AND_PRESENT}}},
        {"loss=0,internal=1",
         {{0, 0, 0, {"TestCooperativeLevel DRIVERINTERNALERROR"}}, {0, 1, 0, {}}}},
        {"loss=0,lossms=0,failreset=1",
         {{0, 0, 0, {"TestCooperativeLevel DEVICENOTRESET", "Release surface 0", RESET}},
          {0, 1, 0, {}}}},
        {"failpresent=1", {{0, 1, 0, {TEST_OK, PRESENT_FULL}}, {0, 1, 0, {}}}},
        // A loss that shows first in the present is recovered on the next flip.
        {"loss=1,lossms=0", {{0, 1, 0, {TEST_OK, PRESENT_FULL}}, {0, 1, 1, RESET_AND_PRESENT}}},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.script);
        Open();
        LoadD3d9Double()->set(c.script);
        for (size_t i = 0; i < c.flips.size(); i++) {
            SCOPED_TRACE("flip " + std::to_string(i));
            Sleep(c.flips[i].sleepBefore);
            size_t mark = DoubleLog().size();
            EXPECT_EQ(ScreenFlip(), c.flips[i].result);
            EXPECT_EQ(ScreenStateGet()->active, c.flips[i].active);
            EXPECT_EQ(DoubleLogSince(mark), c.flips[i].log);
        }
        ScreenShutdown();
        EXPECT_EQ(DoubleLeaks(), "");
    }
}

TEST_F(DoubleScreenTest, CloseReleasesBackBufferBeforeDevice) {
    HWND parent = Open();
    HWND child = ScreenStateGet()->childWindow;
    size_t mark = DoubleLog().size();
    ScreenClose();
    EXPECT_EQ(DoubleLogSince(mark), (Log{"Release surface 0", "Release device 0"}));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(ScreenStateGet()->parentWindow, parent);
    EXPECT_NE(GetPropA(parent, SCREEN_PARENT_PROPERTY), nullptr);
    ScreenClose();
    ScreenShutdown();
    EXPECT_EQ(DoubleLogSince(mark),
              (Log{"Release surface 0", "Release device 0", "Release direct3d 0"}));
    ScreenShutdown();
    EXPECT_EQ(DoubleLogSince(mark).size(), 3u);
}

TEST_F(DoubleScreenTest, DisplayFormatSetsPixelFormatAndDepth) {
    const struct {
        D3DFORMAT format;
        int32_t pixelFormatCode;
        int32_t depth;
    } CASES[] = {
        {D3DFMT_X8R8G8B8, PIXEL_FORMAT_32, 32},     {D3DFMT_R5G6B5, PIXEL_FORMAT_16, 16},
        {D3DFMT_A8R8G8B8, PIXEL_FORMAT_16, 32},     {D3DFMT_X1R5G5B5, PIXEL_FORMAT_15, 16},
        {D3DFMT_A8B8G8R8, PIXEL_FORMAT_15, 0},      {D3DFMT_R8G8B8, PIXEL_FORMAT_15, 24},
        {D3DFMT_A16B16G16R16, PIXEL_FORMAT_15, 64}, {D3DFMT_A8, PIXEL_FORMAT_15, 8},
    };
    HWND parent = Open();
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.format);
        LoadD3d9Double()->set(("format=" + std::to_string(c.format)).c_str());
        ASSERT_EQ(ScreenOpenWindowed(parent, 0, 0, 800, 600, 0, 0, 0), 1);
        EXPECT_EQ(ScreenStateGet()->pixelFormatCode, c.pixelFormatCode);
        EXPECT_EQ(ScreenStateGet()->depth, c.depth);
        DrawingOutput* output = ScreenDrawingOutput();
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->pixelFormat, c.pixelFormatCode);
        EXPECT_EQ(output->depth, c.depth);
        ScreenOutputRelease(output, 0);
        DrawingOutputDiscard(output);
    }
}

TEST_F(DoubleScreenTest, OutputSwitchesBetweenDeviceContextAndPixels) {
    Open();
    size_t mark = DoubleLog().size();
    DrawingOutput* output = ScreenDrawingOutput();
    ASSERT_NE(output, nullptr);
    ASSERT_EQ(DrawingBegin(output), output->dc);
    output->frontColor = 0x0000FF;
    output->backColor = 0x00FF00;
    void* pixels = output->acquirePixels(output, &output->pitch);
    output->accessState = ACCESS_PIXELS;
    EXPECT_EQ(output->dc, nullptr);
    EXPECT_EQ(output->pitch, 3200);
    output->pitch = 77;
    EXPECT_EQ(output->acquirePixels(output, &output->pitch), pixels);
    EXPECT_EQ(output->pitch, 77);
    // The next device-context operation takes the device context back with the session's
    // state on it.
    EnsureDeviceContext(output);
    EXPECT_EQ(output->pixels, nullptr);
    ASSERT_NE(output->dc, nullptr);
    EXPECT_EQ(GetTextColor(output->dc), 0x0000FFu);
    EXPECT_EQ(GetBkColor(output->dc), 0x00FF00u);
    EXPECT_EQ(GetTextAlign(output->dc) & TA_UPDATECP, static_cast<UINT>(TA_UPDATECP));
    DrawingEnd();
    EXPECT_EQ(DoubleLogSince(mark, false),
              (Log{"GetDC", "ReleaseDC", "LockRect null 0", "LockRect null 0", "UnlockRect",
                   "GetDC", "ReleaseDC"}));
    EXPECT_EQ(ScreenStateGet()->backBufferHeld, 0);
}

TEST_F(DoubleScreenTest, OutputThatCannotBeMadeGivesTheDeviceContextBack) {
    Open();
    // Fill the fixed heap so that the output record is refused.
    std::vector<void*> blocks;
    while (void* block = PrivateHeapAlloc(sizeof(DrawingOutput)))
        blocks.push_back(block);
    size_t mark = DoubleLog().size();
    EXPECT_EQ(ScreenDrawingOutput(), nullptr);
    EXPECT_EQ(DrawingCurrentOutput(), nullptr);
    for (void* block : blocks)
        PrivateHeapFree(block);
    EXPECT_EQ(ScreenFlip(), 1);
    LoadD3d9Double()->set("failgetdc=1");
    EXPECT_EQ(ScreenDrawingOutput(), nullptr);
    EXPECT_EQ(DoubleLogSince(mark), (Log{"GetDC", "ReleaseDC", TEST_OK, PRESENT_FULL, "GetDC"}));
}

} // namespace
