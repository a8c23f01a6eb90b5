#include "app/runtime.h"

#include <cstddef>

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

namespace {

struct Step {
    uint32_t part;
    void (*run)();
};

const Step STARTUP[] = {
    {RUNTIME_SCRATCH_HEAP, [] { ScratchHeapInit(); }},
    {RUNTIME_DECODERS, [] { DecoderRegistryInit(); }},
    {RUNTIME_SYSTEM_LIBRARIES, SystemLibrariesProbe},
    {RUNTIME_IMAGES, ImageRegistryInit},
    {RUNTIME_DRAWING, DrawingSessionsInit},
    {RUNTIME_DECODERS, [] { BmpDecoderRegister(); }},
    {RUNTIME_GADGETS, GadgetsInit},
    {RUNTIME_WINDOWS, EventQueueInit},
    {RUNTIME_WINDOWS, WindowsInit},
};

const Step SHUTDOWN[] = {
    {RUNTIME_WINDOWS, WindowCloseAll},
    {RUNTIME_WINDOWS, WindowsShutdown},
    {RUNTIME_GADGETS, GadgetsShutdown},
    {RUNTIME_SCREEN, ScreenShutdown},
    {RUNTIME_DRAWING, DrawingSessionsShutdown},
    {RUNTIME_IMAGES, ImageFreeAll},
    {RUNTIME_IMAGES, ImageRegistryShutdown},
    {RUNTIME_DECODERS, DecoderRegistryShutdown},
    {RUNTIME_SYSTEM_LIBRARIES, SystemLibrariesRelease},
};

template <size_t N> void Run(const Step (&steps)[N], uint32_t parts) {
    for (const Step& step : steps)
        if (parts & step.part)
            step.run();
}

} // namespace

void RuntimeStartup() { RuntimeStartupParts(RUNTIME_ALL); }

void RuntimeShutdown() { RuntimeShutdownParts(RUNTIME_ALL); }

void RuntimeStartupParts(uint32_t parts) { Run(STARTUP, parts); }

void RuntimeShutdownParts(uint32_t parts) { Run(SHUTDOWN, parts); }
