// The present recorder: a d3d9.dll that wraps the layer under test, as a tracing layer does, and
// writes down what the program presented, so that the checker can account for every frame. It is
// loaded in place of Wine's (WINEDLLOVERRIDES=d3d9=n,b, from the folder of the program, which
// stays as it is: no option, no log of its own), loads the wrapped d3d9.dll, and at each Present
// reads the back buffer, finds its black boxes, takes QueryPerformanceCounter and appends a record
// (checker/recorder/present_record.h) to its file.
//
// recorder.txt beside this DLL, when there is one, says, one "key=value" a line:
//   d3d9=PATH   the DLL to wrap (a Windows path): another layer under test, chained. Default:
//               the system's own d3d9.dll, which under Wine is its builtin, loaded through the
//               ",b" of the override.
//   log=PATH    the record's file (a Windows path; Z:\tmp\... for a Unix one). Default:
//               presents.log beside this DLL.
//   probe=alternate
//               for the cost benchmark: the back buffer is read in every other half second
//               only, and the records of the others say so, so that one run gives the frame
//               rate with and without the read-back.
//
// Why patch the wrapped objects' tables of methods instead of handing out proxies: the
// program must talk to the layer under test exactly as without the recorder. A proxy device
// would have to wrap every object that leads back to the device (surfaces, swap chains, their
// GetDevice and GetContainer) to keep COM identity: well over a hundred methods of forwarding
// (the device alone has 119), each a place to differ from the layer. Patching three entries
// (IDirect3D9::CreateDevice, and the device's Present and Release) leaves every object the
// layer's own; the table is shared by every object of its class in that DLL, which is what a
// recorder of the whole process wants. The entries are written once, under VirtualProtect,
// since a compiler puts the tables in read-only memory.
//
// Why the back buffer is locked in Present itself. Wine's Direct3D works in a thread of its own,
// and a lock waits for that thread to finish what it has queued on the surface and to carry out
// the lock: 25-40 us a frame on a quiet machine, over 6.5 ms with two cores shared by five busy
// processes. A copy into system memory queued in Present (GetRenderTargetData) and read by a
// thread of the recorder's was tried: Present then cost 150 us, but onebox's frame rate was no
// better (with / without, medians of 4 runs at a load of 4-6: 0.61 against 0.87 on OpenGL, 0.82
// against 0.80 on Vulkan): the copy's work only moved to Wine's thread, which the program waits
// for at its next GetDC, and the recorder's thread held wined3d's lock while it waited.
#include <windows.h>

#include <d3d9.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "box_probe.h"
#include "present_record.h"

namespace {

// Slots in the methods' tables, in the order d3d9.h declares the methods.
const int SLOT_RELEASE = 2;        // IUnknown::Release
const int SLOT_CREATE_DEVICE = 16; // IDirect3D9::CreateDevice
const int SLOT_PRESENT = 17;       // IDirect3DDevice9::Present

// Records are kept in memory and written this many at a time (16 KB), or whatever there is a
// tenth of a second after the last write, and whatever is left when the device is released or
// the process ends: the checker reads the file while the program still runs, right after its
// watch, and needs the presents up to then.
const int BUFFERED = 256;
const int FLUSHES_A_SECOND = 10;
// probe=alternate: the length of each period with and without the read-back, in seconds.
const double ALTERNATE_SECONDS = 0.5;

typedef IDirect3D9*(WINAPI* CreateFunction)(UINT);
typedef HRESULT(STDMETHODCALLTYPE* CreateDeviceMethod)(IDirect3D9*, UINT, D3DDEVTYPE, HWND, DWORD,
                                                       D3DPRESENT_PARAMETERS*, IDirect3DDevice9**);
typedef HRESULT(STDMETHODCALLTYPE* PresentMethod)(IDirect3DDevice9*, const RECT*, const RECT*, HWND,
                                                  const RGNDATA*);
typedef ULONG(STDMETHODCALLTYPE* ReleaseMethod)(IDirect3DDevice9*);

struct Recorder {
    bool configured = false;
    std::string wrappedPath, logPath;
    bool alternate = false;
    CreateFunction create = nullptr;
    CreateDeviceMethod createDevice = nullptr;
    PresentMethod present = nullptr;
    ReleaseMethod release = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    LARGE_INTEGER frequency = {};
    uint32_t presents = 0;
    PresentRecord buffer[BUFFERED];
    int buffered = 0;
    LONGLONG lastFlush = 0; // counter ticks
    CRITICAL_SECTION lock;
};

Recorder recorder;
HMODULE self;

std::string BesideSelf(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    std::string folder = slash ? std::string(path, slash + 1) : std::string();
    return folder + name;
}

void Configure() {
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    recorder.wrappedPath = std::string(system) + "\\d3d9.dll";
    recorder.logPath = BesideSelf("presents.log");
    FILE* config = std::fopen(BesideSelf("recorder.txt").c_str(), "r");
    if (config) {
        char line[1024];
        while (std::fgets(line, sizeof line, config)) {
            std::string text = line;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            size_t equals = text.find('=');
            if (equals == std::string::npos)
                continue;
            std::string key = text.substr(0, equals), value = text.substr(equals + 1);
            if (key == "d3d9")
                recorder.wrappedPath = value;
            else if (key == "log")
                recorder.logPath = value;
            else if (key == "probe")
                recorder.alternate = value == "alternate";
        }
        std::fclose(config);
    }
    QueryPerformanceFrequency(&recorder.frequency);
    recorder.file = CreateFileA(recorder.logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (recorder.file != INVALID_HANDLE_VALUE) {
        PresentFileHeader header = {};
        std::memcpy(header.magic, PRESENT_MAGIC, sizeof header.magic);
        header.recordSize = sizeof(PresentRecord);
        header.boxSlots = PRESENT_BOX_SLOTS;
        header.qpcFrequency = recorder.frequency.QuadPart;
        header.processId = GetCurrentProcessId();
        DWORD written;
        WriteFile(recorder.file, &header, sizeof header, &written, nullptr);
    }
    recorder.configured = true;
}

// Called with the lock held.
void Flush() {
    if (recorder.buffered > 0 && recorder.file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(recorder.file, recorder.buffer, recorder.buffered * sizeof(PresentRecord),
                  &written, nullptr);
    }
    recorder.buffered = 0;
}

// Writes `hook` into `slot` of the object's table and returns what was there, once: a second
// object of the same class shares the table, already patched.
template <typename Method> void Patch(void* object, int slot, void* hook, Method* original) {
    void** table = *static_cast<void***>(object);
    if (table[slot] == hook)
        return;
    DWORD was;
    if (!VirtualProtect(&table[slot], sizeof(void*), PAGE_READWRITE, &was))
        return;
    *original = reinterpret_cast<Method>(table[slot]);
    table[slot] = hook;
    VirtualProtect(&table[slot], sizeof(void*), was, &was);
}

// Reads the boxes of the back buffer about to be presented into the record. The surface is
// asked for at each present and released at once: a reference held across presents would make
// the program's Reset fail (no reference to a swap-chain surface may be held then).
void ReadBackBuffer(IDirect3DDevice9* device, PresentRecord* record) {
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)))
        return;
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    ProbeImage image = {};
    if (SUCCEEDED(back->GetDesc(&desc))) {
        image.width = static_cast<int>(desc.Width);
        image.height = static_cast<int>(desc.Height);
        switch (desc.Format) {
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A8R8G8B8:
            image.bytesPerPixel = 4, image.colourMask = 0xFFFFFF;
            break;
        case D3DFMT_R5G6B5:
            image.bytesPerPixel = 2, image.colourMask = 0xFFFF;
            break;
        case D3DFMT_X1R5G5B5:
            image.bytesPerPixel = 2, image.colourMask = 0x7FFF;
            break;
        default:
            break;
        }
    }
    if (image.bytesPerPixel && SUCCEEDED(back->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        image.bits = static_cast<const uint8_t*>(locked.pBits);
        image.pitch = locked.Pitch;
        int count = ProbeBoxes(image, record->boxes, PRESENT_BOX_SLOTS);
        back->UnlockRect();
        record->boxCount = static_cast<uint8_t>(count > 255 ? 255 : count);
        record->flags |= PRESENT_READ | (count > PRESENT_BOX_SLOTS ? PRESENT_OVERFLOW : 0);
    }
    back->Release();
}

HRESULT STDMETHODCALLTYPE HookPresent(IDirect3DDevice9* device, const RECT* source,
                                      const RECT* destination, HWND window, const RGNDATA* dirty) {
    PresentRecord record = {};
    LARGE_INTEGER before, call, after;
    QueryPerformanceCounter(&before);
    bool skip = recorder.alternate &&
                static_cast<long long>(before.QuadPart /
                                       (ALTERNATE_SECONDS * recorder.frequency.QuadPart)) %
                    2;
    if (skip)
        record.flags |= PRESENT_SKIPPED;
    else
        ReadBackBuffer(device, &record);
    QueryPerformanceCounter(&call);
    HRESULT result = recorder.present(device, source, destination, window, dirty);
    QueryPerformanceCounter(&after);
    record.probeTicks = static_cast<uint32_t>(call.QuadPart - before.QuadPart);
    record.qpcCall = call.QuadPart;
    record.qpcReturn = after.QuadPart;
    record.result = result;
    EnterCriticalSection(&recorder.lock);
    record.index = ++recorder.presents;
    recorder.buffer[recorder.buffered++] = record;
    if (recorder.buffered == BUFFERED ||
        after.QuadPart - recorder.lastFlush >= recorder.frequency.QuadPart / FLUSHES_A_SECOND) {
        Flush();
        recorder.lastFlush = after.QuadPart;
    }
    LeaveCriticalSection(&recorder.lock);
    return result;
}

// The program's last reference to a device: what is buffered goes to the file now, in case the
// process ends in a way that skips the DLL's detach.
ULONG STDMETHODCALLTYPE HookRelease(IDirect3DDevice9* device) {
    ULONG left = recorder.release(device);
    if (left == 0) {
        EnterCriticalSection(&recorder.lock);
        Flush();
        LeaveCriticalSection(&recorder.lock);
    }
    return left;
}

HRESULT STDMETHODCALLTYPE HookCreateDevice(IDirect3D9* direct3d, UINT adapter, D3DDEVTYPE type,
                                           HWND window, DWORD behaviour,
                                           D3DPRESENT_PARAMETERS* params,
                                           IDirect3DDevice9** device) {
    HRESULT result =
        recorder.createDevice(direct3d, adapter, type, window, behaviour, params, device);
    if (SUCCEEDED(result) && *device) {
        Patch(*device, SLOT_PRESENT, reinterpret_cast<void*>(HookPresent), &recorder.present);
        Patch(*device, SLOT_RELEASE, reinterpret_cast<void*>(HookRelease), &recorder.release);
    }
    return result;
}

} // namespace

extern "C" {

__declspec(dllexport) IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    // The wrapped DLL is loaded here rather than at attach: a load from inside DllMain runs
    // under the loader's lock.
    if (!recorder.configured) {
        Configure();
        HMODULE wrapped = LoadLibraryA(recorder.wrappedPath.c_str());
        recorder.create = wrapped ? reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(
                                        GetProcAddress(wrapped, "Direct3DCreate9")))
                                  : nullptr;
    }
    IDirect3D9* direct3d = recorder.create ? recorder.create(sdkVersion) : nullptr;
    if (direct3d)
        Patch(direct3d, SLOT_CREATE_DEVICE, reinterpret_cast<void*>(HookCreateDevice),
              &recorder.createDevice);
    return direct3d;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        InitializeCriticalSection(&recorder.lock);
    } else if (reason == DLL_PROCESS_DETACH) {
        // No lock: at the process's end the other threads are gone, and one of them may have
        // died holding it.
        Flush();
        if (recorder.file != INVALID_HANDLE_VALUE)
            CloseHandle(recorder.file);
        recorder.file = INVALID_HANDLE_VALUE;
    }
    return TRUE;
}
}
