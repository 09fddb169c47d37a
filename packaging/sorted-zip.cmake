# Run by cpack once it has made a zip (CPACK_POST_BUILD_SCRIPTS): packs the
# staged files again in sorted order, as CPack's zip takes them in the order
# the file system lists them, which differs from one file system to another.
# Time stamps are SOURCE_DATE_EPOCH's when it is set, as in CPack's own zip,
# and the DOS dates in UTC, whatever the builder's time zone.
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${CPACK_TOPLEVEL_DIRECTORY}
         ${CPACK_TEMPORARY_DIRECTORY}/*)
    list(SORT files)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                            ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip -- ${files}
                    WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
