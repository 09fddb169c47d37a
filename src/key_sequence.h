#pragma once

// A key press as the bytes a terminal sends for it: one byte for most keys,
// a few for a UTF-8 letter, an escape sequence for a cursor or function key.

#include <cstddef>

namespace fare {

// The most bytes one key press is read as. Well above the longest reports of
// a key with modifiers or of a mouse click at a far column; a sequence that
// goes on past it is no key, and is taken as whole there.
constexpr std::size_t longest_key = 64;

// Whether the bytes read so far, one at a time, make up one whole key: an
// ASCII byte, a UTF-8 letter (its length told by its lead byte), ESC [ or
// ESC O up to the byte that ends the sequence, ESC before another whole key
// (that key with Alt), or longest_key bytes of anything. A lone ESC is not
// whole yet: the rest may still be on its way, so only a pause after it makes
// it the Escape key.
bool is_whole_key(const unsigned char* bytes, std::size_t count);

}  // namespace fare
