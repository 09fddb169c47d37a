#include "key_mode.h"

namespace fare {

termios key_mode_for(const termios& found) {
    termios key_mode = found;
    key_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    // Every byte as the keyboard sent it, whatever was set before: Enter
    // neither dropped nor turned into another byte, the eighth bit of a UTF-8
    // letter kept, 0xFF not doubled, a break a key rather than an interrupt,
    // Ctrl-S and Ctrl-Q keys rather than flow control. Case mapping and
    // parity checks, left alone, turn no key press into none.
    key_mode.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    key_mode.c_cc[VMIN] = 1;
    key_mode.c_cc[VTIME] = 0;
    return key_mode;
}

}  // namespace fare
