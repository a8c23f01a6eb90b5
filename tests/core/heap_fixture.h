// Every core test runs on a fresh private heap, destroyed afterwards with whatever it holds.
#pragma once

#include "core/platform.h"
#include "high_heap.h"

#include <gtest/gtest.h>

class PrivateHeapTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(PrivateHeapCreate(0), 1); }
    void TearDown() override { PrivateHeapDestroy(); }
};

// A heap of a fixed size: the platform itself refuses allocations once it is full.
class SmallHeapTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(PrivateHeapCreate(64 * 1024), 1); }
    void TearDown() override { PrivateHeapDestroy(); }
};

#if INTPTR_MAX > INT32_MAX
// A fixed heap whose every block, and so every dynamic record, lies above 4 GiB.
class HighHeapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PrivateHeapCreateAboveFourGiB(16 << 20), 1);
        ASSERT_TRUE(PrivateHeapIsAboveFourGiB());
    }
    void TearDown() override { PrivateHeapDestroy(); }
};
#endif
