// Optional system libraries: msimg32.dll's AlphaBlend is not on every installation, so it is
// looked up at run time instead of imported. The image blit calls through AlphaBlendEntry only
// when it is not null.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* AlphaBlendFunction)(HDC, int, int, int, int, HDC, int, int, int, int,
                                         BLENDFUNCTION);

extern AlphaBlendFunction AlphaBlendEntry;

// Start-up: loads msimg32.dll and keeps its AlphaBlend export; a missing library or export
// leaves the entry null and is not an error.
void SystemLibrariesProbe();
// Shutdown: unloads the library; the entry is left as it was, nothing calls it any more.
void SystemLibrariesRelease();
// The module handle the probe holds, null when msimg32.dll did not load.
HMODULE SystemLibrariesMsimg32();
