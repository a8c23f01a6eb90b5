// The main routine: brings the runtime up, opens window 0 and runs the frame loop until the
// window is asked to close, then takes the runtime down and ends the process with code 0.
#include <windows.h>

#include "app/runtime.h"
#include "core/platform.h"
#include "window/events.h"
#include "window/window.h"

namespace {

const char TITLE[] = "OpenScreen() or ClearScreen()-Bug - You should not see more then one "
                     "black box. If you see more - it's a bug.";

// Fixed size, no minimize or maximize box, centred on the screen.
constexpr uint32_t MAIN_WINDOW_FLAGS = WS_CAPTION | WS_SYSMENU | WINDOW_SCREEN_CENTERED;
constexpr int FRAME_WAIT_MILLISECONDS = 2;

HINSTANCE moduleInstance;
int32_t width;
int32_t height;
int32_t event;

} // namespace

int main() {
    moduleInstance = nullptr;
    width = 0;
    height = 0;
    event = 0;
    moduleInstance = GetModuleHandleA(nullptr);
    PrivateHeapCreate(0);
    RuntimeStartup();

    width = 800;
    height = 600;
    WindowOpen(0, 0, 0, width, height, TITLE, MAIN_WINDOW_FLAGS);

    // The close request only becomes event 16; the window stays open until shutdown.
    do {
        event = WindowWaitEvent(FRAME_WAIT_MILLISECONDS);
    } while (event != EVENT_CLOSE_WINDOW);

    RuntimeShutdown();
    PrivateHeapDestroy();
    ExitProcess(0);
}
