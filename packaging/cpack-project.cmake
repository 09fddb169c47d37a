# Read by cpack before it makes each package (CPACK_PROJECT_CONFIG_FILE).
#
# Time stamps are those of the last commit, unless SOURCE_DATE_EPOCH says
# otherwise (cmake/reproducible.cmake, cmake/packaging.cmake).
if(CPACK_FARE_COMMIT_TIME AND NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} ${CPACK_FARE_COMMIT_TIME})
endif()

# A Debian package declares the libraries it needs, which dpkg-shlibdeps works
# out. Without it CPack would still make the package, with no Depends line and
# a mere notice: a broken package reported as made. Stop instead.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
    find_program(shlibdeps dpkg-shlibdeps NO_CACHE)
    if(NOT shlibdeps)
        message(FATAL_ERROR "dpkg-shlibdeps, which works out the package's dependencies, was not "
                            "found: install the Debian package dpkg-dev, then run cpack again.")
    endif()
endif()
