# The documents held to what they promise (docs_test.py), with the checks of
# what a user installs (label package). A native Linux build runs the README's
# commands in a copy of the sources; a Windows build checks its README.txt as
# the zip takes it. A Linux cross build would only repeat the native one.
# The documents are the same whatever the compiler: checked by the GCC builds
# only, and not again by the instrumented or static ones.
if(FARE_SANITIZE OR FARE_STATIC OR CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(docs_test ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/docs_test.py)
if(WIN32)
    add_test(NAME docs.windows_readme
             COMMAND ${docs_test} --windows-readme ${PROJECT_BINARY_DIR}/README.txt)
    set(docs_tests docs.windows_readme)
elseif(NOT CMAKE_CROSSCOMPILING)
    # It builds fare twice (for Linux and for Windows) on top of the other tests.
    add_test(NAME docs COMMAND ${docs_test} ${PROJECT_SOURCE_DIR})
    set_tests_properties(docs PROPERTIES TIMEOUT 1500)
    set(docs_tests docs)
else()
    return()
endif()
set_tests_properties(${docs_tests} PROPERTIES LABELS package
    ENVIRONMENT "${FARE_TEST_PYTHONPATH}")
