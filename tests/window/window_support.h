// Shared by the window, gadget-list and sizing tests: a fresh runtime for each test.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>

// Brings the window layer up on a private heap of its own for each test and takes it down
// again, so no window, class or record outlives the test that made it.
class RuntimeTest : public ::testing::Test {
  protected:
    // 0 = growable; a limit makes a fixed heap that refuses when full.
    explicit RuntimeTest(size_t heapLimit = 0) : heapLimit_(heapLimit) {}
    void SetUp() override;
    void TearDown() override;

  private:
    size_t heapLimit_;
};

// Brings a window to the front, gives it the keyboard focus and lets the resulting messages
// through.
void MakeForeground(HWND window);
