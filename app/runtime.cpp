#include "app/runtime.h"

#include "core/platform.h"
#include "image/bmp.h"
#include "image/decoder.h"
#include "probe/probe.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/window.h"

void RuntimeStartup() {
    ScratchHeapInit();
    DecoderRegistryInit();
    SystemLibrariesProbe();
    // ImageRegistryInit and DrawingSessionsInit go here.
    BmpDecoderRegister();
    GadgetsInit();
    EventQueueInit();
    WindowsInit();
}

void RuntimeShutdown() {
    WindowCloseAll();
    GadgetsShutdown();
    // ScreenShutdown and ImageFreeAll go here.
    SystemLibrariesRelease();
}
