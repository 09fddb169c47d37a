#include "key_sequence.h"

namespace fare {
namespace {

constexpr unsigned char escape = 0x1B;

// A byte that leads no UTF-8 sequence (ASCII, a stray continuation byte, an
// invalid byte) is a key of its own.
std::size_t utf8_length(unsigned char lead) {
    if (lead < 0xC0 || lead >= 0xF8) {
        return 1;
    }
    if (lead < 0xE0) {
        return 2;
    }
    return lead < 0xF0 ? 3 : 4;
}

// Parameters and intermediates of a sequence are in 0x20 to 0x3F; any other
// byte ends it: the final byte (0x40 to 0x7E) as it should, anything else (a
// control, a byte above ASCII) because the sequence was cut short.
bool ends_sequence(unsigned char byte) { return byte < 0x20 || byte > 0x3F; }

bool is_whole(const unsigned char* bytes, std::size_t count) {
    if (count == 0) {
        return false;
    }
    if (bytes[0] != escape) {
        return count >= utf8_length(bytes[0]);
    }
    if (count == 1) {
        return false;
    }
    if (bytes[1] != '[' && bytes[1] != 'O') {
        return is_whole(bytes + 1, count - 1);
    }
    // The Linux console sends F1 to F5 as ESC [ [ and a letter.
    if (bytes[1] == '[' && count >= 3 && bytes[2] == '[') {
        return count >= 4;
    }
    return count >= 3 && ends_sequence(bytes[count - 1]);
}

}  // namespace

bool is_whole_key(const unsigned char* bytes, std::size_t count) {
    return count >= longest_key || is_whole(bytes, count);
}

}  // namespace fare
