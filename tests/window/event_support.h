// A fresh runtime for each event or translation test: private heap, gadget lists, event queue
// and windows, taken down again so that no window, class or queued event outlives its test.
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

class EventRuntime : public ::testing::Test {
  protected:
    explicit EventRuntime(size_t heapLimit = 0) : heapLimit_(heapLimit) {}

    void SetUp() override {
        ASSERT_EQ(PrivateHeapCreate(heapLimit_), 1);
        GadgetsInit();
        EventQueueInit();
        WindowsInit();
        if (!EventStateGet())
            EventStateInit();
        ASSERT_NE(EventStateGet(), nullptr);
        ASSERT_NE(EventQueueGet(), nullptr);
    }

    void TearDown() override {
        WindowCloseAll();
        EventDataRelease();
        GadgetsShutdown();
        // Messages still queued for windows now gone must not reach the next test.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        PrivateHeapDestroy();
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

    // Dispatches whatever is pending without waiting, keeping every non-zero code.
    static std::vector<int32_t> Settle(DWORD milliseconds = 100) {
        std::vector<int32_t> codes;
        DWORD start = GetTickCount();
        while (GetTickCount() - start < milliseconds)
            if (int32_t code = WindowWaitEvent(1))
                codes.push_back(code);
        return codes;
    }

    const EventFields& Fields() const { return EventStateGet()->current; }

  private:
    size_t heapLimit_;
};
