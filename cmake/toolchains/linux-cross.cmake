# Cross-compiles for Linux on another processor with Debian's cross compiler
# g++-<triplet>, and runs what it builds under qemu-user. The triplet (as in
# aarch64-linux-gnu) is the cache variable FARE_TARGET_TRIPLET, which the
# presets set.
if(NOT FARE_TARGET_TRIPLET)
    message(FATAL_ERROR "Set FARE_TARGET_TRIPLET, for example to aarch64-linux-gnu")
endif()
# The compiler checks run in projects of their own that read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FARE_TARGET_TRIPLET)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${FARE_TARGET_TRIPLET}")

set(CMAKE_C_COMPILER ${FARE_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${FARE_TARGET_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${FARE_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# qemu-user's name for the processor; -L gives it the target's libraries and
# dynamic loader, which Debian's cross packages put under /usr/<triplet>.
set(fare_qemu_processor ${CMAKE_SYSTEM_PROCESSOR})
if(fare_qemu_processor STREQUAL "powerpc64le")
    set(fare_qemu_processor ppc64le)
elseif(fare_qemu_processor MATCHES "^i[3-6]86$")
    set(fare_qemu_processor i386)
endif()
find_program(FARE_QEMU qemu-${fare_qemu_processor} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FARE_QEMU} -L /usr/${FARE_TARGET_TRIPLET})
