// Shared by the window, event and program tests: a fresh runtime for each test.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>

// Brings the runtime up on a private heap of its own for each test, the way the program does,
// and takes it down again, so no window, class, queued event or record outlives the test.
class RuntimeTest : public ::testing::Test {
  protected:
    // 0 = growable; a limit makes a fixed heap that refuses when full. aboveFourGiB, for a
    // fixed heap where addresses are 64 bits wide, puts the heap and so every dynamic record
    // above 4 GiB.
    explicit RuntimeTest(size_t heapLimit = 0, bool aboveFourGiB = false)
        : heapLimit_(heapLimit), aboveFourGiB_(aboveFourGiB) {}
    void SetUp() override;
    void TearDown() override;

  private:
    size_t heapLimit_;
    bool aboveFourGiB_;
};

// Brings a window to the front, gives it the keyboard focus and lets the resulting messages
// through.
void MakeForeground(HWND window);
