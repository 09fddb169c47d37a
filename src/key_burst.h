#pragma once

// What comes with the key in one burst (the rest of a paste, the tail of a
// sequence too long for a key) is read and dropped, or the shell or command
// prompt would run it. A pause ends the burst: a terminal or console hands a
// paste over much faster, even on a busy machine that passes it on in
// pieces, and nobody types two keys that close. Input that never pauses
// holds the program a moment at most, or a bounded amount of it.

#include <cstddef>

namespace fare {

constexpr int burst_gap_ms = 50;
constexpr int longest_burst_ms = 1000;
// Bytes from a terminal, input events from a console.
constexpr std::size_t most_burst_input = std::size_t{1} << 20;

}  // namespace fare
