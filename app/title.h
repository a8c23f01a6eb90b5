// The title of the program's window 0, which says what a person should see in it. The tests
// and the frame checker's presenter, which stands in for the program, take it from here.
#pragma once

// On one line, so that a search for the whole title finds it.
// clang-format off
constexpr char PROGRAM_TITLE[] = "OpenScreen() or ClearScreen()-Bug - You should not see more then one black box. If you see more - it's a bug.";
// clang-format on
