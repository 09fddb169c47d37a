# The uninstall target: removes every file the last `cmake --install` of this
# build folder installed (install_manifest.txt), then the folders that install
# made (install_folders.txt) once they are empty. Nothing else is touched:
# folders that held other files before stay. Set by install.cmake:
# FARE_BUILD_DIR.
set(manifest "${FARE_BUILD_DIR}/install_manifest.txt")
if(NOT EXISTS "${manifest}")
    message(FATAL_ERROR "Nothing to uninstall: ${manifest} not found (no install from this build)")
endif()
file(STRINGS "${manifest}" files)
foreach(file IN LISTS files)
    if(EXISTS "${file}" OR IS_SYMLINK "${file}")
        message(STATUS "Removing: ${file}")
        file(REMOVE "${file}")
    endif()
endforeach()
set(record "${FARE_BUILD_DIR}/install_folders.txt")
if(EXISTS "${record}")
    file(STRINGS "${record}" folders)
    # The deepest first, so that a folder's own made folders go before it.
    list(SORT folders ORDER DESCENDING)
    foreach(folder IN LISTS folders)
        file(GLOB left LIST_DIRECTORIES true "${folder}/*" "${folder}/.*")
        if(IS_DIRECTORY "${folder}" AND NOT left)
            message(STATUS "Removing: ${folder}")
            file(REMOVE_RECURSE "${folder}")
        endif()
    endforeach()
    file(REMOVE "${record}")
endif()
file(REMOVE "${manifest}")
