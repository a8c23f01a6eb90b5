// The picture onebox shows in window 0, every frame: a grey screen with one black square at a
// random place, kept a margin inside the screen's edges. The program draws it from here, and
// the frame checker judges frames against it; a change here changes both.
#pragma once

#include <cstdint>

// The screen: window 0's client area and the Direct3D back buffer.
constexpr int PICTURE_WIDTH = 800;
constexpr int PICTURE_HEIGHT = 600;
// Every frame is cleared to this colour, 0xRRGGBB.
constexpr uint32_t GREY = 0x888888;
// The black square: its side, and how far every one of its pixels stays inside the screen.
constexpr int BOX_SIZE = 20;
constexpr int BOX_MARGIN = 5;

// Where the square's top-left corner can land: BOX_MIN..BOX_MAX_X by BOX_MIN..BOX_MAX_Y.
constexpr int BOX_MIN = BOX_MARGIN;
constexpr int BOX_MAX_X = PICTURE_WIDTH - BOX_MARGIN - BOX_SIZE;
constexpr int BOX_MAX_Y = PICTURE_HEIGHT - BOX_MARGIN - BOX_SIZE;
