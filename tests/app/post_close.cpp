// Another program asking onebox to close, as a task manager's "End task" does first: posts
// WM_CLOSE to the top-level window with the given title. Exit code 0 when it was posted, 1
// when no such window was found, 2 without a title.
//
//   post_close.exe TITLE
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 2)
        return 2;
    HWND window = FindWindowA(nullptr, __argv[1]);
    return window && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
