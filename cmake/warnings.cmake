# Warnings as errors in CI and development (-DFARE_WARNINGS_AS_ERRORS=ON), not
# for users: a newer compiler's new warning must not stop their build.
option(FARE_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

function(fare_set_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
        -Wdouble-promotion -Wcast-align -Wnull-dereference
        $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
        $<$<BOOL:${FARE_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()
