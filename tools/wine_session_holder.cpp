// Keeps Wine's desktop open for a test run's shared Wine session. The wineserver closes a
// desktop about a second after the last thread using it, other than those of the desktop's own
// process, goes away; each program would then wait for a new desktop, and X windows would come
// and go between test cases. This program uses the desktop, through a message-only window that
// is never shown and never takes the focus, until the session ends it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (!window)
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
