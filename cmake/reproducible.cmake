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
