# Packages made with CPack from a configured build folder, left in that
# folder; the version is the project's. A Unix build makes a Debian package,
# fare_<version>_<arch>.deb; a Windows build a zip of what it installs,
# fare-<version>-win32.zip or fare-<version>-win64.zip after its word size.
#
#   cpack --config <build folder>/CPackConfig.cmake

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "trip pricing at the terminal, in Spanish")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
# Directories as Debian and unzip expect them, whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# What cpack reads before each package (packaging/cpack-project.cmake): the
# files dated from the last commit (cmake/reproducible.cmake) unless
# SOURCE_DATE_EPOCH says otherwise.
if(FARE_COMMIT_TIME MATCHES "^[0-9]+$")
    set(CPACK_FARE_COMMIT_TIME ${FARE_COMMIT_TIME})
endif()
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack-project.cmake)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME win64)
    else()
        set(CPACK_SYSTEM_NAME win32)
    endif()
    # CPack's zip takes the files in the order the file system lists them:
    # packed again in sorted order.
    set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/sorted-zip.cmake)
    include(CPack)
    return()
endif()

set(FARE_MAINTAINER "The fare authors <fare@example.org>"
    CACHE STRING "Maintainer of the Debian package, as name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FARE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION [[
fare asks for the length of a trip and its number of travel days, and prints
what the trip costs at 2.5 per unit of length. A trip of more than 7 days that
is longer than 800 gets a discount of 30 %; fare then prints the discount and
the total price too. Then it waits for one key press at the terminal.

The dialogue is in Spanish. fare takes no options and reads no configuration
or environment variable; the figures come from standard input and the key
from the terminal.]])

# One package from two components: the program as installed, and the files
# below that stand for the rest of a plain install.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL program debian)

# Writes a gzip -9n copy of a file: no name or time stamp in it, so the same
# source always gives the same bytes.
function(fare_write_gzip source output)
    find_program(FARE_GZIP gzip REQUIRED)
    execute_process(COMMAND "${FARE_GZIP}" -9n -c "${source}"
                    OUTPUT_FILE "${output}" COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
endfunction()

set(debian_dir ${PROJECT_BINARY_DIR}/debian)
file(MAKE_DIRECTORY ${debian_dir})

# The manual page as installed (cmake/install.cmake), compressed.
fare_write_gzip(${FARE_MANUAL_PAGE} ${debian_dir}/fare.1.gz)

# The changelog, compressed; its entry carries the project's version and is
# dated as the manual page is (cmake/install.cmake).
configure_file(packaging/changelog.in ${debian_dir}/changelog @ONLY)
fare_write_gzip(${debian_dir}/changelog ${debian_dir}/changelog.gz)

# The copyright file in Debian's machine-readable format, from LICENSE: its
# copyright line, and the permission notice after it as the licence text,
# indented by one blank, with " ." for an empty line.
file(READ LICENSE licence)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(Permission .*[^\n])\n*$")
    message(FATAL_ERROR "LICENSE: no copyright line followed by a permission notice")
endif()
set(FARE_COPYRIGHT "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" FARE_LICENCE_TEXT "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " FARE_LICENCE_TEXT " ${FARE_LICENCE_TEXT}")
configure_file(packaging/copyright.in ${debian_dir}/copyright @ONLY)

# The README of a plain install, naming the licence's file as Debian names it.
# Under 4 KiB, it is left uncompressed as Debian's policy allows.
set(FARE_LICENCE_FILE copyright)
configure_file(packaging/README.in ${debian_dir}/README @ONLY)

install(FILES ${debian_dir}/fare.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${debian_dir}/README ${debian_dir}/changelog.gz ${debian_dir}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

include(CPack)
