# Strict warnings for every target of the project. They are errors in the
# developers' and CI's presets (CMAKE_COMPILE_WARNING_AS_ERROR), not in the
# default one: a newer compiler's new warning must not stop a user's build.

function(fare_set_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
        -Wdouble-promotion -Wcast-align -Wnull-dereference
        $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
endfunction()
