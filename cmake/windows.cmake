# The Windows build with MinGW-w64, and wine to run its programs when the
# build is a cross build.

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
        add_compile_options(-msse2 -mfpmath=sse)
    endif()
    # One self-contained .exe: no MinGW runtime DLLs to ship beside it.
    add_link_options(-static)
endif()

if(CMAKE_CROSSCOMPILING)
    find_program(WINE wine REQUIRED)
    find_program(WINESERVER wineserver REQUIRED)
    find_program(TIMEOUT timeout REQUIRED)
    # A wine prefix of the build's own, made once by the wine_prefix target;
    # no Mono, Gecko or menu entries, which a console program does not need.
    set(FARE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
    set(FARE_WINE_ENV
        WINEPREFIX=${FARE_WINEPREFIX} WINEARCH=win32 WINEDEBUG=-all
        "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=")
    set(CMAKE_CROSSCOMPILING_EMULATOR env ${FARE_WINE_ENV} ${WINE})
    # Making a prefix takes a while the first time; bounded, so that a wine
    # that hangs fails the build instead of stalling it.
    add_custom_command(OUTPUT ${FARE_WINEPREFIX}/system.reg
        COMMAND env ${FARE_WINE_ENV} ${TIMEOUT} 300 ${WINE} wineboot --init
        COMMAND env ${FARE_WINE_ENV} ${TIMEOUT} 60 ${WINESERVER} --wait
        COMMENT "Making the wine prefix"
        VERBATIM)
    add_custom_target(wine_prefix DEPENDS ${FARE_WINEPREFIX}/system.reg)
endif()
