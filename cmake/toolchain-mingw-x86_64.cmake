# The same program for 64-bit Windows, and for hosts that run no 32-bit x86 code.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ONEBOX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
