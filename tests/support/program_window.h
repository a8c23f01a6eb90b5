// For the tests and benchmarks that start onebox.exe as a process of its own: its window 0.
#pragma once
#include <windows.h>

// Window 0 of that process, or null. One program runs at a time in a test or benchmark
// session, so the first window of the class is the one to check.
inline HWND ProgramWindow(DWORD processId) {
    HWND window = FindWindowA("WindowClass_0", nullptr);
    DWORD owner = 0;
    if (window)
        GetWindowThreadProcessId(window, &owner);
    return owner == processId ? window : nullptr;
}
