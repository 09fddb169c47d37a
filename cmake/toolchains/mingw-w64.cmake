# What both Windows toolchain files share: MinGW-w64's compilers for the
# triplet FARE_MINGW_TRIPLET (the posix thread model, Debian's -posix
# names), and its libraries and headers only from that triplet's root.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${FARE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FARE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FARE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FARE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
