# Cross-compiles the 64-bit Windows console program with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix); its tests run it under wine64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(FARE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
