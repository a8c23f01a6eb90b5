// End to end: onebox.exe started as its own process under the runner, closed with real
// keyboard input, must exit with code 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/runtime.h"
#include "app/title.h"
#include "core/platform.h"
#include "drawing/session.h"
#include "image/decoder.h"
#include "image/image.h"
#include "screen/screen.h"
#include "tests/support/program_window.h"
#include "window_support.h"
#include "x_input.h"

namespace {

std::string WinePath(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Tests bring the runtime up and down many times in one process, each time on a new heap: a
// record of the previous run left behind would point into a destroyed heap.
class RestartTest : public RuntimeTest {};

TEST_F(RestartTest, ShutdownForgetsScreenDrawingImageAndDecoderRecords) {
    ScreenInit();
    ASSERT_NE(ScreenStateGet()->SpriteRegistry, nullptr);
    ASSERT_NE(ImageCreate(0, 20, 20), 0);
    ASSERT_NE(ImageCreate(DYNAMIC_NUMBER, 4, 4), 0);
    ASSERT_NE(DrawingOutputCreate(), nullptr); // a session left open
    RuntimeShutdown();
    const struct {
        const char* name;
        const void* record;
    } records[] = {
        {"sprite registry", ScreenStateGet()->SpriteRegistry},
        {"image registry", ImageRegistry()},
        {"decoder context", DecoderContextGet()},
        {"current output", DrawingCurrentOutput()},
    };
    for (const auto& r : records)
        EXPECT_EQ(r.record, nullptr) << r.name;
    EXPECT_EQ(DecoderCount(), 0);
    // Until the next start-up the layers refuse rather than touch freed records.
    EXPECT_EQ(ImageCreate(0, 20, 20), 0);
    EXPECT_EQ(ImageNativeHandle(0), nullptr);
    EXPECT_EQ(DecoderFind(), nullptr);

    PrivateHeapDestroy();
    ASSERT_EQ(PrivateHeapCreate(0), 1);
    RuntimeStartup();
    ScreenInit();
    EXPECT_NE(ScreenStateGet()->SpriteRegistry, nullptr);
    EXPECT_EQ(DecoderCount(), 1) << "the BMP decoder, once";
    EXPECT_EQ(DrawingCurrentOutput(), nullptr);
    ASSERT_NE(ImageCreate(0, 20, 20), 0);
    EXPECT_NE(ImageNativeHandle(0), nullptr);
}

// The X input helper dispatches through the frame loop's wait, so this process needs the
// runtime too, though it opens no window of its own.
class ProgramTest : public RuntimeTest {
  protected:
    void TearDown() override {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        RuntimeTest::TearDown();
    }

    bool Start() {
        std::string path = WinePath(ONEBOX_EXE);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string line = "\"" + path + "\"";
        return CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_) != 0;
    }

    HWND WaitForWindow(DWORD timeout) {
        HWND window = nullptr;
        DWORD start = GetTickCount();
        while (!(window = ProgramWindow(process_.dwProcessId)) && GetTickCount() - start < timeout)
            XPump(20);
        return window;
    }

    PROCESS_INFORMATION process_ = {};
};

TEST_F(ProgramTest, WindowAppearsAndAltF4EndsTheProgramWithCodeZero) {
    ASSERT_TRUE(Start()) << "could not start " << ONEBOX_EXE;
    HWND window = WaitForWindow(20000);
    ASSERT_NE(window, nullptr) << "no window 0 appeared";
    // Let the program reach its frame loop.
    XPump(500);
    ASSERT_EQ(WaitForSingleObject(process_.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the program ended on its own";

    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, PROGRAM_TITLE);
    RECT client = {}, outer = {};
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    EXPECT_EQ(outer.left, (1024 - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (768 - (outer.bottom - outer.top)) / 2);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(IsWindowVisible(window));

    SetForegroundWindow(window);
    XPump(100);
    ASSERT_TRUE(XFocus(window));
    LARGE_INTEGER frequency, keyTime, exitTime;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&keyTime);
    ASSERT_EQ(XRun("xdotool key alt+F4"), 0);
    DWORD wait = WaitForSingleObject(process_.hProcess, 10000);
    QueryPerformanceCounter(&exitTime);
    ASSERT_EQ(wait, static_cast<DWORD>(WAIT_OBJECT_0)) << "Alt+F4 did not end the program";
    DWORD code = 1234;
    ASSERT_TRUE(GetExitCodeProcess(process_.hProcess, &code));
    EXPECT_EQ(code, 0u);
    double milliseconds =
        1000.0 * static_cast<double>(exitTime.QuadPart - keyTime.QuadPart) / frequency.QuadPart;
    std::printf("onebox: %.1f ms from starting xdotool's Alt+F4 to the process exit\n",
                milliseconds);
    RecordProperty("key_to_exit_ms", static_cast<int>(milliseconds));
    EXPECT_FALSE(IsWindow(window));
}

} // namespace
