// A d3d9.dll for tests: the screen loads it in place of Wine's through the DLL override
// d3d9=n, exactly as it loads the real one, and it answers as scripted. It produces on demand
// what the real platform will not: device loss, a refused Reset, driver errors, displays in
// other formats. Every call the screen makes is logged with its arguments; every object keeps
// a reference count, and a check reports any object not released exactly once.
//
// Script: "key=value,key=value" from D3d9DoubleScript (a test) or from the environment
// variable ONEBOX_D3D9_DOUBLE (a whole program run; each call is then also written to the file
// named by log= as it is made, and the reference check when the process ends). A key without
// "=value" means key=1; unknown keys are ignored. SCRIPT_KEYS below lists the keys.
// D3d9DoubleSet changes some keys in the middle of a test.
#include <windows.h>

#include <d3d9.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "unused_methods.inc"

namespace {

struct Script {
    UINT modes[3] = {0, 0, 1};
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    bool hardwareTransform = false;
    bool nullCreate = false;
    bool failMode = false, failCaps = false, failCreate = false, failReset = false;
    bool failPresent = false, failGetDC = false;
    long lossAtPresent = -1;
    DWORD lossMilliseconds = 0;
    bool internalError = false;
    long skipClearEvery = 0;
    std::string logPath;
};

struct Tracked {
    const char* kind;
    LONG references;
    bool overReleased;
};

Script script;
std::string callLog;
std::vector<Tracked*> objects;
long presents;
bool lossStarted;
DWORD lossStart;
bool resetDone;

HANDLE logFile = INVALID_HANDLE_VALUE;

void Write(const std::string& text) {
    DWORD written;
    if (logFile != INVALID_HANDLE_VALUE)
        WriteFile(logFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Log(const char* format, ...) {
    char line[256];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    callLog += line;
    callLog += '\n';
    Write(std::string(line) + '\n');
}

std::string RectText(const RECT* rect) {
    if (!rect)
        return "null";
    char text[64];
    snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", rect->left, rect->top, rect->right,
             rect->bottom);
    return text;
}

// Each key of a script, what it means, and the field of the script it sets.
const struct ScriptKey {
    const char* key;
    const char* meaning;
    void (*apply)(Script& script, const std::string& value, long number);
} SCRIPT_KEYS[] = {
    {"modes", "A/B/C: mode counts of X1R5G5B5, R5G6B5, X8R8G8B8 (default 0/0/1)",
     [](Script& s, const std::string& v, long) {
         sscanf(v.c_str(), "%u/%u/%u", &s.modes[0], &s.modes[1], &s.modes[2]);
     }},
    {"format", "N: display format (default 22, X8R8G8B8)",
     [](Script& s, const std::string&, long n) { s.format = static_cast<D3DFORMAT>(n); }},
    {"hwtnl", "1: device capabilities report hardware transform and lighting",
     [](Script& s, const std::string&, long n) { s.hardwareTransform = n; }},
    {"null", "1: Direct3DCreate9 returns null",
     [](Script& s, const std::string&, long n) { s.nullCreate = n; }},
    {"failmode", "1: GetAdapterDisplayMode fails",
     [](Script& s, const std::string&, long n) { s.failMode = n; }},
    {"failcaps", "1: GetDeviceCaps fails",
     [](Script& s, const std::string&, long n) { s.failCaps = n; }},
    {"failcreate", "1: CreateDevice fails",
     [](Script& s, const std::string&, long n) { s.failCreate = n; }},
    {"failreset", "1: Reset fails", [](Script& s, const std::string&, long n) { s.failReset = n; }},
    {"failpresent", "1: Present fails",
     [](Script& s, const std::string&, long n) { s.failPresent = n; }},
    {"failgetdc", "1: the back buffer's GetDC fails",
     [](Script& s, const std::string&, long n) { s.failGetDC = n; }},
    {"loss", "N: the device is lost from the Nth present on (0: from now)",
     [](Script& s, const std::string&, long n) { s.lossAtPresent = n; }},
    {"lossms", "M: lost for M milliseconds, then it can be reset (after which it is usable)",
     [](Script& s, const std::string&, long n) { s.lossMilliseconds = n; }},
    {"internal", "1: from the loss on, a driver internal error instead",
     [](Script& s, const std::string&, long n) { s.internalError = n; }},
    {"skipclear",
     "N: Clear does nothing on every Nth frame (counted by presents), so it keeps the "
     "last frame's picture under the new one",
     [](Script& s, const std::string&, long n) { s.skipClearEvery = n; }},
    {"log", "PATH: file for the log of a program run",
     [](Script& s, const std::string& v, long) { s.logPath = v; }},
};

// fresh: start from the defaults; otherwise the keys change the script in force.
void ApplyScript(const char* text, bool fresh) {
    if (fresh)
        script = Script();
    std::string all = text ? text : "";
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(',', start);
        if (end == std::string::npos)
            end = all.size();
        std::string item = all.substr(start, end - start);
        start = end + 1;
        size_t equals = item.find('=');
        std::string key = item.substr(0, equals);
        std::string value = equals == std::string::npos ? "1" : item.substr(equals + 1);
        long number = strtol(value.c_str(), nullptr, 0);
        for (const ScriptKey& entry : SCRIPT_KEYS)
            if (key == entry.key)
                entry.apply(script, value, number);
    }
    if (fresh) {
        presents = 0;
        lossStarted = false;
        resetDone = false;
    }
}

// The device's state as TestCooperativeLevel reports it.
HRESULT DeviceState() {
    if (!lossStarted && script.lossAtPresent >= 0 && presents >= script.lossAtPresent) {
        lossStarted = true;
        lossStart = GetTickCount();
    }
    if (!lossStarted || resetDone)
        return D3D_OK;
    if (script.internalError)
        return D3DERR_DRIVERINTERNALERROR;
    if (GetTickCount() - lossStart < script.lossMilliseconds)
        return D3DERR_DEVICELOST;
    return D3DERR_DEVICENOTRESET;
}

const char* StateName(HRESULT state) {
    switch (state) {
    case D3D_OK:
        return "OK";
    case D3DERR_DEVICELOST:
        return "DEVICELOST";
    case D3DERR_DEVICENOTRESET:
        return "DEVICENOTRESET";
    case D3DERR_DRIVERINTERNALERROR:
        return "DRIVERINTERNALERROR";
    default:
        return "?";
    }
}

Tracked* Track(const char* kind) {
    Tracked* tracked = new Tracked{kind, 1, false};
    objects.push_back(tracked);
    return tracked;
}

ULONG AddReference(Tracked* tracked) { return ++tracked->references; }

// Objects are never freed, so that a release too many is seen instead of corrupting memory.
ULONG ReleaseReference(Tracked* tracked) {
    if (tracked->references <= 0) {
        tracked->overReleased = true;
        Log("Release %s over-released", tracked->kind);
        return 0;
    }
    LONG left = --tracked->references;
    Log("Release %s %ld", tracked->kind, left);
    return left;
}

std::string LeakReport() {
    std::string report;
    for (const Tracked* tracked : objects)
        if (tracked->references != 0 || tracked->overReleased) {
            char line[96];
            snprintf(line, sizeof line, "%s references %ld%s\n", tracked->kind, tracked->references,
                     tracked->overReleased ? " over-released" : "");
            report += line;
        }
    return report;
}

// A back buffer: a real top-down DIB section in the surface's own layout (16-bit R5G6B5 or
// X1R5G5B5 with their masks, otherwise 32-bit), so that GDI draws on it and a lock hands out
// its memory.
class Surface : public IDirect3DSurface9 {
  public:
    Surface(UINT width, UINT height, D3DFORMAT format)
        : tracked_(Track("surface")), width_(width), height_(height), format_(format) {
        tracked_->references = 0; // held by the swap chain; references are the callers'
        struct {
            BITMAPINFOHEADER header;
            DWORD masks[3];
        } info = {};
        info.header.biSize = sizeof info.header;
        info.header.biWidth = width;
        info.header.biHeight = -static_cast<LONG>(height);
        info.header.biPlanes = 1;
        info.header.biBitCount = 32;
        info.header.biCompression = BI_RGB;
        if (format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5) {
            const bool six = format == D3DFMT_R5G6B5;
            info.header.biBitCount = 16;
            info.header.biCompression = BI_BITFIELDS;
            info.masks[0] = six ? 0xF800 : 0x7C00;
            info.masks[1] = six ? 0x07E0 : 0x03E0;
            info.masks[2] = 0x001F;
        }
        bytesPerPixel_ = info.header.biBitCount / 8;
        bitmap_ = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &bits_, nullptr, 0);
        memoryDc_ = CreateCompatibleDC(nullptr);
        SelectObject(memoryDc_, bitmap_);
    }

    HRESULT __stdcall QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG __stdcall AddRef() override { return AddReference(tracked_); }
    ULONG __stdcall Release() override { return ReleaseReference(tracked_); }

    HRESULT __stdcall GetDesc(D3DSURFACE_DESC* desc) override {
        *desc = D3DSURFACE_DESC{};
        desc->Format = format_;
        desc->Type = D3DRTYPE_SURFACE;
        desc->Usage = D3DUSAGE_RENDERTARGET;
        desc->Width = width_;
        desc->Height = height_;
        return D3D_OK;
    }
    HRESULT __stdcall GetDC(HDC* dc) override {
        Log("GetDC");
        if (script.failGetDC || dcHeld_ || locked_)
            return D3DERR_INVALIDCALL;
        GdiFlush();
        dcHeld_ = true;
        *dc = memoryDc_;
        return D3D_OK;
    }
    HRESULT __stdcall ReleaseDC(HDC dc) override {
        Log("ReleaseDC");
        if (!dcHeld_ || dc != memoryDc_)
            return D3DERR_INVALIDCALL;
        GdiFlush();
        dcHeld_ = false;
        return D3D_OK;
    }
    HRESULT __stdcall LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
        Log("LockRect %s %lu", RectText(rect).c_str(), flags);
        if (dcHeld_ || locked_)
            return D3DERR_INVALIDCALL;
        GdiFlush();
        locked_ = true;
        locked->pBits = bits_;
        locked->Pitch = width_ * bytesPerPixel_;
        return D3D_OK;
    }
    HRESULT __stdcall UnlockRect() override {
        Log("UnlockRect");
        if (!locked_)
            return D3DERR_INVALIDCALL;
        locked_ = false;
        return D3D_OK;
    }

    void Fill(D3DCOLOR color) {
        if (bytesPerPixel_ == 4) {
            uint32_t* pixel = static_cast<uint32_t*>(bits_);
            for (UINT i = 0; i < width_ * height_; i++)
                pixel[i] = color;
            return;
        }
        const DWORD r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
        const uint16_t value = format_ == D3DFMT_R5G6B5
                                   ? uint16_t((r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                                   : uint16_t((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
        uint16_t* pixel = static_cast<uint16_t*>(bits_);
        for (UINT i = 0; i < width_ * height_; i++)
            pixel[i] = value;
    }
    bool Held() const { return dcHeld_ || locked_; }
    LONG References() const { return tracked_->references; }
    void StretchTo(HWND window, const RECT* source, const RECT* destination) {
        HDC dc = ::GetDC(window);
        RECT from = source ? *source : RECT{0, 0, LONG(width_), LONG(height_)};
        RECT to = {0, 0, 0, 0};
        if (destination)
            to = *destination;
        else
            GetClientRect(window, &to);
        StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, memoryDc_,
                   from.left, from.top, from.right - from.left, from.bottom - from.top, SRCCOPY);
        ::ReleaseDC(window, dc);
    }

    D3D9_DOUBLE_UNUSED_IDIRECT3DSURFACE9

  private:
    Tracked* tracked_;
    UINT width_, height_;
    D3DFORMAT format_;
    UINT bytesPerPixel_ = 4;
    HBITMAP bitmap_ = nullptr;
    HDC memoryDc_ = nullptr;
    void* bits_ = nullptr;
    bool dcHeld_ = false;
    bool locked_ = false;
};

class Device : public IDirect3DDevice9 {
  public:
    explicit Device(const D3DPRESENT_PARAMETERS& params)
        : tracked_(Track("device")), params_(params) {
        backBuffer_ =
            new Surface(params.BackBufferWidth, params.BackBufferHeight, params.BackBufferFormat);
    }

    HRESULT __stdcall QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG __stdcall AddRef() override { return AddReference(tracked_); }
    ULONG __stdcall Release() override {
        if (tracked_->references == 1 && backBuffer_->References() > 0)
            Log("device released while its back buffer is held");
        return ReleaseReference(tracked_);
    }

    HRESULT __stdcall TestCooperativeLevel() override {
        HRESULT state = DeviceState();
        Log("TestCooperativeLevel %s", StateName(state));
        return state;
    }
    HRESULT __stdcall Reset(D3DPRESENT_PARAMETERS* params) override {
        Log("Reset %ux%u format %d", params->BackBufferWidth, params->BackBufferHeight,
            params->BackBufferFormat);
        HRESULT state = DeviceState();
        if (state == D3DERR_DEVICELOST || state == D3DERR_DRIVERINTERNALERROR)
            return state;
        // As on the real platform: no reference to a swap-chain surface may be held.
        if (script.failReset || backBuffer_->References() > 0)
            return D3DERR_INVALIDCALL;
        if (lossStarted)
            resetDone = true;
        params_ = *params;
        backBuffer_ = new Surface(params->BackBufferWidth, params->BackBufferHeight,
                                  params->BackBufferFormat);
        return D3D_OK;
    }
    HRESULT __stdcall Present(const RECT* source, const RECT* destination, HWND window,
                              const RGNDATA* dirty) override {
        Log("Present %s %s %s %s%s", RectText(source).c_str(), RectText(destination).c_str(),
            window ? "window" : "null", dirty ? "region" : "null",
            backBuffer_->Held() ? " while-held" : "");
        presents++;
        HRESULT state = DeviceState();
        if (state != D3D_OK)
            return state == D3DERR_DEVICENOTRESET ? D3DERR_DEVICELOST : state;
        if (script.failPresent)
            return D3DERR_INVALIDCALL;
        backBuffer_->StretchTo(window ? window : params_.hDeviceWindow, source, destination);
        return D3D_OK;
    }
    HRESULT __stdcall GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                    IDirect3DSurface9** surface) override {
        Log("GetBackBuffer %u %u %d", swapChain, index, type);
        if (swapChain != 0 || index != 0) {
            *surface = nullptr;
            return D3DERR_INVALIDCALL;
        }
        backBuffer_->AddRef();
        *surface = backBuffer_;
        return D3D_OK;
    }
    HRESULT __stdcall Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                            DWORD stencil) override {
        // The frame being drawn is the one the next present shows: frame presents + 1.
        const bool skip = script.skipClearEvery > 0 && (presents + 1) % script.skipClearEvery == 0;
        Log("Clear %lu %s %lu 0x%08lx %g %lu%s", count, rects ? "rects" : "null", flags, color, z,
            stencil, skip ? " skipped" : "");
        if (!skip && !backBuffer_->Held())
            backBuffer_->Fill(color);
        return D3D_OK;
    }
    HRESULT __stdcall SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override {
        Log("SetRenderTarget %lu %s", index, surface == backBuffer_ ? "backbuffer" : "other");
        return D3D_OK;
    }
    HRESULT __stdcall SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                           DWORD value) override {
        Log("SetTextureStageState %lu %d %lu", stage, type, value);
        return D3D_OK;
    }
    HRESULT __stdcall SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type,
                                      DWORD value) override {
        Log("SetSamplerState %lu %d %lu", sampler, type, value);
        return D3D_OK;
    }
    HRESULT __stdcall SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        Log("SetRenderState %d %lu", state, value);
        return D3D_OK;
    }
    HRESULT __stdcall SetSoftwareVertexProcessing(WINBOOL software) override {
        Log("SetSoftwareVertexProcessing %d", software);
        return D3D_OK;
    }

    D3D9_DOUBLE_UNUSED_IDIRECT3DDEVICE9

  private:
    Tracked* tracked_;
    D3DPRESENT_PARAMETERS params_;
    Surface* backBuffer_;
};

class Direct3D : public IDirect3D9 {
  public:
    Direct3D() : tracked_(Track("direct3d")) {}

    HRESULT __stdcall QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG __stdcall AddRef() override { return AddReference(tracked_); }
    ULONG __stdcall Release() override { return ReleaseReference(tracked_); }

    UINT __stdcall GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        Log("GetAdapterModeCount %u %d", adapter, format);
        switch (format) {
        case D3DFMT_X1R5G5B5:
            return script.modes[0];
        case D3DFMT_R5G6B5:
            return script.modes[1];
        case D3DFMT_X8R8G8B8:
            return script.modes[2];
        default:
            return 0;
        }
    }
    HRESULT __stdcall GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        Log("GetAdapterDisplayMode %u", adapter);
        if (script.failMode)
            return D3DERR_INVALIDCALL;
        *mode = D3DDISPLAYMODE{1024, 768, 60, script.format};
        return D3D_OK;
    }
    HRESULT __stdcall GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
        Log("GetDeviceCaps %u %d", adapter, type);
        if (script.failCaps)
            return D3DERR_INVALIDCALL;
        *caps = D3DCAPS9{};
        caps->DeviceType = type;
        caps->DevCaps = script.hardwareTransform ? D3DDEVCAPS_HWTRANSFORMANDLIGHT : 0;
        return D3D_OK;
    }
    HRESULT __stdcall CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD behaviour,
                                   D3DPRESENT_PARAMETERS* params,
                                   IDirect3DDevice9** device) override {
        Log("CreateDevice %u %d %s 0x%lx %ux%u format %d count %u swap %d window %s windowed "
            "%d flags 0x%lx interval 0x%x depth %d",
            adapter, type, window == params->hDeviceWindow ? "device-window" : "other", behaviour,
            params->BackBufferWidth, params->BackBufferHeight, params->BackBufferFormat,
            params->BackBufferCount, params->SwapEffect, params->hDeviceWindow ? "set" : "null",
            params->Windowed, params->Flags, params->PresentationInterval,
            params->EnableAutoDepthStencil);
        *device = nullptr;
        if (script.failCreate)
            return D3DERR_NOTAVAILABLE;
        *device = new Device(*params);
        return D3D_OK;
    }

    D3D9_DOUBLE_UNUSED_IDIRECT3D9

  private:
    Tracked* tracked_;
};

// A program run's log goes to its file as it grows, so a test can watch the run.
void OpenLogFile() {
    if (!script.logPath.empty())
        logFile = CreateFileA(script.logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CloseLogFile() {
    std::string leaks = LeakReport();
    Write(leaks.empty() ? "references: ok\n" : "references:\n" + leaks);
    if (logFile != INVALID_HANDLE_VALUE)
        CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}

int CopyOut(const std::string& text, char* buffer, int size) {
    if (buffer && size > 0) {
        size_t n = text.size() < size_t(size - 1) ? text.size() : size_t(size - 1);
        memcpy(buffer, text.data(), n);
        buffer[n] = 0;
    }
    return static_cast<int>(text.size());
}

} // namespace

extern "C" {

__declspec(dllexport) IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    Log("Direct3DCreate9 %u", sdkVersion);
    if (script.nullCreate)
        return nullptr;
    return new Direct3D();
}

// Starts a test afresh: a new script, an empty log, no objects to account for.
__declspec(dllexport) void D3d9DoubleScript(const char* text) {
    ApplyScript(text, true);
    callLog.clear();
    objects.clear();
}

// Changes some keys of the script in force, keeping the log, the objects and the loss state.
__declspec(dllexport) void D3d9DoubleSet(const char* text) { ApplyScript(text, false); }

// The call log, one call a line; returns its full length.
__declspec(dllexport) int D3d9DoubleLog(char* buffer, int size) {
    return CopyOut(callLog, buffer, size);
}

// One line for each object not released exactly once; empty when all are.
__declspec(dllexport) int D3d9DoubleLeaks(char* buffer, int size) {
    return CopyOut(LeakReport(), buffer, size);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char text[512] = {};
        GetEnvironmentVariableA("ONEBOX_D3D9_DOUBLE", text, sizeof text);
        ApplyScript(text, true);
        OpenLogFile();
    } else if (reason == DLL_PROCESS_DETACH) {
        CloseLogFile();
    }
    return TRUE;
}
}
