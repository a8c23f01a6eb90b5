// End to end on the screen: onebox.exe in its own process under the runner, closed by a real
// Alt+F4, on Wine's Direct3D 9 (the presented frame read back from X), without any d3d9.dll,
// and on the d3d9.dll double losing its device in mid-run.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/runtime.h"
#include "core/platform.h"
#include "window/events.h"
#include "window/window.h"
#include "x_grab.h"
#include "x_input.h"

namespace {

class ScreenProgramTest : public ::testing::Test {
  protected:
    // The X input helper dispatches through the window layer's wait.
    void SetUp() override {
        ASSERT_EQ(PrivateHeapCreate(0), 1);
        RuntimeStartup();
        marker_ = "/tmp/onebox_exit_" + std::to_string(GetCurrentProcessId());
        DeleteFileA(WinePath(marker_).c_str());
    }
    void TearDown() override {
        if (window_ && IsWindow(window_)) {
            PostMessageA(window_, WM_CLOSE, 0, 0);
            ExitCode(10000);
        }
        DeleteFileA(WinePath(marker_).c_str());
        RuntimeShutdown();
        PrivateHeapDestroy();
    }

    // Starts the program through a Unix shell, since Wine reads its DLL overrides from the
    // Unix environment a process starts with, not from the environment block CreateProcess
    // hands over. d3d9Override ("" for none) is added to the runner's overrides. Waits for
    // window 0.
    HWND Start(const std::string& exe, const std::string& d3d9Override,
               const std::string& doubleScript) {
        const char* runnerOverrides = std::getenv("WINEDLLOVERRIDES");
        std::string overrides = runnerOverrides ? runnerOverrides : "";
        if (!d3d9Override.empty())
            overrides += ";d3d9=" + d3d9Override;
        std::string command = "/bin/sh -c \"WINEDLLOVERRIDES='" + overrides +
                              "' ONEBOX_D3D9_DOUBLE='" + doubleScript + "' wine " + exe +
                              "; echo $? > " + marker_ + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            return nullptr;
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        // This process opens no window of that class.
        DWORD start = GetTickCount();
        while (!(window_ = FindWindowA("WindowClass_0", nullptr)) && GetTickCount() - start < 20000)
            XPump(20);
        return window_;
    }

    // The program's exit code, -1 while it runs after the timeout.
    long ExitCode(DWORD timeout) {
        DWORD start = GetTickCount();
        do {
            std::ifstream in(WinePath(marker_));
            std::string text;
            if (std::getline(in, text) && in.good())
                return std::atol(text.c_str());
            XPump(20);
        } while (GetTickCount() - start < timeout);
        return -1;
    }

    // Alt+F4 on the program's window; its exit code, or -1 when it did not end.
    long CloseWithAltF4(HWND window) {
        SetForegroundWindow(window);
        XPump(100);
        if (!XFocus(window) || XRun("xdotool key alt+F4") != 0)
            return -1;
        return ExitCode(10000);
    }

    bool Running() { return ExitCode(0) == -1; }

    HWND window_ = nullptr;
    std::string marker_;
};

TEST_F(ScreenProgramTest, PresentsGreyOnWineDirect3D) {
    HWND window = Start(ONEBOX_EXE, "", "");
    ASSERT_NE(window, nullptr) << "no window 0 appeared";
    XPump(1000);
    ASSERT_TRUE(Running()) << "the program ended on its own";
    EXPECT_NE(FindWindowExA(window, nullptr, "STATIC", nullptr), nullptr)
        << "no screen child: Direct3D 9 could not be created (is libgl1:i386 installed?)";
    // The child's own X window holds exactly the presented frame. Wine places it a pixel past
    // the root's top left corner, so what X hands back is the frame less its first row and
    // column.
    // Every frame is cleared to grey before the 20x20 black square is drawn on it; whether one
    // square and only one shows is the frame checker's verdict, here only the clear counts.
    int grey = 0;
    for (const XFrame& frame : XGrabWindowsOfSize(800, 600)) {
        int black = 0, other = 0;
        for (uint32_t pixel : frame.pixels) {
            black += pixel == 0x000000;
            other += pixel != 0x000000 && pixel != 0x888888;
        }
        grey += frame.width >= 799 && frame.height >= 599 && other == 0 && black <= 20 * 20;
    }
    EXPECT_EQ(grey, 1) << "X windows of 800x600 that are grey 0x888888 but for the square";
    EXPECT_EQ(CloseWithAltF4(window), 0);
}

TEST_F(ScreenProgramTest, RunsWithoutDirect3D) {
    HWND window = Start(ONEBOX_EXE, "d", "");
    ASSERT_NE(window, nullptr) << "no window 0 appeared";
    XPump(500);
    ASSERT_TRUE(Running()) << "the program ended on its own";
    EXPECT_EQ(FindWindowExA(window, nullptr, "STATIC", nullptr), nullptr);
    EXPECT_EQ(CloseWithAltF4(window), 0);
}

TEST_F(ScreenProgramTest, RecoversFromDeviceLossOnTheDouble) {
    // The double is found beside the program, so the program runs from the double's folder.
    std::string exe = ONEBOX_DOUBLE_DIR "/onebox.exe";
    ASSERT_TRUE(CopyFileA(WinePath(ONEBOX_EXE).c_str(), WinePath(exe).c_str(), FALSE));
    std::string log = "/tmp/onebox_double_" + std::to_string(GetCurrentProcessId()) + ".log";
    DeleteFileA(WinePath(log).c_str());
    HWND window = Start(exe, "n", "loss=50,lossms=100,log=" + WinePath(log));
    ASSERT_NE(window, nullptr) << "no window 0 appeared";
    // The double writes its log as the program runs: watch it until some frames have been
    // presented after the reset, however fast the machine runs the loop.
    size_t lost = 0, reset = 0, presentsAfter = 0, presentsBefore = 0;
    std::vector<std::string> lines;
    for (DWORD start = GetTickCount(); presentsAfter <= 10 && GetTickCount() - start < 30000;) {
        XPump(200);
        std::ifstream in(WinePath(log));
        lines.clear();
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        lost = reset = presentsAfter = presentsBefore = 0;
        for (size_t i = 0; i < lines.size(); i++) {
            if (!lost && lines[i] == "TestCooperativeLevel DEVICELOST")
                lost = i;
            if (!reset && lines[i] == "Reset 800x600 format 22")
                reset = i;
            if (lines[i].rfind("Present 0,0,800,600 0,0,800,600", 0) == 0)
                (reset ? presentsAfter : presentsBefore)++;
        }
    }
    ASSERT_TRUE(Running()) << "the program ended on its own";
    EXPECT_EQ(CloseWithAltF4(window), 0);
    EXPECT_GE(presentsBefore, 50u);
    EXPECT_GT(lost, 0u);
    EXPECT_GT(reset, lost);
    EXPECT_GT(presentsAfter, 10u);
    std::string line, last;
    for (std::ifstream in(WinePath(log)); std::getline(in, line);)
        last = line;
    EXPECT_EQ(last, "references: ok");
    DeleteFileA(WinePath(log).c_str());
}

} // namespace
