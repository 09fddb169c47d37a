# One commit gives the same bytes wherever it is built: no source or build
# folder in the objects (the build folder may lie inside the sources; the
# later, more specific map wins).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)

# The time of the last commit, FARE_COMMIT_TIME, which dates the manual page
# (cmake/install.cmake) and the packages' files (cmake/packaging.cmake)
# unless SOURCE_DATE_EPOCH says otherwise: two builds of one commit then give
# the same bytes without anyone setting it. Outside a git checkout it is
# empty, and files keep the time they were made.
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE FARE_COMMIT_TIME
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
