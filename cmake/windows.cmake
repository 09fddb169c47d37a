# The Windows build with MinGW-w64: the same program, its runtime linked in.

if(MINGW)
    # MinGW-w64's own printf and strtod, not the system C library's: "%f"
    # then prints the exact decimal value (halfway cases to even) and strtod
    # rounds correctly, as on glibc.
    add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # float and double arithmetic in SSE registers at their own precision;
        # on the x87 stack a float or double keeps extended precision until
        # the compiler happens to store it, and GCC for C++ has no
        # -fexcess-precision=standard. Only long double stays on the x87.
        # SSE2 is there on every processor that Windows 8 or later runs on.
        # (x86-64 does float and double in SSE registers anyway.)
        add_compile_options(-msse2 -mfpmath=sse)
    endif()
    # One self-contained .exe: no MinGW runtime DLLs to ship beside it.
    add_link_options(-static)
    # Loaded at a random address (its relocations kept for that), data not
    # executable, 64-bit addresses anywhere; no link time in the header, so
    # one commit always gives the same bytes.
    add_link_options(-Wl,--dynamicbase,--nxcompat,--no-insert-timestamp)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        add_link_options(-Wl,--high-entropy-va)
    endif()
endif()

# The version resource that Explorer shows: the project's version, its
# description and the copyright line of LICENSE.
enable_language(RC)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE FARE_RC_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
configure_file(src/fare.rc.in ${PROJECT_BINARY_DIR}/fare.rc @ONLY)
