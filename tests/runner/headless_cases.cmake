# cmake -DTREE=<build tree> -P headless_cases.cmake
#
# Every case that runs under Wine (a RESOURCE_LOCK of a Wine prefix: wine, wine-vulkan, ...) must run headless whatever DISPLAY says: a
# case that reaches a developer's display opens its window there and waits for a person to close
# it, until its timeout. This reads the tree's CTest files as CTest reads them, with stand-ins for
# the commands they call, and fails naming every such case whose ENVIRONMENT lacks
# ONEBOX_HEADLESS=1. GoogleTest's cases are judged by the properties their discovery hands them,
# without running the discovery (that would start Wine).

cmake_minimum_required(VERSION 3.25)

function(add_test)
endfunction()

# A folder without cases has no CTest file; CTest passes over it too.
function(subdirs dir)
    set(file ${CMAKE_CURRENT_LIST_DIR}/${dir}/CTestTestfile.cmake)
    if(EXISTS ${file})
        _include(${file})
    endif()
endfunction()

# record_case(NAME LOCK ENV): ENV is every ENVIRONMENT value of the case, as one list.
function(record_case name lock env)
    if(NOT lock MATCHES "(^|;)wine(-[a-z]+)*(;|$)")
        return()
    endif()
    set_property(GLOBAL APPEND PROPERTY wine_cases "${name}")
    if(NOT "ONEBOX_HEADLESS=1" IN_LIST env)
        set_property(GLOBAL APPEND PROPERTY bad_cases "${name}")
    endif()
endfunction()

# Each value arrives as one argument, a list value unsplit: read by index, not through ARGN.
function(set_tests_properties name)
    set(lock "")
    set(env "")
    math(EXPR last "${ARGC} - 1")
    foreach(i RANGE 2 ${last} 2)
        math(EXPR j "${i} + 1")
        if(ARGV${i} STREQUAL "RESOURCE_LOCK")
            list(APPEND lock "${ARGV${j}}")
        elseif(ARGV${i} STREQUAL "ENVIRONMENT")
            list(APPEND env "${ARGV${j}}")
        endif()
    endforeach()
    record_case("${name}" "${lock}" "${env}")
endfunction()

# A GoogleTest program's include file. Its discovery passes TEST_PROPERTIES, a flat list, to
# set_tests_properties, which takes it as names and values in turn: read the same way here.
function(include file)
    if(NOT file MATCHES "_include\\.cmake$")
        _include("${file}")
        return()
    endif()
    file(READ "${file}" text)
    string(REGEX MATCHALL "TEST_PROPERTIES \\[==\\[[^]]*\\]==\\]" all_props "${text}")
    string(REGEX MATCHALL "TEST_EXECUTABLE \\[==\\[[^]]*\\]==\\]" all_exes "${text}")
    foreach(props exe IN ZIP_LISTS all_props all_exes)
        string(REGEX REPLACE "^TEST_PROPERTIES \\[==\\[(.*)\\]==\\]$" "\\1" props "${props}")
        string(REGEX REPLACE "^TEST_EXECUTABLE \\[==\\[(.*)\\]==\\]$" "\\1" exe "${exe}")
        get_filename_component(exe "${exe}" NAME)
        set(lock "")
        set(env "")
        set(key "")
        foreach(word IN LISTS props)
            if(key STREQUAL "")
                set(key "${word}")
                continue()
            endif()
            if(key STREQUAL "RESOURCE_LOCK")
                list(APPEND lock "${word}")
            elseif(key STREQUAL "ENVIRONMENT")
                list(APPEND env "${word}")
            endif()
            set(key "")
        endforeach()
        record_case("${exe}'s cases" "${lock}" "${env}")
    endforeach()
endfunction()

_include(${TREE}/CTestTestfile.cmake)

get_property(wine_cases GLOBAL PROPERTY wine_cases)
get_property(bad_cases GLOBAL PROPERTY bad_cases)
list(LENGTH wine_cases count)
if(count EQUAL 0)
    message(FATAL_ERROR "no case under Wine in ${TREE}: is it a Windows build tree?")
endif()
if(bad_cases)
    list(JOIN bad_cases "\n  " text)
    message(FATAL_ERROR "cases under Wine without ONEBOX_HEADLESS=1 in their ENVIRONMENT, which "
                        "open their windows on DISPLAY and wait for a person to close them:\n  "
                        "${text}")
endif()
message(STATUS "${count} cases or programs under Wine, each with ONEBOX_HEADLESS=1")
