# What `cmake --install` puts in the prefix: the program and its documents,
# nothing else (no library, no headers, no tests).
#
# On Unix, the usual tree: bin/fare, the manual page and share/doc/fare/ with
# the README and the licence. On Windows, one flat folder to unzip: fare.exe
# beside README.txt and LICENSE.txt, text files with CR LF line ends that any
# Windows editor shows as lines.

# Writes a copy of a text file with CR LF line ends.
function(fare_write_crlf source output)
    file(READ "${source}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${output}" "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
endfunction()

if(WIN32)
    install(TARGETS fare RUNTIME DESTINATION .)
    fare_write_crlf(${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/README.txt)
    fare_write_crlf(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt)
    install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt
            DESTINATION .)
    return()
endif()

include(GNUInstallDirs)

# The manual page, its footer naming the project's version; the Debian package
# takes the same page.
set(FARE_MANUAL_PAGE ${PROJECT_BINARY_DIR}/fare.1)
configure_file(doc/fare.1.in ${FARE_MANUAL_PAGE} @ONLY)

# The Debian package (cmake/packaging.cmake) takes the component "program"
# and lays out the rest its own way; a plain install takes both components.
install(TARGETS fare RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program)
install(FILES ${FARE_MANUAL_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT plain)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT plain)
