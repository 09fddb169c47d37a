# Which builds run which checks, and fare_test(), through which every check
# of the project is registered under one label.
option(FARE_REQUIRE_ALL_CHECKS "Fail configuring when a program some check needs is missing (CI)" OFF)

# What the table's conditions are made of. A sanitized or emulated sweep
# would take hours, and its exact arithmetic needs 128-bit integers; a
# static build runs the same library again. The packages are the ones CI
# makes, with GCC: glibc fortifies the report's printf only there. The memory
# and valgrind runs and the documents are the same whatever the compiler.
set(tests ${FARE_DEVELOPER_MODE})
set(plain ON)  # neither sanitized nor linked statically
if(FARE_SANITIZE OR FARE_STATIC)
    set(plain OFF)
endif()
set(native ON)
if(CMAKE_CROSSCOMPILING)
    set(native OFF)
endif()
set(gcc OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(gcc ON)
endif()
if(native AND plain AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(sweep ON)
endif()
option(FARE_EXHAUSTIVE "Test the fare rule on every float cost (label exhaustive)" ${sweep})

# fare_label(label what condition...): the label's checks run in the builds
# where the condition holds.
set(FARE_LABELS)
function(fare_label label what)
    if(${ARGN})
        set(FARE_LABELS ${FARE_LABELS} ${label} PARENT_SCOPE)
        message(STATUS "fare: checks labelled ${label} run here: ${what}")
    endif()
endfunction()

# The table: every label, what its checks do, the builds that run them.
fare_label(unit "the C++ unit tests (GoogleTest)" tests)
fare_label(behaviour "the real program: pipes, the reference, the terminal, job control" tests)
fare_label(exhaustive "every float cost against exact arithmetic" tests AND FARE_EXHAUSTIVE)
fare_label(memory "numbers 100 MB long in constant memory" tests AND native AND gcc AND plain)
fare_label(valgrind "the dialogues under valgrind" tests AND native AND gcc AND plain)
fare_label(release "the install, the packages, the manual page, the README, the Windows zip and .exe"
           tests AND gcc AND plain AND (native OR WIN32))
fare_label(lint "cppcheck and clang-format" CMAKE_CXX_CLANG_TIDY)
fare_label(fuzz "a bounded run of libFuzzer" FARE_FUZZ)

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

# What runs a program built here: a cross build's emulator, which CTest puts
# before a check's program. A Windows program runs under the build's wine
# (tests/wine.py), which says "skipped" where this kernel cannot run it.
if(WIN32 AND FARE_DEVELOPER_MODE)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(FARE_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "The wine loader for this build")
    else()
        set(FARE_WINE_LOADER /usr/lib/wine/wine CACHE FILEPATH "The wine loader for this build")
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/wine.py run
                                      ${FARE_WINE_LOADER})
    set_property(TARGET fare PROPERTY CROSSCOMPILING_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
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

# fare_test(NAME name LABEL label COMMAND command... [PROPERTIES property value...])
# fare_test(NAME name LABEL label PYTEST file [pytest argument...] [PROPERTIES ...])
# fare_test(LABEL label DISCOVER target): each test of a GoogleTest program.
# A check of the label, if this build runs the label. A pytest check is given
# its name as --check and the program under test, after its emulator, one
# word a --fare; every test of it skipped, it is a check skipped. With
# FARE_REQUIRE_ALL_CHECKS, configuring fails when a program tests/tools.txt
# lists for the check is missing; without, its tests skip (tool()).
function(fare_test)
    cmake_parse_arguments(PARSE_ARGV 0 test "" "NAME;LABEL;DISCOVER" "COMMAND;PYTEST;PROPERTIES")
    if(NOT test_LABEL IN_LIST FARE_LABELS)
        return()
    elseif(test_DISCOVER)
        # Under an emulator the list is read slower than the program starts.
        gtest_discover_tests(${test_DISCOVER} TEST_PREFIX ${test_LABEL}. DISCOVERY_TIMEOUT 60
                             PROPERTIES LABELS ${test_LABEL})
        return()
    endif()
    foreach(program IN LISTS FARE_TOOLS_${test_NAME})
        find_program(FARE_${program} ${program})
        if(NOT FARE_${program} AND FARE_REQUIRE_ALL_CHECKS)
            message(SEND_ERROR "fare: ${test_NAME} needs ${program} (Debian package "
                    "${FARE_PACKAGE_${program}}), not found")
        endif()
    endforeach()
    if(test_PYTEST)
        get_target_property(emulator fare CROSSCOMPILING_EMULATOR)
        if(NOT emulator)
            set(emulator)
        endif()
        set(test_COMMAND ${Python3_EXECUTABLE} -m pytest ${test_PYTEST} --check=${test_NAME})
        foreach(word IN LISTS emulator ITEMS $<TARGET_FILE:fare>)
            list(APPEND test_COMMAND --fare=${word})
        endforeach()
        list(PREPEND test_PROPERTIES SKIP_RETURN_CODE 77)
    endif()
    add_test(NAME ${test_NAME} COMMAND ${test_COMMAND})
    set_tests_properties(${test_NAME} PROPERTIES TIMEOUT 600 LABELS ${test_LABEL} ${test_PROPERTIES})
endfunction()
