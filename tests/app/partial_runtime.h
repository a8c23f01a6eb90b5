// For the tests of one layer that need only some of the runtime's subsystems: a private heap of
// the test's own, the chosen subsystems started in the runtime's order and, at teardown, their
// shutdowns in the runtime's order, so that no record or handle outlives the test and no
// global is put back by hand.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "app/runtime.h"
#include "core/platform.h"

class PartialRuntimeTest : public ::testing::Test {
  protected:
    // parts: RuntimePart bits. heapLimit 0 = growable; a limit makes a fixed heap.
    explicit PartialRuntimeTest(uint32_t parts, size_t heapLimit = 0)
        : parts_(parts), heapLimit_(heapLimit) {}

    void SetUp() override {
        ASSERT_EQ(PrivateHeapCreate(heapLimit_), 1);
        RuntimeStartupParts(parts_);
    }
    void TearDown() override {
        RuntimeShutdownParts(parts_);
        // Messages still queued for windows now gone must not reach the next test.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        PrivateHeapDestroy();
    }

    // Shuts the parts down and starts them again on a new heap with the given limit.
    void RestartOnHeap(size_t heapLimit) {
        PartialRuntimeTest::TearDown();
        heapLimit_ = heapLimit;
        PartialRuntimeTest::SetUp();
    }

  private:
    uint32_t parts_;
    size_t heapLimit_;
};
