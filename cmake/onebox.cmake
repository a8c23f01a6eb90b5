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

# onebox_add_gtest(NAME SOURCES ... LIBS ... [WIN32_SESSION])
# Declares a GoogleTest program and lets CTest discover its cases when the tests run, so that
# discovery of a Win32 program happens under Wine at test time rather than at build time.
function(onebox_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    set(props)
    if(WIN32)
        # Win32 programs run headless, never on the developer's display, one at a time.
        set(props ENVIRONMENT "ONEBOX_HEADLESS=1" RESOURCE_LOCK wine)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES ${props} ${ARG_PROPERTIES})
endfunction()
