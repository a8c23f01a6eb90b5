# The product's target: 32-bit Windows on x86.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ONEBOX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
