// Shared by the screen tests: a fresh runtime for each test, parent windows that count what
// reaches their own procedure, and access to the d3d9.dll test double when it is loaded.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A fixed-size private heap (so that a test can make it refuse), the window layer and the
// drawing sessions for each test; at the end the screen is shut down and every parent made
// by MakeParent destroyed.
class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // A visible top-level window with the given client size.
    HWND MakeParent(int clientWidth, int clientHeight);

  private:
    std::vector<HWND> parents_;
};

// Messages WM_APP that reached each parent's own procedure.
int AppMessagesSeen(HWND parent);

// The test double's control functions, or null when d3d9.dll is not the double.
struct D3d9Double {
    void (*script)(const char* text);
    void (*set)(const char* text);
    int (*log)(char* buffer, int size);
    int (*leaks)(char* buffer, int size);
};
const D3d9Double* LoadD3d9Double();

// The double's call log, a line for each call, and what it reports about references.
std::vector<std::string> DoubleLog();
std::string DoubleLeaks();
// The log's lines from index first on; with collapse, runs of one repeated line are kept once
// (a wait asks the device as often as time allows).
std::vector<std::string> DoubleLogSince(size_t first, bool collapse = true);
