# The static checks besides clang-tidy, which CMAKE_CXX_CLANG_TIDY runs on
# every source as it is built: cppcheck on src/ and clang-format on every C++
# file of the repository, as the tests of that build (the clang-tidy preset).
find_program(FARE_cppcheck cppcheck REQUIRED)
find_program(FARE_clang-format clang-format REQUIRED)
fare_test(NAME lint.cppcheck LABEL lint
          COMMAND ${FARE_cppcheck} --enable=warning,performance,portability --error-exitcode=1
                  --std=c++20 --quiet -I src src/
          PROPERTIES WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
fare_test(NAME lint.clang-format LABEL lint
          COMMAND sh -c [[git ls-files -z '*.cpp' '*.h' | xargs -0 "$0" --dry-run --Werror]]
                  ${FARE_clang-format}
          PROPERTIES WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
