#include "positions.h"

#include <cmath>

void PositionMap::AddGood(const FrameBox& box) {
    for (int y = box.y; y < box.y + box.height && y < PICTURE_HEIGHT; ++y)
        for (int x = box.x; x < box.x + box.width && x < PICTURE_WIDTH; ++x)
            if (hits[y * PICTURE_WIDTH + x] < 0xFFFF)
                ++hits[y * PICTURE_WIDTH + x];
}

void PositionMap::AddBad(const FrameBox& box) {
    // Bounded: a frame that never got cleared has hundreds of regions.
    if (bad.size() < 1000)
        bad.push_back(box);
}

std::vector<uint32_t> PositionMap::Render() const {
    std::vector<uint32_t> pixels(hits.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        uint32_t v = static_cast<uint32_t>(255.0 * std::pow(0.6, hits[i]));
        pixels[i] = v << 16 | v << 8 | v;
    }
    const int W = PICTURE_WIDTH;
    for (const FrameBox& b : bad) {
        for (int x = b.x; x < b.x + b.width; ++x) {
            pixels[b.y * W + x] = 0xFF0000;
            pixels[(b.y + b.height - 1) * W + x] = 0xFF0000;
        }
        for (int y = b.y; y < b.y + b.height; ++y) {
            pixels[y * W + b.x] = 0xFF0000;
            pixels[y * W + b.x + b.width - 1] = 0xFF0000;
        }
    }
    return pixels;
}
