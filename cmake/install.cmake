# What `cmake --install` puts in the prefix: the program and its documents,
# nothing else (no library, no headers, no tests).
#
# On Unix, the usual tree: bin/fare, the manual page and share/doc/fare/ with
# a README for someone who has the program (packaging/README.in; README.md is
# about the sources) and the licence. On Windows, one flat folder to unzip: fare.exe
# beside README.txt and LICENSE.txt, text files with CR LF line ends that any
# Windows editor shows as lines. README.txt is written for Windows users
# (packaging/README-windows.txt.in): README.md tells how to build on Debian.

if(WIN32)
    install(TARGETS fare RUNTIME DESTINATION .)
    configure_file(packaging/README-windows.txt.in ${PROJECT_BINARY_DIR}/README-windows.txt @ONLY)
    # Neither holds an @VARIABLE@ left to replace.
    configure_file(${PROJECT_BINARY_DIR}/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
    configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt
            DESTINATION .)
    return()
endif()

include(GNUInstallDirs)

# The manual page, its footer naming the project's version, and the Debian
# changelog are dated as the packages date their files: from SOURCE_DATE_EPOCH
# when it is set, else from the last commit (cmake/reproducible.cmake), else
# from the build. The Debian package takes the same page.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND FARE_COMMIT_TIME MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${FARE_COMMIT_TIME})
    set(commit_time ON)
endif()
string(TIMESTAMP FARE_MANUAL_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP FARE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(commit_time)
    unset(ENV{SOURCE_DATE_EPOCH})
endif()
set(FARE_MANUAL_PAGE ${PROJECT_BINARY_DIR}/fare.1)
configure_file(doc/fare.1.in ${FARE_MANUAL_PAGE} @ONLY)

# A plain install notes first which folders it makes, so that
# `cmake --build <build folder> --target uninstall` takes back all it did
# (cmake/install-folders.cmake, cmake/uninstall.cmake).
install(CODE "set(FARE_BUILD_DIR [[${PROJECT_BINARY_DIR}]])
set(FARE_INSTALL_DIRS [[${CMAKE_INSTALL_BINDIR};${CMAKE_INSTALL_MANDIR}/man1;${CMAKE_INSTALL_DOCDIR}]])"
        COMPONENT plain)
install(SCRIPT cmake/install-folders.cmake COMPONENT plain)
add_custom_target(uninstall COMMAND ${CMAKE_COMMAND} -D FARE_BUILD_DIR=${PROJECT_BINARY_DIR}
                                    -P ${PROJECT_SOURCE_DIR}/cmake/uninstall.cmake VERBATIM)

# The Debian package (cmake/packaging.cmake) takes the component "program"
# and lays out the rest its own way; a plain install takes both components.
install(TARGETS fare RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
set(FARE_LICENCE_FILE LICENSE)
configure_file(packaging/README.in ${PROJECT_BINARY_DIR}/README @ONLY)
install(FILES ${FARE_MANUAL_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT plain)
install(FILES ${PROJECT_BINARY_DIR}/README LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT plain)
