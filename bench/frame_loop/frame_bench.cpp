// Frame-loop benchmark: the program's frame loop against a bare Win32 loop that makes the same
// platform calls and nothing else (wait up to 2 ms for a message, Clear, back buffer GetDC and
// ReleaseDC, Present), both on the same Direct3D 9 in one run, alternating.
//
//   frame_bench.exe [SECONDS_PER_RUN [ROUNDS]]
//
// Prints each run's presented frames per second and the ratio of the program's rate to the
// bare loop's. Only frames whose Present succeeded count.
#include <windows.h>

#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/picture.h"
#include "checker/presenter/bare_d3d9.h"
#include "tests/support/program_window.h"

namespace {

struct Rate {
    long frames;
    double seconds;
    double perSecond() const { return seconds > 0 ? frames / seconds : 0; }
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// The bare loop: a client window of the picture's size with a STATIC child, a device made as
// the program makes its screen, and the loop's platform calls.
Rate BareLoop(double seconds) {
    Rate rate = {0, 0};
    HWND child = nullptr;
    HWND window = BareWindow("STATIC", "bare loop", &child);
    IDirect3DDevice9* device = window ? BareDevice(child) : nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
    if (!device || FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
        std::fprintf(stderr, "frame_bench: no device\n");
        if (device)
            device->Release();
        if (window)
            DestroyWindow(window);
        return rate;
    }

    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    now = start;
    RECT source = {0, 0, PICTURE_WIDTH, PICTURE_HEIGHT};
    long turns = 0;
    while (Seconds(start, now) < seconds) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) ||
            (MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT) != WAIT_TIMEOUT &&
             PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        device->Clear(0, nullptr, D3DCLEAR_TARGET, GREY, 0.0f, 0);
        HDC dc;
        if (SUCCEEDED(backBuffer->GetDC(&dc)))
            backBuffer->ReleaseDC(dc);
        RECT client;
        GetClientRect(child, &client);
        HRESULT presented = device->Present(&source, &client, nullptr, nullptr);
        QueryPerformanceCounter(&now);
        // As in the program's counter: the first turn starts the clock.
        if (turns++ == 0)
            start = now;
        else if (presented == D3D_OK)
            rate.frames++;
    }
    rate.seconds = Seconds(start, now);
    backBuffer->Release();
    device->Release();
    DestroyWindow(window);
    return rate;
}

// The program's own loop, counted by its benchmark build, closed by WM_CLOSE after the time.
Rate ProgramLoop(double seconds) {
    Rate rate = {0, 0};
    char countFile[MAX_PATH];
    GetTempPathA(MAX_PATH, countFile);
    std::strcat(countFile, "onebox_frame_count.txt");
    DeleteFileA(countFile);
    SetEnvironmentVariableA("ONEBOX_FRAME_COUNT_FILE", countFile);
    std::string path = ONEBOX_COUNTED_EXE;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::string line = "\"" + path + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "frame_bench: cannot start %s\n", path.c_str());
        return rate;
    }
    HWND window = nullptr;
    for (int i = 0; i < 400 && !(window = ProgramWindow(process.dwProcessId)); i++)
        Sleep(50);
    if (window) {
        Sleep(static_cast<DWORD>(seconds * 1000));
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    long turns = 0;
    long long microseconds = 0;
    if (FILE* file = std::fopen(countFile, "r")) {
        if (std::fscanf(file, "turns %ld presented %ld microseconds %lld", &turns, &rate.frames,
                        &microseconds) != 3)
            rate.frames = 0;
        std::fclose(file);
    }
    rate.seconds = microseconds / 1e6;
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
    Rate bare = {0, 0}, program = {0, 0};
    std::vector<double> ratios;
    // Round 0 warms up: the first device of a session is slower to make and to run.
    for (int round = 0; round <= rounds; round++) {
        Rate b = BareLoop(seconds);
        Rate p = ProgramLoop(seconds);
        std::printf("%s %d: bare loop %ld frames in %.2f s = %.1f/s; onebox %ld frames in "
                    "%.2f s = %.1f/s\n",
                    round ? "round" : "warm-up", round, b.frames, b.seconds, b.perSecond(),
                    p.frames, p.seconds, p.perSecond());
        if (!round)
            continue;
        if (b.perSecond() > 0)
            ratios.push_back(p.perSecond() / b.perSecond());
        bare.frames += b.frames;
        bare.seconds += b.seconds;
        program.frames += p.frames;
        program.seconds += p.seconds;
    }
    // Other load on the machine moves both rates from round to round; the median of the
    // rounds' ratios is the figure least moved by one disturbed round.
    std::sort(ratios.begin(), ratios.end());
    double median =
        ratios.empty() ? 0.0 : (ratios[(ratios.size() - 1) / 2] + ratios[ratios.size() / 2]) / 2;
    std::printf("bare loop: %.1f frames/s\nonebox:    %.1f frames/s\nratio:     %.3f (median "
                "of the rounds' ratios %.3f)\n",
                bare.perSecond(), program.perSecond(),
                bare.perSecond() > 0 ? program.perSecond() / bare.perSecond() : 0.0, median);
    return bare.frames > 0 && program.frames > 0 ? 0 : 1;
}
