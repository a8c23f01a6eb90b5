# Compiler flags shared by every target, and the helper that declares a GoogleTest program.

add_compile_options(-Wall -Wextra)
# Floating point must give the same doubles on every build: no fused multiply-add, and on the
# 32-bit target SSE2 arithmetic instead of x87 extended precision.
add_compile_options(-ffp-contract=off)

if(WIN32)
    add_compile_options(-msse2 -mfpmath=sse)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
    # Static runtime: the executables need nothing but the system's own DLLs.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(ONEBOX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The start of the window title, for the scripts that find the window (tools/headless.sh), from
# app/title.h, its one home: the title up to its first " - ", as PROGRAM_TITLE_START there.
set(title_header ${CMAKE_CURRENT_LIST_DIR}/../app/title.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${title_header})
file(STRINGS ${title_header} title REGEX "PROGRAM_TITLE\\[\\] = \"")
string(REGEX MATCH "\"[^\"]*\"" title "${title}")
string(FIND "${title}" " - " title_end)
if(title_end LESS 0)
    message(FATAL_ERROR "app/title.h: no PROGRAM_TITLE with \" - \" in it")
endif()
# From after the opening quote to the end of the " - ".
math(EXPR title_end "${title_end} + 2")
string(SUBSTRING "${title}" 1 ${title_end} ONEBOX_TITLE_START)
file(WRITE ${CMAKE_BINARY_DIR}/title-start "${ONEBOX_TITLE_START}\n")

# Which Wine runs this tree's programs: the runner reads it to pick a 32- or 64-bit prefix and
# loader.
if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(ONEBOX_WINE_ARCH win64)
        set(ONEBOX_PE_FORMAT pei-x86-64)
    else()
        set(ONEBOX_WINE_ARCH win32)
        set(ONEBOX_PE_FORMAT pei-i386)
    endif()
    file(WRITE ${CMAKE_BINARY_DIR}/wine-arch "${ONEBOX_WINE_ARCH}\n")
endif()

# Win32 tests run through this runner. A test run starts one Wine session a prefix (the
# wine_session fixture, tests/runner, or the first case in the prefix) and its cases join it.
set(ONEBOX_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
cmake_path(NORMAL_PATH ONEBOX_WINE_RUN)

# What every Win32 test has, a GoogleTest case or a test given to onebox_wine_test: headless,
# never on the developer's display, in the shared Wine session, after the cases that show the
# session survives a case that goes wrong.
# A case holds the lock of the Wine prefix it runs in, named as the prefix is (wine-prefix,
# wine-prefix-vulkan, wine-prefix-x, wine-prefix-vulkan-x): "wine", "wine-vulkan", "wine-x",
# "wine-vulkan-x". The cases of one prefix run one at a time (they share its wineserver, its X
# server and its desktop, and a window of one must not take focus or input meant for another);
# each prefix has a session of its own, so cases of different prefixes run side by side.
set(ONEBOX_WINE_TEST_PROPERTIES ENVIRONMENT "ONEBOX_HEADLESS=1" RESOURCE_LOCK wine
    FIXTURES_REQUIRED wine_session DEPENDS runner_session_still_works)

# onebox_wine_lock(VAR RENDERER DESKTOP): the lock of the prefix tools/wine-run.sh runs a program
# in for that renderer (gl, vulkan) and desktop (wine, or one of Wine's windows on the X server).
function(onebox_wine_lock var renderer desktop)
    set(lock wine)
    if(renderer STREQUAL vulkan)
        string(APPEND lock -vulkan)
    endif()
    if(NOT desktop STREQUAL wine)
        string(APPEND lock -x)
    endif()
    set(${var} ${lock} PARENT_SCOPE)
endfunction()

# onebox_wine_test(TEST ... [LOCKS LOCK...])
# Gives tests declared with add_test() the same properties. Each is appended, so a test keeps
# what it set before (its own ENVIRONMENT, say). LOCKS replaces the Wine prefix's lock: the
# prefixes the tests run in, where that is not Wine's OpenGL renderer on its own desktop.
function(onebox_wine_test)
    cmake_parse_arguments(ARG "" "" "LOCKS" ${ARGN})
    set(properties ${ONEBOX_WINE_TEST_PROPERTIES})
    while(properties)
        list(POP_FRONT properties name value)
        set_property(TEST ${ARG_UNPARSED_ARGUMENTS} APPEND PROPERTY ${name} ${value})
    endwhile()
    if(ARG_LOCKS)
        set_property(TEST ${ARG_UNPARSED_ARGUMENTS} PROPERTY RESOURCE_LOCK ${ARG_LOCKS})
    endif()
endfunction()

# onebox_test_cost(SECONDS TEST...): about how long the tests take in the Windows suite, so that
# CTest starts the longest first. Without it, a tree with no timings of its own yet (a fresh
# clone, as in CI) ran them in the order they were declared: the longest, declared last and
# holding both renderers' prefixes, ran one at a time at the end while the other core idled,
# 50 s of the suite's 350 (about 290 with the costs). A cost given here is kept over the times
# CTest measures; tests without one are ordered by those.
function(onebox_test_cost seconds)
    set_tests_properties(${ARGN} PROPERTIES COST ${seconds})
endfunction()

# onebox_add_gtest(NAME SOURCES ... LIBS ... [PROPERTIES ...])
# Declares a GoogleTest program and its cases for CTest (onebox_gtest_cases).
function(onebox_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    onebox_gtest_program(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS})
    onebox_gtest_cases(${name} PROPERTIES ${ARG_PROPERTIES})
endfunction()

# onebox_gtest_program(NAME SOURCES ... LIBS ...): the program alone, for one whose cases are
# declared in parts (onebox_gtest_cases with FILTER).
function(onebox_gtest_program name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    if(NOT WIN32)
        return()
    endif()
    # A test program's own code is compiled unoptimised: what it measures is the runtime it links,
    # built as the product is, and optimising the tests took half of the Windows build's time. It
    # has no debug information of its own either (a sixth of each compile); the runtime keeps its.
    target_compile_options(${name} PRIVATE -O0 -g0)
    # Every test source starts with the same big headers, windows.h and GoogleTest's: parsed once
    # for all programs, a test's compile takes half the time (the x86_64 build's CPU 281 s -> 225 s
    # on a 2-core host). Not on the host, whose few test sources gained nothing from it.
    if(NOT TARGET onebox_test_headers)
        set(source ${CMAKE_BINARY_DIR}/onebox_test_headers.cpp)
        file(WRITE ${source} "// The test programs' precompiled headers are made with this.\n")
        add_library(onebox_test_headers STATIC ${source})
        target_link_libraries(onebox_test_headers PRIVATE GTest::gtest)
        target_compile_options(onebox_test_headers PRIVATE -O0 -g0)
        target_precompile_headers(onebox_test_headers PRIVATE <windows.h> <gtest/gtest.h> <string>
                                  <vector>)
    endif()
    target_precompile_headers(${name} REUSE_FROM onebox_test_headers)
endfunction()

# onebox_gtest_cases(TARGET [PREFIX P] [FILTER F] [PROPERTIES ...] [ENVIRONMENT_MODIFICATION ...])
# The cases of a GoogleTest program (those FILTER selects, a --gtest_filter pattern) for CTest.
# On the host each case is a test of its own, discovered when the tests run. A Win32 program is
# one test, P followed by its name, that runs the cases in one process: under Wine each process
# costs a third of a second to half a second of start and end, which for every case was a
# quarter of the Windows suite's time. Its output names each case and each failure; cases that
# need a process of their own are in programs of their own (random_first_use_tests).
function(onebox_gtest_cases name)
    cmake_parse_arguments(ARG "" "PREFIX;FILTER" "PROPERTIES;ENVIRONMENT_MODIFICATION" ${ARGN})
    set(env)
    if(ARG_ENVIRONMENT_MODIFICATION)
        set(env ENVIRONMENT_MODIFICATION "${ARG_ENVIRONMENT_MODIFICATION}")
    endif()
    if(NOT WIN32)
        set(filter)
        if(ARG_FILTER)
            set(filter TEST_FILTER "${ARG_FILTER}")
        endif()
        gtest_discover_tests(${name} TEST_PREFIX "${ARG_PREFIX}" ${filter} DISCOVERY_MODE PRE_TEST
                             DISCOVERY_TIMEOUT 120 PROPERTIES ${ARG_PROPERTIES} ${env})
        return()
    endif()
    set(args)
    if(ARG_FILTER)
        set(args "--gtest_filter=${ARG_FILTER}")
    endif()
    add_test(NAME ${ARG_PREFIX}${name} COMMAND ${name} ${args})
    if(ARG_PROPERTIES OR env)
        set_tests_properties(${ARG_PREFIX}${name} PROPERTIES ${ARG_PROPERTIES} ${env})
    endif()
    onebox_wine_test(${ARG_PREFIX}${name})
endfunction()
