// The title of the program's window 0, which says what a person should see in it. The tests
// and the frame checker's presenter, which stands in for the program, take it from here; the
// frame checker and the run scripts find the window by its start.
#pragma once

#include <string_view>

// On one line, so that a search for the whole title finds it.
// clang-format off
constexpr char PROGRAM_TITLE[] = "OpenScreen() or ClearScreen()-Bug - You should not see more then one black box. If you see more - it's a bug.";
// clang-format on

// The title up to its first " - ". CMake writes it into each build tree, as the file
// title-start, for the scripts (tools/headless.sh).
constexpr std::string_view PROGRAM_TITLE_START = [] {
    constexpr std::string_view title(PROGRAM_TITLE);
    return title.substr(0, title.find(" - ") + 3);
}();
