// A d3d9.dll that does nothing but hand every call to the system's own, as tracing and
// post-processing layers do before they add their work: the smallest wrapper of Wine's builtin
// Direct3D 9. Loaded from beside the program with WINEDLLOVERRIDES=d3d9=n,b, it loads the
// system's d3d9.dll by its full path; with d3d9=n alone that load finds no DLL (Wine keeps only
// a placeholder there), Direct3DCreate9 returns null and no frame is ever presented, which is
// how the layer report tells the two settings apart.
#include <windows.h>

struct IDirect3D9;
using CreateFunction = IDirect3D9*(WINAPI*)(UINT);

extern "C" __declspec(dllexport) IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    static CreateFunction create = nullptr;
    if (!create) {
        char path[MAX_PATH];
        const char name[] = "\\d3d9.dll";
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length + sizeof name > MAX_PATH)
            return nullptr;
        lstrcatA(path, name);
        HMODULE system = LoadLibraryA(path);
        if (!system)
            return nullptr;
        create = reinterpret_cast<CreateFunction>(
            reinterpret_cast<void*>(GetProcAddress(system, "Direct3DCreate9")));
        if (!create)
            return nullptr;
    }
    return create(sdkVersion);
}
