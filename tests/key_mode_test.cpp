#include "key_mode.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct flag_case {
    const char* name;
    tcflag_t termios::*field;
    tcflag_t flag;
    bool cleared;  // in key mode; kept as found otherwise
};

// Those a key press must not be changed, dropped or acted on by, and a few
// beside them that must stay as the user set them.
const flag_case flag_cases[] = {
    {"ICANON", &termios::c_lflag, ICANON, true},    {"ECHO", &termios::c_lflag, ECHO, true},
    {"ISIG", &termios::c_lflag, ISIG, true},        {"IEXTEN", &termios::c_lflag, IEXTEN, true},
    {"IGNBRK", &termios::c_iflag, IGNBRK, true},    {"BRKINT", &termios::c_iflag, BRKINT, true},
    {"PARMRK", &termios::c_iflag, PARMRK, true},    {"ISTRIP", &termios::c_iflag, ISTRIP, true},
    {"INLCR", &termios::c_iflag, INLCR, true},      {"IGNCR", &termios::c_iflag, IGNCR, true},
    {"ICRNL", &termios::c_iflag, ICRNL, true},      {"IXON", &termios::c_iflag, IXON, true},
    {"INPCK", &termios::c_iflag, INPCK, false},     {"IXOFF", &termios::c_iflag, IXOFF, false},
    {"ECHOCTL", &termios::c_lflag, ECHOCTL, false}, {"TOSTOP", &termios::c_lflag, TOSTOP, false},
    {"OPOST", &termios::c_oflag, OPOST, false},     {"ONLCR", &termios::c_oflag, ONLCR, false},
    {"CREAD", &termios::c_cflag, CREAD, false},
};

TEST(KeyMode, EachFlagClearedOrKept) {
    termios every_flag{};
    every_flag.c_iflag = every_flag.c_oflag = every_flag.c_cflag = every_flag.c_lflag =
        ~tcflag_t{0};
    termios no_flag{};
    const termios from_every = fare::key_mode_for(every_flag);
    const termios from_none = fare::key_mode_for(no_flag);
    for (const auto& row : flag_cases) {
        EXPECT_EQ((from_every.*row.field & row.flag) == 0, row.cleared) << row.name;
        EXPECT_EQ(from_none.*row.field & row.flag, 0U) << row.name << " set where it was not";
    }
}

// One byte at a time, at once; every other control character as the user set it.
TEST(KeyMode, ReadsEachByteAtOnceAndKeepsTheControlCharacters) {
    termios found{};
    std::fill(found.c_cc, found.c_cc + NCCS, cc_t{7});
    const termios key_mode = fare::key_mode_for(found);
    for (int index = 0; index < NCCS; ++index) {
        const cc_t wanted = index == VMIN ? 1 : index == VTIME ? 0 : 7;
        EXPECT_EQ(key_mode.c_cc[index], wanted) << "c_cc[" << index << "]";
    }
}

}  // namespace
