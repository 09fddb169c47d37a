#pragma once

// The terminal settings the key wait asks for, made from those it found.

#include <termios.h>

namespace fare {

// One key stroke at a time, as the keyboard sent it: no line editing, no
// echo, the control keys (interrupt, suspend, quit) ordinary key presses,
// every input byte unchanged; everything else as found.
termios key_mode_for(const termios& found);

}  // namespace fare
