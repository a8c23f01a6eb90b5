# Cross toolchain for a Windows target, shared by the i686 product and its x86_64 twin; the
# per-target file sets ONEBOX_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR and includes this one.
# The -posix variants are used because GoogleTest needs std::mutex, which the win32 thread
# model of MinGW-w64 lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ONEBOX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ONEBOX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ONEBOX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ONEBOX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every Win32 executable, tests included, runs under Wine through the runner.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
