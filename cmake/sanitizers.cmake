# Instrumented builds, for every target of the project (the library, the
# program, the tests and whatever runs the program), so a fault anywhere
# stops the run.
set(FARE_SANITIZE "" CACHE STRING
    "Sanitizers to build with, as for -fsanitize= (for example address,undefined)")

if(FARE_SANITIZE)
    # Any finding ends the process with a failure, so tests cannot pass over it.
    add_compile_options(-fsanitize=${FARE_SANITIZE} -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${FARE_SANITIZE})
endif()

