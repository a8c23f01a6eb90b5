// Counting leaked GDI objects under Wine, where GetGuiResources reports 0: the process's GDI
// handle table has a fixed size (about 65,480 entries), so the number of brushes that can
// still be created falls by exactly one for every object left behind.
#pragma once

#include <windows.h>

#include <vector>

inline int CreatableBrushes() {
    std::vector<HBRUSH> brushes;
    brushes.reserve(70000);
    while (HBRUSH brush = CreateSolidBrush(0x123456)) {
        brushes.push_back(brush);
        if (brushes.size() > 1000000)
            break; // no limit at all: the count proves nothing, the caller sees a huge number
    }
    for (HBRUSH brush : brushes)
        DeleteObject(brush);
    return static_cast<int>(brushes.size());
}
