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

class DoubleScreenTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_NE(LoadD3d9Double(), nullptr) << "d3d9.dll is not the test double";
        LoadD3d9Double()->script("");
    }
    void TearDown() override {
        ScreenTest::TearDown();
        EXPECT_EQ(DoubleLeaks(), "");
    }
    // Starts the subsystem on a fresh script and opens a screen in a new parent.
    HWND Open(const char* script = "", int autoStretch = 0, int parentWidth = 800) {
        LoadD3d9Double()->script(script);
        EXPECT_EQ(ScreenInit(), 1);
        HWND parent = MakeParent(parentWidth, parentWidth * 3 / 4);
        EXPECT_EQ(ScreenOpenWindowed(parent, 10 * autoStretch, 20 * autoStretch, 800, 600,
                                     autoStretch, 5, 5),
                  1);
        return parent;
    }
};

TEST(ScreenWithoutLibrary, InitFailsAndTheBaseWindowStays) {
    if (HMODULE library = LoadLibraryA("d3d9.dll")) {
        FreeLibrary(library);
        GTEST_SKIP() << "d3d9.dll can be loaded; this case runs with WINEDLLOVERRIDES=d3d9=d";
    }
    ASSERT_EQ(PrivateHeapCreate(0), 1);
    EXPECT_EQ(ScreenInit(), 0);
    EXPECT_EQ(ScreenStateGet()->direct3d, nullptr);
    EXPECT_TRUE(IsWindow(ScreenStateGet()->baseWindow));
    EXPECT_EQ(ScreenOpenWindowed(GetDesktopWindow(), 0, 0, 800, 600, 0, 0, 0), 0);
    EXPECT_EQ(ScreenDrawingOutput(), nullptr);
    EXPECT_EQ(ScreenFlip(), 1);
    PrivateHeapDestroy();
}

TEST_F(DoubleScreenTest, InitAsksTheThreeFormatsAndReleasesOnFailure) {
    const Log COUNTS = {"Direct3DCreate9 32", "GetAdapterModeCount 0 24",
                        "GetAdapterModeCount 0 23", "GetAdapterModeCount 0 22"};
    Log released = COUNTS;
    released.push_back("Release direct3d 0");
    const struct {
        const char* script;
        int32_t result;
        Log log;
    } CASES[] = {{"null=1", 0, {"Direct3DCreate9 32"}},
                 {"modes=0/0/0", 0, released},
                 {"modes=1/0/0", 1, COUNTS},
                 {"modes=0/1/0", 1, COUNTS},
                 {"modes=0/0/1", 1, COUNTS}};
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.script);
        LoadD3d9Double()->script(c.script);
        EXPECT_EQ(ScreenInit(), c.result);
        EXPECT_EQ(ScreenStateGet()->started, c.result);
        // A second start-up after a successful one makes no second object and keeps the
        // sprite registry.
        ObjectRegistry* registry = ScreenStateGet()->SpriteRegistry;
        if (c.result) {
            EXPECT_EQ(ScreenInit(), 0);
        }
        EXPECT_EQ(ScreenStateGet()->SpriteRegistry, registry);
        EXPECT_EQ(DoubleLog(), c.log);
        ScreenShutdown();
        EXPECT_EQ(DoubleLeaks(), "");
    }
}

TEST_F(DoubleScreenTest, OpenMakesTheDeviceAsScriptedOrLeavesNothingBehind) {
    const char* STATES[] = {"GetBackBuffer 0 0 0",           "Clear 0 null 1 0x00000000 0 0",
                            "SetTextureStageState 0 1 2",    "SetTextureStageState 0 4 2",
                            "SetSoftwareVertexProcessing 0", "SetSamplerState 0 5 1",
                            "SetSamplerState 0 6 1",         "SetRenderState 161 0"};
    const struct {
        const char* script;
        int parentKind; // 0: the parent, 1: none, 2: a destroyed window (no child can be made)
        const char* lastCall; // the device's creation on success
    } CASES[] = {
        {"", 0,
         "CreateDevice 0 1 device-window 0x20 800x600 format 22 count 1 swap 3 window"
         " set windowed 1 flags 0x1 interval 0x1 depth 0"},
        {"hwtnl=1,format=23", 0,
         "CreateDevice 0 1 device-window 0x40 800x600 format 23"
         " count 1 swap 3 window set windowed 1 flags 0x1 interval"
         " 0x1 depth 0"},
        {"failmode=1", 0, "GetAdapterDisplayMode 0"},
        {"failcaps=1", 0, "GetDeviceCaps 0 1"},
        {"failcreate=1", 0, nullptr},
        {"", 1, "Release device 0"},
        {"", 2, "Release device 0"},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.script);
        // A screen open before the call is closed in every case.
        HWND parent = Open();
        LoadD3d9Double()->set(c.script);
        size_t mark = DoubleLog().size();
        HWND gone =
            CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        DestroyWindow(gone);
        HWND target[] = {parent, nullptr, gone};
        int32_t opened = ScreenOpenWindowed(target[c.parentKind], 0, 0, 800, 600, 0, 0, 0);
        ScreenState* state = ScreenStateGet();
        Log log = DoubleLogSince(mark);
        if (c.lastCall && c.lastCall[0] == 'C') {
            EXPECT_EQ(opened, 1);
            EXPECT_EQ(state->deviceState, ScreenDeviceState::Usable);
            EXPECT_EQ(GetParent(state->childWindow), parent);
            Log expected = {"Release surface 0", "Release device 0", "GetAdapterDisplayMode 0",
                            "GetDeviceCaps 0 1", c.lastCall};
            expected.insert(expected.end(), std::begin(STATES), std::end(STATES));
            EXPECT_EQ(log, expected);
        } else {
            EXPECT_EQ(opened, 0);
            EXPECT_EQ(state->device, nullptr);
            EXPECT_EQ(state->childWindow, nullptr);
            EXPECT_EQ(state->windowed | state->screenWidth, 0);
            EXPECT_EQ(FindWindowExA(parent, nullptr, "STATIC", nullptr), nullptr);
            EXPECT_EQ(log.back().rfind(c.lastCall ? c.lastCall : "CreateDevice", 0), 0u);
            EXPECT_EQ(ScreenDrawingOutput(), nullptr);
        }
        EXPECT_EQ(state->open, opened);
        ScreenShutdown();
        EXPECT_EQ(DoubleLeaks(), "");
    }
}

TEST_F(DoubleScreenTest, ClearConvertsTheColour) {
    const struct {
        uint32_t color;
        const char* call;
    } CASES[] = {{0x332211, "Clear 0 null 1 0x00112233 0 0"},
                 {0x0000FF, "Clear 0 null 1 0x00ff0000 0 0"},
                 {0xFF00FF00, "Clear 0 null 1 0x0000ff00 0 0"}};
    Open();
    for (const auto& c : CASES) {
        ClearScreen(c.color);
        EXPECT_EQ(DoubleLog().back(), c.call);
    }
}

TEST_F(DoubleScreenTest, FramePresentsTheWholeBackBufferOnlyWhenGivenBack) {
    const struct {
        int autoStretch, parentWidth;
        const char* present;
    } CASES[] = {{0, 800, PRESENT_FULL},
                 {0, 400, PRESENT_FULL},
                 {1, 400, "Present 0,0,800,600 0,0,385,275 null null"}};
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.present);
        HWND parent = Open("", c.autoStretch, c.parentWidth);
        size_t mark = DoubleLog().size();
        ClearScreen(0x888888);
        ASSERT_NE(DrawingBegin(ScreenDrawingOutput()), nullptr);
        // A flip from inside the session (a window procedure's repaint) leaves the held
        // surface alone; the frame is presented once the session has given it back.
        EXPECT_EQ(ScreenFlip(), 1);
        DrawingEnd();
        EXPECT_EQ(ScreenFlip(), 1);
        EXPECT_EQ(DoubleLogSince(mark),
                  (Log{"Clear 0 null 1 0x00888888 0 0", "GetDC", "ReleaseDC", TEST_OK, c.present}));
        // The last frame is presented again when the parent is resized or the child repainted.
        mark = DoubleLog().size();
        SendMessageA(parent, WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(c.parentWidth, c.parentWidth * 3 / 4));
        RedrawWindow(ScreenStateGet()->childWindow, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_EQ(DoubleLogSince(mark), (Log{TEST_OK, c.present, TEST_OK, c.present}));
        ScreenShutdown();
    }
}

TEST_F(DoubleScreenTest, LostDeviceIsWaitedForOrDroppedThenReset) {
    struct Flip {
        DWORD sleepBefore;
        int32_t result;
        ScreenDeviceState state;
        Log log;
    };
    const Log RESET = {"TestCooperativeLevel DEVICENOTRESET", "Release surface 0",
                       "Reset 800x600 format 22", "GetBackBuffer 0 0 0", PRESENT_FULL};
    Log waited = RESET;
    waited.insert(waited.begin(), "TestCooperativeLevel DEVICELOST");
    const Log REFUSED(RESET.begin(), RESET.begin() + 3);
    const ScreenDeviceState IDLE = ScreenDeviceState::Idle, USABLE = ScreenDeviceState::Usable,
                            LONG_LOST = ScreenDeviceState::LongLost;
    const struct {
        const char* script;
        std::vector<Flip> flips;
    } CASES[] = {
        // Shorter than the flip's wait: reset and presented in the same call.
        {"loss=0,lossms=10", {{0, 1, USABLE, waited}}},
        // Longer: the frame is dropped; later flips only ask until the device can be reset.
        {"loss=0,lossms=150",
         {{0, 0, LONG_LOST, {"TestCooperativeLevel DEVICELOST"}},
          {0, 1, LONG_LOST, {"TestCooperativeLevel DEVICELOST"}},
          {200, 1, USABLE, RESET},
          {0, 1, USABLE, {TEST_OK, PRESENT_FULL}}}},
        {"loss=0,internal=1",
         {{0, 0, IDLE, {"TestCooperativeLevel DRIVERINTERNALERROR"}}, {0, 1, IDLE, {}}}},
        {"loss=0,lossms=0,failreset=1", {{0, 0, IDLE, REFUSED}, {0, 1, IDLE, {}}}},
        {"failpresent=1", {{0, 1, IDLE, {TEST_OK, PRESENT_FULL}}, {0, 1, IDLE, {}}}},
        // A loss that shows first in the present is recovered on the next flip.
        {"loss=1,lossms=0", {{0, 1, LONG_LOST, {TEST_OK, PRESENT_FULL}}, {0, 1, USABLE, RESET}}},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.script);
        Open(c.script);
        for (size_t i = 0; i < c.flips.size(); i++) {
            SCOPED_TRACE("flip " + std::to_string(i));
            Sleep(c.flips[i].sleepBefore);
            size_t mark = DoubleLog().size();
            EXPECT_EQ(ScreenFlip(), c.flips[i].result);
            EXPECT_EQ(ScreenStateGet()->deviceState, c.flips[i].state);
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
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(ScreenStateGet()->parentWindow, parent);
    ScreenClose();
    ScreenShutdown();
    ScreenShutdown();
    EXPECT_EQ(DoubleLogSince(mark),
              (Log{"Release surface 0", "Release device 0", "Release direct3d 0"}));
}

TEST_F(DoubleScreenTest, DisplayFormatSetsPixelFormatAndDepth) {
    const struct {
        D3DFORMAT format;
        int32_t pixelFormatCode, depth;
    } CASES[] = {{D3DFMT_R5G6B5, PIXEL_FORMAT_16, 16},
                 {D3DFMT_X8R8G8B8, PIXEL_FORMAT_32, 32},
                 {D3DFMT_X1R5G5B5, PIXEL_FORMAT_15, 16},
                 {D3DFMT_A8R8G8B8, PIXEL_FORMAT_15, 32},
                 {D3DFMT_A8B8G8R8, PIXEL_FORMAT_15, 0}};
    HWND parent = Open();
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.format);
        LoadD3d9Double()->set(("format=" + std::to_string(c.format)).c_str());
        ASSERT_EQ(ScreenOpenWindowed(parent, 0, 0, 800, 600, 0, 0, 0), 1);
        DrawingOutput* output = ScreenDrawingOutput();
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->pixelFormat, c.pixelFormatCode);
        EXPECT_EQ(output->depth, c.depth);
        ScreenOutputRelease(output, 0);
        DrawingOutputDiscard(output);
    }
}

TEST_F(DoubleScreenTest, OutputThatCannotBeMadeGivesTheDeviceContextBack) {
    Open();
    std::vector<void*> blocks; // fill the fixed heap so that the record is refused
    while (void* block = PrivateHeapAlloc(sizeof(DrawingOutput)))
        blocks.push_back(block);
    size_t mark = DoubleLog().size();
    EXPECT_EQ(ScreenDrawingOutput(), nullptr);
    for (void* block : blocks)
        PrivateHeapFree(block);
    EXPECT_EQ(ScreenFlip(), 1);
    LoadD3d9Double()->set("failgetdc=1");
    EXPECT_EQ(ScreenDrawingOutput(), nullptr);
    EXPECT_EQ(DoubleLogSince(mark), (Log{"GetDC", "ReleaseDC", TEST_OK, PRESENT_FULL, "GetDC"}));
}

TEST_F(DoubleScreenTest, SkipClearKeepsTheLastFramesBoxOnEveryNthFrame) {
    // Frames 2 to 7, one character each: 'K' where the clear left frame f-1's box in place.
    const struct {
        const char* script;
        const char* kept;
    } CASES[] = {{"", "......"},
                 {"skipclear=0", "......"},
                 {"skipclear=3", ".K..K."},  // frames 3 and 6
                 {"skipclear=2", "K.K.K."}}; // frames 2, 4 and 6
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.script);
        Open(c.script);
        std::string kept;
        for (int frame = 1; frame <= 7; frame++) {
            ClearScreen(0x888888);
            HDC dc = DrawingBegin(ScreenDrawingOutput());
            ASSERT_NE(dc, nullptr);
            if (frame > 1)
                kept += GetPixel(dc, 40 * (frame - 1) + 5, 50) == RGB(0, 0, 0) ? 'K' : '.';
            RECT box = {40 * frame, 40, 40 * frame + 20, 60};
            FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            DrawingEnd();
            EXPECT_EQ(ScreenFlip(), 1);
        }
        EXPECT_EQ(kept, c.kept);
        ScreenShutdown();
    }
}

} // namespace
