# The protections a Debian package build gets from dpkg-buildflags, for every
# Linux build of every target here (the benchmark's anchor included, so that
# it stays a like-for-like yardstick): stack protector, stack-clash probes,
# control-flow protection where the processor has it, fortified C library
# calls, format checks, a position-independent program and read-only
# relocations. Immediate binding (-Wl,-z,now) is left off: see the README's
# Performance section for what it costs a run.
if(WIN32)
    return()
endif()

include(CheckCXXCompilerFlag)
include(CheckPIESupported)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported()

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
# Probes that exist on this processor only (control-flow protection is x86's).
foreach(flag IN ITEMS -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "FARE_HAS${flag}" supported)
    check_cxx_compiler_flag(${flag} ${supported})
    if(${supported})
        add_compile_options(${flag})
    endif()
endforeach()
# Fortified calls need the optimiser (the C library warns without it), and a
# sanitizer checks the same calls more closely without them.
if(NOT FARE_SANITIZE)
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()
add_link_options(-Wl,-z,relro)
