// A Win32 program that misbehaves on demand, to show that the Win32 cases of a test run, which
// share one Wine session, cannot disturb each other. Each mode first checks that nothing an
// earlier run left behind is still there, then does its own damage:
//
//   check               check only
//   crash               write through a null pointer
//   window-left-open    exit with a visible, focused window still open
//   child-left-running  start a copy of itself that never ends, and exit
//   hang                keep a window open and never end (for a timeout to kill)
//
// The check: no other process of this program is alive, no window of its class is open, the
// screen is the 1024x768 virtual desktop, and a new window of this process takes the
// foreground. With ONEBOX_EXPECT_SESSION set, the runner must also have said (through
// ONEBOX_WINE_SESSION) that the program ran in that kind of session. Exit code 0 when every
// check passed, 1 otherwise.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kClassName[] = "OneboxRunnerProbe";

int failures;

void Expect(bool ok, const char* what, long actual) {
    if (!ok) {
        std::printf("runner probe: %s (got %ld)\n", what, actual);
        ++failures;
    }
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND OpenWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    HWND window =
        CreateWindowExA(0, kClassName, "onebox runner probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                        100, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetForegroundWindow(window);
    Pump();
    return window;
}

// Processes running this program's executable, this one excepted.
long OtherProbeProcesses() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    const char* name = std::strrchr(path, '\\');
    name = name ? name + 1 : path;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    long count = 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID != GetCurrentProcessId() && !_stricmp(entry.szExeFile, name))
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

void CheckSession() {
    Expect(OtherProbeProcesses() == 0, "another runner probe process is still alive",
           OtherProbeProcesses());
    HWND left = FindWindowA(kClassName, nullptr);
    Expect(left == nullptr, "a runner probe window is still open",
           static_cast<long>(reinterpret_cast<intptr_t>(left)));
    Expect(GetSystemMetrics(SM_CXSCREEN) == 1024, "screen width is not the virtual desktop's",
           GetSystemMetrics(SM_CXSCREEN));
    Expect(GetSystemMetrics(SM_CYSCREEN) == 768, "screen height is not the virtual desktop's",
           GetSystemMetrics(SM_CYSCREEN));
    const char* expected = std::getenv("ONEBOX_EXPECT_SESSION");
    const char* actual = std::getenv("ONEBOX_WINE_SESSION");
    if (expected && *expected) {
        bool same = actual && !std::strcmp(expected, actual);
        if (!same)
            std::printf("runner probe: ran %s, not %s\n", actual ? actual : "(unknown)", expected);
        failures += same ? 0 : 1;
    }
    HWND window = OpenWindow();
    Expect(window != nullptr, "no window", static_cast<long>(GetLastError()));
    HWND foreground = GetForegroundWindow();
    Expect(foreground == window, "a new window did not take the foreground",
           static_cast<long>(reinterpret_cast<intptr_t>(foreground)));
    DestroyWindow(window);
    Pump();
}

// A window, then waiting for ever; only being killed ends it.
[[noreturn]] void Stay() {
    OpenWindow();
    for (;;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
        Pump();
    }
}

} // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "check";
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (!std::strcmp(mode, "stay"))
        Stay();
    CheckSession();
    std::printf("runner probe: %s: %s\n", mode, failures ? "session disturbed" : "session clean");
    if (failures)
        return 1;
    if (!std::strcmp(mode, "crash")) {
        // The address comes from a volatile so that the compiler emits the write as written.
        volatile uintptr_t address = 0;
        *reinterpret_cast<volatile int*>(address) = 1;
    } else if (!std::strcmp(mode, "window-left-open")) {
        OpenWindow();
        ExitProcess(0);
    } else if (!std::strcmp(mode, "child-left-running")) {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof path);
        char line[MAX_PATH + 16];
        std::snprintf(line, sizeof line, "\"%s\" stay", path);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child = {};
        if (!CreateProcessA(path, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &child)) {
            std::printf("runner probe: the child did not start (%lu)\n", GetLastError());
            return 1;
        }
        WaitForInputIdle(child.hProcess, 10000);
        // The child's window is open once its message loop waits.
        for (int i = 0; i < 100 && !FindWindowA(kClassName, nullptr); ++i)
            Sleep(50);
        Expect(FindWindowA(kClassName, nullptr) != nullptr, "the child opened no window", 0);
        return failures ? 1 : 0;
    } else if (!std::strcmp(mode, "hang")) {
        Stay();
    } else if (std::strcmp(mode, "check")) {
        std::printf("runner probe: unknown mode %s\n", mode);
        return 2;
    }
    return 0;
}
