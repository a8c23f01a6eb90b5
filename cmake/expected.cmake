# Expected results per platform, tests/expected/<wine>.txt, for CMake's cases. The file's reader
# and the rule of what counts as expected are tools/expected.py's; these only call it.
#
# onebox_expected_target: the target of this tree as the file names it (i686 or x86_64).
#
# onebox_expected_verdict(<var> <config>): at configure time, the verdict the installed Wine's
# file expects of <config> ("PROGRAM TARGET LAYER", e.g. "presenter:two x86_64 gl"), with
# " presented VERDICT" after it where the file has one; empty when the file has no line for it.
#
# onebox_expected_command(<var> <config>): the start of a test command that runs the rest of the
# command (tools/run.sh headless), then judges the check.json and run.json it wrote into
# ONEBOX_CHECK_DIR against the file of the Wine that ran: the case passes on an expected result
# (or a known flake) and fails on an unexpected one, naming the configuration and its picture.
# The case must set ONEBOX_CHECK_DIR in its ENVIRONMENT.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL AMD64)
    set(onebox_expected_target x86_64)
else()
    set(onebox_expected_target i686)
endif()

function(onebox_expected_verdict var config)
    execute_process(COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/expected.py
                            verdict "${config}"
                    OUTPUT_VARIABLE verdict OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(${var} "${verdict}" PARENT_SCOPE)
endfunction()

function(onebox_expected_command var config)
    set(${var} ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/expected.py run "${config}" --
        PARENT_SCOPE)
endfunction()
