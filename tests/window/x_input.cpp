#include "x_input.h"

#include <cstdio>
#include <cstdlib>

#include "window/events.h"

namespace {

// The Unix side cannot be waited on through a process handle under Wine (the handle refers
// to a stub that ends at once), so the command leaves its exit code in a file polled here.
std::string MarkerPath() {
    static int counter;
    char path[128];
    std::snprintf(path, sizeof path, "/tmp/onebox-xin-%lu-%d", GetCurrentProcessId(), ++counter);
    return path;
}

std::string WinePath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string Display() {
    const char* display = std::getenv("ONEBOX_DISPLAY");
    if (!display || !*display)
        display = std::getenv("DISPLAY");
    return display ? display : ":0";
}

void Record(int32_t code, std::vector<int32_t>* codes) {
    if (code && codes)
        codes->push_back(code);
}

// The desktop's X window; coordinates of --window moves are relative to it, so they are the
// Win32 screen coordinates whatever size the X screen has.
const char DESKTOP[] = "$(xdotool search --name 'Wine desktop' | head -n 1)";

// Wine's X11 driver keeps the X window of each top-level window in this property.
std::string FocusCommand(HWND window) {
    if (!window)
        window = GetForegroundWindow();
    if (window)
        window = GetAncestor(window, GA_ROOT);
    uintptr_t xWindow =
        window ? reinterpret_cast<uintptr_t>(GetPropA(window, "__wine_x11_whole_window")) : 0;
    if (!xWindow)
        return std::string();
    // Focus passes through the desktop first: a window that already has X focus gets no
    // FocusIn, and only a FocusIn makes Wine route the keyboard to it again after another
    // window that had the focus was destroyed (keys would otherwise reach the desktop, where
    // Alt+F4 logs the session off).
    char text[160];
    std::snprintf(text, sizeof text,
                  "xdotool windowfocus --sync %s; sleep 0.05; xdotool windowfocus --sync %lu; "
                  "sleep 0.05",
                  DESKTOP, static_cast<unsigned long>(xWindow));
    return text;
}

} // namespace

int XRun(const std::string& shellCommand, std::vector<int32_t>* codes, DWORD timeout) {
    std::string marker = MarkerPath();
    std::string markerWine = WinePath(marker);
    DeleteFileA(markerWine.c_str());
    // ONEBOX_X_LOG names a Unix file that collects the commands' output, for debugging.
    const char* log = std::getenv("ONEBOX_X_LOG");
    std::string output = log && *log ? std::string(">>") + log : std::string(">/dev/null");
    std::string command = "/bin/sh -c \"DISPLAY=" + Display() + "; export DISPLAY; (" +
                          shellCommand + ") " + output + " 2>&1; echo $? > " + marker + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);

    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout) {
        Record(WindowWaitEvent(1), codes);
        HANDLE file = CreateFileA(markerWine.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        char text[16] = {};
        DWORD read = 0;
        ReadFile(file, text, sizeof text - 1, &read, nullptr);
        CloseHandle(file);
        // The shell creates the file before echo has written to it.
        if (read == 0 || text[read - 1] != '\n')
            continue;
        DeleteFileA(markerWine.c_str());
        return std::atoi(text);
    }
    return -1;
}

bool XFocus(HWND window) {
    std::string focus = FocusCommand(window);
    return focus.empty() || XRun(focus) == 0;
}

bool XKeyboardReaches(HWND window) {
    if (!window)
        window = GetForegroundWindow();
    if (!window)
        return false;
    window = GetAncestor(window, GA_ROOT);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) {
            // A real click on the caption activates the window the way the user would.
            RECT r;
            GetWindowRect(window, &r);
            XClick((r.left + r.right) / 2, r.top + 4);
            XPump(100);
        }
        std::vector<int32_t> codes;
        std::string focus = FocusCommand(window);
        if (!focus.empty())
            focus += " && ";
        XRun(focus + "xdotool key shift", &codes);
        for (int32_t code : XPump(50))
            codes.push_back(code);
        for (int32_t code : codes)
            if (code == WM_KEYDOWN || code == WM_KEYUP)
                return true;
    }
    return false;
}

bool XKeys(const std::string& keys, std::vector<int32_t>* codes) {
    if (!XKeyboardReaches(nullptr))
        return false;
    return XRun("xdotool key --delay 60 " + keys, codes) == 0;
}

bool XClick(int x, int y, std::vector<int32_t>* codes) {
    char text[96];
    std::snprintf(text, sizeof text, " %d %d", x, y);
    return XRun(std::string("xdotool mousemove --sync --window ") + DESKTOP + text +
                    " && sleep 0.05 && xdotool click 1",
                codes) == 0;
}

std::vector<int32_t> XPump(DWORD milliseconds) {
    std::vector<int32_t> codes;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds)
        Record(WindowWaitEvent(1), &codes);
    return codes;
}
