#include "app/runtime.h"

#include "core/platform.h"
#include "drawing/session.h"
#include "image/bmp.h"
#include "image/decoder.h"
#include "image/image.h"
#include "probe/probe.h"
#include "screen/screen.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/window.h"

void RuntimeStartup() {
    ScratchHeapInit();
    DecoderRegistryInit();
    SystemLibrariesProbe();
    ImageRegistryInit();
    DrawingSessionsInit();
    BmpDecoderRegister();
    GadgetsInit();
    EventQueueInit();
    WindowsInit();
}

void RuntimeShutdown() {
    WindowCloseAll();
    WindowsShutdown();
    GadgetsShutdown();
    ScreenShutdown();
    DrawingSessionsShutdown();
    ImageFreeAll();
    ImageRegistryShutdown();
    DecoderRegistryShutdown();
    SystemLibrariesRelease();
}
