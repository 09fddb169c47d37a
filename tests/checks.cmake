# Checks beyond the unit and end-to-end tests, each under its label:
# exhaustive (every float cost against exact arithmetic), package (what an
# install and the packages give a user), memory and valgrind (the program
# under /usr/bin/time and under valgrind). Those that need a tool the build
# does not are left out where it is missing, and configuring says so.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(e2e ${CMAKE_CURRENT_SOURCE_DIR}/e2e)

# A sanitized or emulated build would take minutes or hours for the sweep, a
# static one sweeps the same library again; its exact arithmetic needs 128-bit
# integers, which 32-bit targets lack.
if(NOT (CMAKE_CROSSCOMPILING OR FARE_SANITIZE OR FARE_STATIC) AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(cheap ON)
endif()
option(FARE_EXHAUSTIVE "Test the fare rule on every float cost (label exhaustive)" ${cheap})
if(FARE_EXHAUSTIVE)
    find_package(Threads REQUIRED)
    add_executable(exhaustive_test exhaustive_test.cpp)
    target_link_libraries(exhaustive_test PRIVATE fare_core Threads::Threads)
    fare_set_warnings(exhaustive_test)
    add_test(NAME exhaustive COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:exhaustive_test>)
    set_tests_properties(exhaustive PROPERTIES LABELS exhaustive PROCESSORS 2 TIMEOUT 3600)
endif()

# fare_check(LABEL NAME [FIXTURES ...] TOOLS tool... COMMAND ...): a test of
# the label, left out unless every tool is found (as FARE_<tool>).
foreach(tool IN ITEMS file groff mandoc man dpkg-deb lintian hardening-check time valgrind)
    find_program(FARE_${tool} ${tool})
endforeach()
function(fare_check label name)
    cmake_parse_arguments(PARSE_ARGV 2 check "" "" "FIXTURES;TOOLS;COMMAND")
    foreach(tool IN LISTS check_TOOLS)
        if(NOT FARE_${tool})
            message(STATUS "fare: ${name} (label ${label}) left out: ${tool} not found")
            return()
        endif()
    endforeach()
    add_test(NAME ${name} COMMAND ${check_COMMAND})
    set_tests_properties(${name} PROPERTIES LABELS ${label} ENVIRONMENT ${FARE_TEST_PYTHONPATH} TIMEOUT 600
                                            FIXTURES_REQUIRED "${check_FIXTURES}")
endfunction()

# The rest runs this build's own program: none of a Linux cross build, nor
# an instrumented or a static one.
if(NOT WIN32 AND (CMAKE_CROSSCOMPILING OR FARE_SANITIZE OR FARE_STATIC))
    return()
endif()
if(NOT WIN32)
    fare_check(memory memory TOOLS time
               COMMAND ${Python3_EXECUTABLE} ${e2e}/memory_test.py ${FARE_time} -f %M
                       $<TARGET_FILE:fare>)
    # valgrind's long double has double precision only: see the table's marks.
    fare_check(valgrind valgrind TOOLS valgrind
               COMMAND ${Python3_EXECUTABLE} ${e2e}/pipe_test.py --valgrind ${FARE_valgrind} -q
                       --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=all
                       $<TARGET_FILE:fare>)
endif()

# The packages as CI makes them: with GCC. glibc fortifies the report's
# printf only there (its wrappers need __va_arg_pack, which clang lacks).
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
endif()
add_test(NAME package.cpack COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
set_tests_properties(package.cpack PROPERTIES LABELS package FIXTURES_SETUP packaged)
set(package ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_NAME})
if(WIN32)
    fare_check(package package.zip FIXTURES packaged TOOLS file
               COMMAND ${Python3_EXECUTABLE} ${e2e}/package_test.py zip
                       ${package}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}.zip ${PROJECT_SOURCE_DIR}
                       ${PROJECT_BINARY_DIR})
    return()
endif()
# Without dpkg-shlibdeps (a PATH of `file` alone), cpack stops and names dpkg-dev.
add_test(NAME package.cpack_needs_dpkg_dev COMMAND sh -c [[
    tools=$(mktemp -d) && ln -s "$(command -v file)" "$tools" || exit 1
    said=$(PATH=$tools "$1" -D CMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF --config "$2" -B "$tools" 2>&1)
    status=$?; rm -rf "$tools"
    [ $status -ne 0 ] && case $said in *dpkg-dev*) exit 0 ;; esac
    printf 'status %s\n%s\n' $status "$said"; exit 1]] sh ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
set_tests_properties(package.cpack_needs_dpkg_dev PROPERTIES LABELS package)
set(prefix ${CMAKE_BINARY_DIR}/installed)
add_test(NAME package.install
         COMMAND sh -c [[rm -rf "$1" && exec "$2" --install "$3" --prefix "$1"]] sh
                 ${prefix} ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
set_tests_properties(package.install PROPERTIES LABELS package FIXTURES_SETUP installed)
set(manual_tools groff mandoc man)
fare_check(package package.installed FIXTURES installed TOOLS ${manual_tools}
           COMMAND ${Python3_EXECUTABLE} ${e2e}/package_test.py installed ${prefix} ${PROJECT_VERSION})
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture
                OUTPUT_STRIP_TRAILING_WHITESPACE)
fare_check(package package.deb FIXTURES installed packaged
           TOOLS ${manual_tools} dpkg-deb lintian hardening-check
           COMMAND ${Python3_EXECUTABLE} ${e2e}/package_test.py deb
                   ${package}_${PROJECT_VERSION}_${architecture}.deb ${PROJECT_VERSION} ${prefix}
                   $<TARGET_FILE:fare>)
