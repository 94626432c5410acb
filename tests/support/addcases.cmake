# Run by ctest as it starts (a TEST_INCLUDE_FILES script): lists the test functions and data rows of one
# executable and adds a ctest entry for each, so that ctest runs them side by side. Set by the caller:
# CASES_TEST (the entry's name), CASES_RUNNER, CASES_EXECUTABLE, CASES_TIMEOUT, CASES_LABEL, and CASES_GROUPS for a
# Qt Quick test, which lists its functions (as <TestCase name>::<function>()) but not their data rows: each of its
# processes loads the whole QML module, so its functions are dealt into that many entries instead of one each.
set(cases_whole FALSE)
if(EXISTS "${CASES_EXECUTABLE}")
    # Qt Quick Test writes its list to the error stream.
    if(CASES_GROUPS)
        execute_process(COMMAND "${CASES_RUNNER}" "${CASES_EXECUTABLE}" -functions
            ERROR_VARIABLE cases_listing RESULT_VARIABLE cases_status OUTPUT_QUIET)
    else()
        execute_process(COMMAND "${CASES_RUNNER}" "${CASES_EXECUTABLE}" -datatags
            OUTPUT_VARIABLE cases_listing RESULT_VARIABLE cases_status ERROR_QUIET)
    endif()
else()
    set(cases_status "not built")
endif()
# A listing that failed, or that CMake's lists would cut up, leaves the whole executable one entry.
if(NOT cases_status EQUAL 0 OR cases_listing MATCHES "[][;\\\\]" OR cases_listing STREQUAL "")
    set(cases_whole TRUE)
endif()

if(cases_whole)
    add_test("${CASES_TEST}" "${CASES_RUNNER}" "${CASES_EXECUTABLE}")
    set_tests_properties("${CASES_TEST}" PROPERTIES TIMEOUT "${CASES_TIMEOUT}" LABELS "${CASES_LABEL}")
    return()
endif()

# One line a case. Qt Test: "<class> <function>", or "<class> <function> <data row>"; Qt Quick Test:
# "<TestCase name>::<function>()".
string(REGEX MATCHALL "[^\n]+" cases_lines "${cases_listing}")
set(cases_dealt 0)
foreach(cases_line IN LISTS cases_lines)
    if(CASES_GROUPS)
        if(NOT cases_line MATCHES "^([^ ]+::[^ ]+)\\(\\)$")
            continue()
        endif()
        math(EXPR cases_group "${cases_dealt} % ${CASES_GROUPS} + 1")
        list(APPEND cases_group_${cases_group} "${CMAKE_MATCH_1}")
        math(EXPR cases_dealt "${cases_dealt} + 1")
        continue()
    endif()
    if(NOT cases_line MATCHES "^[^ ]+ ([^ ]+)( (.+))?$")
        continue()
    endif()
    set(cases_case "${CMAKE_MATCH_1}")
    if(NOT "${CMAKE_MATCH_3}" STREQUAL "")
        string(APPEND cases_case ":${CMAKE_MATCH_3}")
    endif()
    # ctest keeps each entry's last time under its name, which must have no space, to start the longest first.
    string(REPLACE " " "_" cases_name "${CASES_TEST}:${cases_case}")
    add_test("${cases_name}" "${CASES_RUNNER}" "${CASES_EXECUTABLE}" "${cases_case}")
    set_tests_properties("${cases_name}" PROPERTIES TIMEOUT "${CASES_TIMEOUT}" LABELS "${CASES_LABEL}")
endforeach()

if(CASES_GROUPS)
    foreach(cases_group RANGE 1 ${CASES_GROUPS})
        if(NOT DEFINED cases_group_${cases_group})
            continue()
        endif()
        set(cases_name "${CASES_TEST}:part_${cases_group}_of_${CASES_GROUPS}")
        add_test("${cases_name}" "${CASES_RUNNER}" "${CASES_EXECUTABLE}" ${cases_group_${cases_group}})
        set_tests_properties("${cases_name}" PROPERTIES TIMEOUT "${CASES_TIMEOUT}" LABELS "${CASES_LABEL}")
    endforeach()
endif()
