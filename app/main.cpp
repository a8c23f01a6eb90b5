// The main routine: brings the runtime up, opens window 0 and runs the frame loop until the
// window is asked to close, then takes the runtime down and ends the process with code 0.
#include <windows.h>

#include "app/frame_hooks.h"
#include "app/picture.h"
#include "app/runtime.h"
#include "app/title.h"
#include "core/platform.h"
#include "drawing/session.h"
#include "image/image.h"
#include "random/random.h"
#include "screen/screen.h"
#include "window/events.h"
#include "window/window.h"

namespace {

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

    width = PICTURE_WIDTH;
    height = PICTURE_HEIGHT;
    ImageCreate(0, BOX_SIZE, BOX_SIZE);
    // Without Direct3D 9 or a window the loop still runs: clearing, drawing and presenting
    // then do nothing.
    ScreenInit();
    if (WindowOpen(0, 0, 0, width, height, PROGRAM_TITLE, MAIN_WINDOW_FLAGS))
        ScreenOpenWindowed(WindowNativeHandle(0), 0, 0, width, height, 0, 0, 0);

    // The close request only becomes event 16; the window stays open until shutdown.
    do {
        event = WindowWaitEvent(FRAME_WAIT_MILLISECONDS);
        ClearScreen(GREY);
        // The back buffer's device context is given back at the end of the session, before
        // the frame is presented.
        if (DrawingBegin(ScreenDrawingOutput())) {
            // Vertical first: the order fixes which generator output becomes which coordinate.
            // The bounds keep the whole square BOX_MARGIN pixels inside the screen.
            int32_t y = RandomUpTo(BOX_MAX_Y - BOX_MIN) + BOX_MIN;
            int32_t x = RandomUpTo(BOX_MAX_X - BOX_MIN) + BOX_MIN;
            DrawingBlitImage(ImageNativeHandle(0), x, y);
            DrawingEnd();
        }
        ScreenFlip();
        FrameLoopTurned();
    } while (event != EVENT_CLOSE_WINDOW);

    RuntimeShutdown();
    PrivateHeapDestroy();
    FrameLoopEnded();
    ExitProcess(0);
}
