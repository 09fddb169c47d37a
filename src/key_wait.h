#pragma once

// One key press at the terminal, read from the keyboard itself and never
// from standard input, without echo and without waiting for Enter.

namespace fare {

// Readies the terminal for the key: from here on a key press is kept for
// wait_for_key, and keys typed earlier are dropped. Call it before writing
// what the user reacts to, so that no key pressed at once is lost. A job in
// the background leaves the terminal alone until it waits.
void prepare_key_wait();

// Waits for one key press, then gives the terminal back as it was. A job in
// the background waits once the shell brings it to the foreground. Returns at
// once where there is no keyboard to press.
void wait_for_key();

}  // namespace fare
