// Where the boxes landed over a run, as a picture for a person: white where none did, darker
// the more often one covered a pixel, the boxes of bad frames outlined in red. No X.
#pragma once
#include <cstdint>
#include <vector>

#include "frame.h"

struct PositionMap {
    // How many good frames' boxes covered each pixel of the picture, row by row.
    std::vector<uint16_t> hits =
        std::vector<uint16_t>(static_cast<size_t>(PICTURE_WIDTH) * PICTURE_HEIGHT, 0);
    std::vector<FrameBox> bad; // the first 1,000 boxes of bad frames

    void AddGood(const FrameBox& box);
    void AddBad(const FrameBox& box);
    // The picture, PICTURE_WIDTH x PICTURE_HEIGHT words 0x00RRGGBB.
    std::vector<uint32_t> Render() const;
};
