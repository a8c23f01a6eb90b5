#include "screen_support.h"

#include <map>

#include "app/runtime.h"
#include "core/platform.h"
#include "drawing/session.h"
#include "screen/screen.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/window.h"

namespace {

const char PARENT_CLASS[] = "ScreenTestParent";
std::map<HWND, int> appMessages;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP)
        appMessages[window]++;
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Read(int (*function)(char*, int)) {
    int size = function(nullptr, 0);
    std::string text(size + 1, '\0');
    function(&text[0], size + 1);
    text.resize(size);
    return text;
}

} // namespace

void ScreenTest::SetUp() {
    ASSERT_EQ(PrivateHeapCreate(1 << 20), 1);
    RuntimeStartup();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ParentProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = PARENT_CLASS;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RegisterClassA(&windowClass);
}

void ScreenTest::TearDown() {
    RuntimeShutdown();
    for (HWND parent : parents_)
        DestroyWindow(parent);
    PrivateHeapDestroy();
}

HWND ScreenTest::MakeParent(int clientWidth, int clientHeight) {
    RECT frame = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND parent = CreateWindowExA(0, PARENT_CLASS, "screen test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  20, 20, frame.right - frame.left, frame.bottom - frame.top,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    parents_.push_back(parent);
    return parent;
}

int AppMessagesSeen(HWND parent) { return appMessages[parent]; }

const D3d9Double* LoadD3d9Double() {
    static D3d9Double control;
    HMODULE library = LoadLibraryA("d3d9.dll");
    if (!library)
        return nullptr;
    auto find = [library](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(library, name));
    };
    control.script = reinterpret_cast<void (*)(const char*)>(find("D3d9DoubleScript"));
    control.set = reinterpret_cast<void (*)(const char*)>(find("D3d9DoubleSet"));
    control.log = reinterpret_cast<int (*)(char*, int)>(find("D3d9DoubleLog"));
    control.leaks = reinterpret_cast<int (*)(char*, int)>(find("D3d9DoubleLeaks"));
    return control.script && control.set && control.log && control.leaks ? &control : nullptr;
}

std::vector<std::string> DoubleLog() { return Lines(Read(LoadD3d9Double()->log)); }

std::string DoubleLeaks() { return Read(LoadD3d9Double()->leaks); }

std::vector<std::string> DoubleLogSince(size_t first, bool collapse) {
    std::vector<std::string> all = DoubleLog(), kept;
    for (size_t i = first; i < all.size(); i++)
        if (!collapse || kept.empty() || kept.back() != all[i])
            kept.push_back(all[i]);
    return kept;
}
