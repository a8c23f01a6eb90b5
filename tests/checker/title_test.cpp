// The start of the window title that the frame checker and the run scripts find the program's
// window by: the header's, and the copy CMake writes into the build tree for the scripts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "app/title.h"

TEST(TitleStart, HeaderAndBuildTreeAgree) {
    const std::string start = "OpenScreen() or ClearScreen()-Bug - ";
    EXPECT_EQ(PROGRAM_TITLE_START, start);
    EXPECT_EQ(std::string(PROGRAM_TITLE).rfind(start, 0), 0u);
    std::ifstream file(ONEBOX_TITLE_START_FILE);
    std::string written;
    ASSERT_TRUE(std::getline(file, written)) << ONEBOX_TITLE_START_FILE;
    EXPECT_EQ(written, start);
}
