# The static checks besides clang-tidy, which CMAKE_CXX_CLANG_TIDY runs on
# every source as it is built: cppcheck on src/ and clang-format on every C++
# file of the repository, as the tests of that build (the clang-tidy preset).
find_program(FARE_CPPCHECK cppcheck REQUIRED)
find_program(FARE_CLANG_FORMAT clang-format REQUIRED)
enable_testing()
add_test(NAME cppcheck
         COMMAND ${FARE_CPPCHECK} --enable=warning,performance,portability --error-exitcode=1
                 --std=c++20 --quiet -I src src/
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
add_test(NAME clang-format
         COMMAND sh -c [[git ls-files -z '*.cpp' '*.h' | xargs -0 "$0" --dry-run --Werror]]
                 ${FARE_CLANG_FORMAT}
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(cppcheck clang-format PROPERTIES LABELS static)
