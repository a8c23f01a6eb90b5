// The runtime fixture with helpers for reading the events that the tests cause.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/platform.h"
#include "window/events.h"
#include "window/gadgets.h"
#include "window/window.h"
#include "window_support.h"

class EventRuntime : public RuntimeTest {
  protected:
    explicit EventRuntime(size_t heapLimit = 0, bool aboveFourGiB = false)
        : RuntimeTest(heapLimit, aboveFourGiB) {}

    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_NE(EventStateGet(), nullptr);
        ASSERT_NE(EventQueueGet(), nullptr);
    }

    // Every queued event's code, oldest first; the queue is empty afterwards.
    static std::vector<int32_t> DrainQueue() {
        std::vector<int32_t> codes;
        while (int32_t code = EventTake())
            codes.push_back(code);
        return codes;
    }

    // Only the codes of interest, in order.
    static std::vector<int32_t> Only(const std::vector<int32_t>& codes,
                                     std::initializer_list<int32_t> keep) {
        std::vector<int32_t> kept;
        for (int32_t code : codes)
            if (std::find(keep.begin(), keep.end(), code) != keep.end())
                kept.push_back(code);
        return kept;
    }

    const EventFields& Fields() const { return EventStateGet()->current; }
};
