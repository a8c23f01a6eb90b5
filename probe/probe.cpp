#include "probe/probe.h"

AlphaBlendFunction AlphaBlendEntry;

namespace {
HMODULE msimg32;
}

void SystemLibrariesProbe() {
    msimg32 = LoadLibraryA("msimg32.dll");
    if (msimg32)
        // GetProcAddress returns a generic FARPROC; going through void* states that the real
        // signature is the platform's AlphaBlend.
        AlphaBlendEntry = reinterpret_cast<AlphaBlendFunction>(
            reinterpret_cast<void*>(GetProcAddress(msimg32, "AlphaBlend")));
}

void SystemLibrariesRelease() {
    if (msimg32) {
        FreeLibrary(msimg32);
        msimg32 = nullptr;
    }
}

HMODULE SystemLibrariesMsimg32() { return msimg32; }
