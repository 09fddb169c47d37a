# Instrumented builds, for every target of the project (the library, the
# program, the tests and whatever runs the program), so a fault anywhere
# stops the run.
set(FARE_SANITIZE "" CACHE STRING
    "Sanitizers to build with, as for -fsanitize= (for example address,undefined)")
option(FARE_FUZZ "Build the fuzz targets (needs clang and its libFuzzer runtime)" OFF)

if(FARE_SANITIZE)
    # Any finding ends the process with a failure, so tests cannot pass over it.
    add_compile_options(-fsanitize=${FARE_SANITIZE} -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${FARE_SANITIZE})
endif()

if(FARE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "FARE_FUZZ needs clang (use the fuzz preset)")
    endif()
    # Coverage feedback from the library too, not only from the fuzz target;
    # C sources (the benchmark's anchor) may go to another compiler.
    add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fsanitize=fuzzer-no-link>)
endif()
