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
//   read=sync   the back buffer is locked and read in Present itself, the way of the first
//               version, kept to compare with (see "Where the back buffer is read").
//
// Why patch the wrapped objects' tables of methods instead of handing out proxies: the
// program must talk to the layer under test exactly as without the recorder. A proxy device
// would have to wrap every object that leads back to the device (surfaces, swap chains, their
// GetDevice and GetContainer) to keep COM identity, about 250 methods of forwarding, each a place
// to differ from the layer. Patching three entries (IDirect3D9::CreateDevice, and the device's
// Present and Release) leaves every object the layer's own; the table is shared by every object
// of its class in that DLL, which is what a recorder of the whole process wants. The entries are
// written once, under VirtualProtect, since a compiler puts the tables in read-only memory.
//
// Where the back buffer is read. Wine's Direct3D works in a thread of its own, and a lock of a
// surface waits for that thread twice: until it has done every queued command that uses the
// surface, and until it has carried out the lock. On an idle machine that took 25-40 us a frame;
// with two cores shared by five busy processes, over 6.5 ms, and onebox's frame rate with the
// read-back fell to 0.65-0.82 of its rate without (bench/checker/recorder_bench.py, 5 runs a
// renderer). So Present only queues a copy of the back buffer into a surface in system memory
// (GetRenderTargetData, which Wine carries out in its own thread, in order, before the present)
// and hands it to a thread of the recorder's, which locks the copy, finds the boxes and writes
// the record, in the order of the presents. The program waits for neither; it waits only when
// that thread is SLOTS presents behind. Under Wine every Direct3D 9 call takes wined3d's one
// lock, so the recorder's thread may lock its own surface beside the program's calls (on Windows
// that would need D3DCREATE_MULTITHREADED). The copies hold references to the device: when the
// program's last Release leaves only theirs, the recorder releases them, so the device ends when
// the program thinks it does.
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

// Records are kept in memory and written this many at a time (16 KB, under a second and a
// half of frames), and whatever is left when the device is released or the process ends.
const int BUFFERED = 256;
// probe=alternate: the length of each period with and without the read-back, in seconds.
const double ALTERNATE_SECONDS = 0.5;
// Presents the recorder's thread may be behind the program.
const int SLOTS = 3;

typedef IDirect3D9*(WINAPI* CreateFunction)(UINT);
typedef HRESULT(STDMETHODCALLTYPE* CreateDeviceMethod)(IDirect3D9*, UINT, D3DDEVTYPE, HWND, DWORD,
                                                       D3DPRESENT_PARAMETERS*, IDirect3DDevice9**);
typedef HRESULT(STDMETHODCALLTYPE* PresentMethod)(IDirect3DDevice9*, const RECT*, const RECT*, HWND,
                                                  const RGNDATA*);
typedef ULONG(STDMETHODCALLTYPE* ReleaseMethod)(IDirect3DDevice9*);

// A present on its way to the record: its copy of the back buffer, read by the recorder's thread.
struct Slot {
    IDirect3DDevice9* device = nullptr; // whose surface `copy` is
    IDirect3DSurface9* copy = nullptr;
    D3DSURFACE_DESC desc = {};
    bool copied = false; // the copy holds this present's back buffer
    PresentRecord record = {};
};

struct Recorder {
    bool configured = false;
    std::string wrappedPath, logPath;
    bool alternate = false;
    bool sync = false;
    CreateFunction create = nullptr;
    CreateDeviceMethod createDevice = nullptr;
    PresentMethod present = nullptr;
    ReleaseMethod release = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    LARGE_INTEGER frequency = {};
    uint32_t presents = 0;
    PresentRecord buffer[BUFFERED];
    int buffered = 0;
    CRITICAL_SECTION lock;
    Slot slots[SLOTS];
    int head = 0, tail = 0;  // the next slot the program fills, the next the thread reads
    HANDLE filled = nullptr; // counts the slots waiting for the thread
    HANDLE empty = nullptr;  // counts the slots free for the program
    HANDLE reader = nullptr; // the recorder's thread
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
            else if (key == "read")
                recorder.sync = value == "sync";
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

// Finds the boxes of a surface (the back buffer or a copy of it) and puts them in the record.
void ProbeSurface(IDirect3DSurface9* surface, PresentRecord* record) {
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    ProbeImage image = {};
    if (SUCCEEDED(surface->GetDesc(&desc))) {
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
    if (image.bytesPerPixel && SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        image.bits = static_cast<const uint8_t*>(locked.pBits);
        image.pitch = locked.Pitch;
        int count = ProbeBoxes(image, record->boxes, PRESENT_BOX_SLOTS);
        surface->UnlockRect();
        record->boxCount = static_cast<uint8_t>(count > 255 ? 255 : count);
        record->flags |= PRESENT_READ | (count > PRESENT_BOX_SLOTS ? PRESENT_OVERFLOW : 0);
    }
}

// Copies the back buffer about to be presented into the slot's surface in system memory (made
// again when the device or the back buffer's size or format changed). The back buffer is asked
// for at each present and released at once: a reference held across presents would make the
// program's Reset fail (no reference to a swap-chain surface may be held then).
void CopyBackBuffer(IDirect3DDevice9* device, Slot* slot) {
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)))
        return;
    if (recorder.sync) {
        ProbeSurface(back, &slot->record);
        back->Release();
        return;
    }
    D3DSURFACE_DESC desc;
    if (SUCCEEDED(back->GetDesc(&desc))) {
        if (slot->copy && (slot->device != device || slot->desc.Width != desc.Width ||
                           slot->desc.Height != desc.Height || slot->desc.Format != desc.Format)) {
            slot->copy->Release();
            slot->copy = nullptr;
        }
        if (!slot->copy &&
            SUCCEEDED(device->CreateOffscreenPlainSurface(
                desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &slot->copy, nullptr))) {
            slot->device = device;
            slot->desc = desc;
        }
        slot->copied = slot->copy && SUCCEEDED(device->GetRenderTargetData(back, slot->copy));
    }
    // A layer that cannot copy (the d3d9.dll double has no offscreen surfaces) is read here.
    if (!slot->copied)
        ProbeSurface(back, &slot->record);
    back->Release();
}

// Reads the slot's copy and appends its record.
void RecordSlot(Slot& slot) {
    if (slot.copied)
        ProbeSurface(slot.copy, &slot.record);
    EnterCriticalSection(&recorder.lock);
    recorder.buffer[recorder.buffered++] = slot.record;
    if (recorder.buffered == BUFFERED)
        Flush();
    LeaveCriticalSection(&recorder.lock);
}

// The recorder's thread: the slots in the order of the presents.
DWORD WINAPI ReadCopies(LPVOID) {
    for (;;) {
        WaitForSingleObject(recorder.filled, INFINITE);
        RecordSlot(recorder.slots[recorder.tail]);
        recorder.tail = (recorder.tail + 1) % SLOTS;
        ReleaseSemaphore(recorder.empty, 1, nullptr);
    }
}

// Waits until the recorder's thread has read every slot given to it.
void Drain() {
    for (int i = 0; i < SLOTS; i++)
        WaitForSingleObject(recorder.empty, INFINITE);
    ReleaseSemaphore(recorder.empty, SLOTS, nullptr);
}

HRESULT STDMETHODCALLTYPE HookPresent(IDirect3DDevice9* device, const RECT* source,
                                      const RECT* destination, HWND window, const RGNDATA* dirty) {
    LARGE_INTEGER before, call, after;
    QueryPerformanceCounter(&before);
    bool skip = recorder.alternate &&
                static_cast<long long>(before.QuadPart /
                                       (ALTERNATE_SECONDS * recorder.frequency.QuadPart)) %
                    2;
    WaitForSingleObject(recorder.empty, INFINITE);
    Slot& slot = recorder.slots[recorder.head];
    recorder.head = (recorder.head + 1) % SLOTS;
    PresentRecord& record = slot.record;
    record = PresentRecord{};
    slot.copied = false;
    if (skip)
        record.flags |= PRESENT_SKIPPED;
    else
        CopyBackBuffer(device, &slot);
    QueryPerformanceCounter(&call);
    HRESULT result = recorder.present(device, source, destination, window, dirty);
    QueryPerformanceCounter(&after);
    long long probe = call.QuadPart - before.QuadPart;
    record.probeTicks = static_cast<uint16_t>(probe > 65535 ? 65535 : probe);
    record.qpcCall = call.QuadPart;
    record.qpcReturn = after.QuadPart;
    record.result = result;
    record.index = ++recorder.presents;
    // Without a thread of its own (it could not be started) the recorder reads the copy here.
    if (recorder.reader) {
        ReleaseSemaphore(recorder.filled, 1, nullptr);
    } else {
        RecordSlot(slot);
        recorder.tail = recorder.head;
        ReleaseSemaphore(recorder.empty, 1, nullptr);
    }
    return result;
}

// The program's last reference to a device: the recorder's copies, which hold the rest, are
// released, which ends the device; and what is buffered goes to the file now, in case the
// process ends in a way that skips the DLL's detach.
ULONG STDMETHODCALLTYPE HookRelease(IDirect3DDevice9* device) {
    // The copies' own releases come back here through the device's Release.
    static bool releasingCopies = false;
    ULONG left = recorder.release(device);
    if (releasingCopies)
        return left;
    ULONG copies = 0;
    for (const Slot& slot : recorder.slots)
        copies += slot.copy && slot.device == device;
    if (left != copies)
        return left;
    if (copies) {
        Drain();
        releasingCopies = true;
        for (Slot& slot : recorder.slots)
            if (slot.copy && slot.device == device) {
                IDirect3DSurface9* copy = slot.copy;
                slot.copy = nullptr;
                slot.device = nullptr;
                copy->Release();
            }
        releasingCopies = false;
    }
    EnterCriticalSection(&recorder.lock);
    Flush();
    LeaveCriticalSection(&recorder.lock);
    return 0;
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
        recorder.filled = CreateSemaphoreA(nullptr, 0, SLOTS, nullptr);
        recorder.empty = CreateSemaphoreA(nullptr, SLOTS, SLOTS, nullptr);
        recorder.reader = CreateThread(nullptr, 0, ReadCopies, nullptr, 0, nullptr);
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
