// Reads presented pixels back from X: with Wine's OpenGL renderer the screen's child window has
// an X window of its own, and XGetImage on it gives exactly what was presented.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The Wine path (drive Z:) of a Unix path.
std::string WinePath(std::string unixPath);

struct XFrame {
    int width, height;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, row by row
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Every X window that xwininfo lists with exactly this size. A window that reaches past the
// root's edge comes back clipped to the part on the screen.
std::vector<XFrame> XGrabWindowsOfSize(int width, int height);
