# Which build runs which checks, and fare_test(), through which every test of
# the project is registered under one label.
#
#   label       what                                            builds that run it
#   unit        the C++ unit tests (GoogleTest)                 every build with tests
#   e2e         the real program: pipes, the reference, the     every build with tests
#               terminal, job control (Windows: under wine)
#   exhaustive  every float cost against exact arithmetic       native 64-bit, not sanitized or static
#   memory      numbers 100 MB long in constant memory          native GCC, not sanitized or static
#   valgrind    the dialogues under valgrind                    native GCC, not sanitized or static
#   release     the install, the packages, the manual page,     GCC, not sanitized or static, not a
#               the README, the Windows zip and .exe            Linux cross build
#   static      cppcheck and clang-format                       clang-tidy
#   fuzz        a bounded run of libFuzzer                      fuzz
#
# A sanitized or emulated sweep would take hours, and its exact arithmetic
# needs 128-bit integers; a static build runs the same library again. The
# packages are the ones CI makes, with GCC: glibc fortifies the report's
# printf only there. The memory and valgrind runs and the documents are the
# same whatever the compiler.
option(FARE_REQUIRE_ALL_CHECKS "Fail configuring when a tool some check needs is missing (CI)" OFF)

set(FARE_LABELS)
if(FARE_DEVELOPER_MODE)
    list(APPEND FARE_LABELS unit e2e)
    if(NOT (CMAKE_CROSSCOMPILING OR FARE_SANITIZE OR FARE_STATIC) AND CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(sweep ON)
    endif()
    option(FARE_EXHAUSTIVE "Test the fare rule on every float cost (label exhaustive)" ${sweep})
    if(FARE_EXHAUSTIVE)
        list(APPEND FARE_LABELS exhaustive)
    endif()
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT (FARE_SANITIZE OR FARE_STATIC))
        if(NOT CMAKE_CROSSCOMPILING)
            list(APPEND FARE_LABELS memory valgrind release)
        elseif(WIN32)
            list(APPEND FARE_LABELS release)
        endif()
    endif()
endif()
if(CMAKE_CXX_CLANG_TIDY)
    list(APPEND FARE_LABELS static)
endif()
if(FARE_FUZZ)
    list(APPEND FARE_LABELS fuzz)
endif()
message(STATUS "fare: this build's checks: ${FARE_LABELS}")

# The Python checks run on the Python that has pytest: Debian's python3-pytest
# is /usr/bin/python3's, which another python3 earlier on the PATH may lack.
if(FARE_DEVELOPER_MODE)
    function(fare_has_pytest result python)
        execute_process(COMMAND ${python} -c "import pytest" RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
        if(failed)
            set(${result} FALSE PARENT_SCOPE)
        endif()
    endfunction()
    find_program(Python3_EXECUTABLE python3 VALIDATOR fare_has_pytest REQUIRED
                 DOC "Python 3 with pytest (Debian: python3-pytest)")
    find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)
endif()

# What runs a program built here: the emulator of a cross build, if any.
if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(FARE_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "The wine loader for this build")
    else()
        set(FARE_WINE_LOADER /usr/lib/wine/wine CACHE FILEPATH "The wine loader for this build")
    endif()
    set(FARE_EMULATOR ${FARE_WINE_LOADER})
else()
    set(FARE_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()

# The programs each check needs, from tests/tools.txt: FARE_TOOLS_<check>
# lists them, FARE_PACKAGE_<program> names the Debian package of each.
file(STRINGS ${PROJECT_SOURCE_DIR}/tests/tools.txt rows REGEX "^[^#]")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/tools.txt)
foreach(row IN LISTS rows)
    string(REGEX MATCHALL "[^ ]+" row "${row}")
    list(GET row 0 check)
    list(GET row 1 program)
    list(GET row 2 FARE_PACKAGE_${program})
    list(APPEND FARE_TOOLS_${check} ${program})
endforeach()

# fare_test(NAME name LABEL label COMMAND command... | PYTEST argument...
#           [ENVIRONMENT variable=value...] [PROPERTIES property value...])
# fare_test(LABEL label DISCOVER target): each test of a GoogleTest program.
# A test of the label, if this build runs the label. A target of the project
# in the command is its file, an executable's after the emulator. A pytest
# check is given its name as --check and the program under test, after its
# emulator, one word a --fare; all its tests skipped, it is a test skipped.
# Each program tests/tools.txt lists for the check is found as FARE_<program>.
# A missing one fails configuring with FARE_REQUIRE_ALL_CHECKS; else a command
# check is a skipped one that names it, and a pytest check's tool() skips.
function(fare_test)
    cmake_parse_arguments(PARSE_ARGV 0 test "" "NAME;LABEL;DISCOVER" "COMMAND;PYTEST;ENVIRONMENT;PROPERTIES")
    if(NOT test_LABEL IN_LIST FARE_LABELS)
        return()
    elseif(test_DISCOVER)
        # Under an emulator the list is read slower than the program starts.
        gtest_discover_tests(${test_DISCOVER} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${test_LABEL})
        return()
    endif()
    foreach(program IN LISTS FARE_TOOLS_${test_NAME})
        find_program(FARE_${program} ${program})
        if(FARE_${program})
            continue()
        endif()
        set(missing "${program} (Debian package ${FARE_PACKAGE_${program}})")
        if(FARE_REQUIRE_ALL_CHECKS)
            message(SEND_ERROR "fare: ${test_NAME} (label ${test_LABEL}) needs ${missing}, not found")
        elseif(NOT test_PYTEST)
            add_test(NAME ${test_NAME} COMMAND ${CMAKE_COMMAND} -E echo "skipped: needs ${missing}")
            set_tests_properties(${test_NAME} PROPERTIES LABELS ${test_LABEL} ${test_PROPERTIES}
                                 SKIP_REGULAR_EXPRESSION "^skipped: ")
            return()
        endif()
    endforeach()
    set(command)
    foreach(word IN LISTS test_COMMAND)
        if(TARGET ${word})
            get_target_property(type ${word} TYPE)
            if(type STREQUAL "EXECUTABLE")
                list(APPEND command ${FARE_EMULATOR})
            endif()
            list(APPEND command $<TARGET_FILE:${word}>)
        else()
            list(APPEND command ${word})
        endif()
    endforeach()
    if(test_PYTEST)
        set(command ${Python3_EXECUTABLE} -m pytest ${test_PYTEST} --check=${test_NAME})
        foreach(word IN LISTS FARE_EMULATOR ITEMS $<TARGET_FILE:fare>)
            list(APPEND command --fare=${word})
        endforeach()
        list(PREPEND test_PROPERTIES SKIP_REGULAR_EXPRESSION "= [0-9]+ skipped(, [0-9]+ (deselected|warnings?))* in ")
    endif()
    add_test(NAME ${test_NAME} COMMAND ${command})
    set_tests_properties(${test_NAME} PROPERTIES TIMEOUT 600 LABELS ${test_LABEL} ${test_PROPERTIES})
    set_property(TEST ${test_NAME} PROPERTY ENVIRONMENT ${test_ENVIRONMENT})
endfunction()
