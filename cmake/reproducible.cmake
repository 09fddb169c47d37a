# One commit gives the same bytes wherever it is built: no source or build
# folder in the objects (the build folder may lie inside the sources; the
# later, more specific map wins).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)

# Archives list their files in sorted order (CPack's Debian package does so
# itself).
if(WIN32)
    set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/sorted-zip.cmake)
endif()

# Packages date their files from the last commit, unless SOURCE_DATE_EPOCH
# (read when cpack runs) says otherwise: two builds of one commit then give
# the same packages without anyone setting it. Outside a git checkout the
# files keep the time they were made. The manual page and the Debian
# changelog take their date from the same commit (cmake/install.cmake).
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE FARE_COMMIT_TIME
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(FARE_COMMIT_TIME MATCHES "^[0-9]+$")
    set(CPACK_FARE_COMMIT_TIME ${FARE_COMMIT_TIME})
endif()
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-project.cmake)
