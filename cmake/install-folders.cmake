# Run by `cmake --install` before it installs a file: notes which of the
# folders it fills do not exist yet, in the build folder's
# install_folders.txt, so that the uninstall target removes the folders this
# install made and no other. Folders noted by an earlier install that still
# exist stay noted. Set by install.cmake: FARE_BUILD_DIR, FARE_INSTALL_DIRS
# (relative to the prefix, or absolute).
set(record "${FARE_BUILD_DIR}/install_folders.txt")
set(made)
if(EXISTS "${record}")
    file(STRINGS "${record}" noted)
    foreach(folder IN LISTS noted)
        if(IS_DIRECTORY "${folder}")
            list(APPEND made "${folder}")
        endif()
    endforeach()
endif()
foreach(folder IN LISTS FARE_INSTALL_DIRS)
    cmake_path(ABSOLUTE_PATH folder BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE)
    set(folder "$ENV{DESTDIR}${folder}")
    # The folder and each of its parents that install will make with it.
    while(NOT EXISTS "${folder}")
        list(APPEND made "${folder}")
        cmake_path(GET folder PARENT_PATH folder)
    endwhile()
endforeach()
list(REMOVE_DUPLICATES made)
list(JOIN made "\n" made)
file(WRITE "${record}" "${made}\n")
