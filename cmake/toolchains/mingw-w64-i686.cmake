# Cross-compiles the 32-bit Windows console program with MinGW-w64 (Debian's
# g++-mingw-w64-i686-posix); its tests run it under wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(FARE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
