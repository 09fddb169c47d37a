// The key wait on a POSIX terminal: the controlling terminal in
// non-canonical mode, with its settings restored on every way out.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>

#include "key_sequence.h"
#include "key_wait.h"

namespace fare {
namespace {

int terminal = -1;
termios saved_settings{};
termios key_settings{};
volatile std::sig_atomic_t in_key_mode = 0;

// Signals whose default action ends the process: each one restores the
// terminal and then ends the process by that same signal.
constexpr int ending_signals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGPIPE, SIGVTALRM, SIGPROF};
struct sigaction previous_actions[std::size(ending_signals)];
struct sigaction previous_stop_action;

void restore_terminal() {
    if (in_key_mode != 0) {
        tcsetattr(terminal, TCSAFLUSH, &saved_settings);
        in_key_mode = 0;
    }
}

extern "C" void end_by_signal(int signal_number) {
    restore_terminal();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);  // delivered once this handler returns
}

// A stop from outside (kill -TSTP) leaves the shell a sane terminal, and key
// mode comes back when the process is continued.
extern "C" void stop_by_signal(int /*signal_number*/) {
    const int saved_errno = errno;
    const bool was_in_key_mode = in_key_mode != 0;
    restore_terminal();
    kill(getpid(), SIGSTOP);
    if (was_in_key_mode) {
        tcsetattr(terminal, TCSAFLUSH, &key_settings);
        in_key_mode = 1;
    }
    errno = saved_errno;
}

void install_handlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    for (const int signal_number : ending_signals) {
        sigaddset(&action.sa_mask, signal_number);
    }
    action.sa_handler = end_by_signal;
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        sigaction(ending_signals[i], nullptr, &previous_actions[i]);
        // A signal the parent chose to ignore stays ignored.
        if (previous_actions[i].sa_handler != SIG_IGN) {
            sigaction(ending_signals[i], &action, nullptr);
        }
    }
    action.sa_handler = stop_by_signal;
    sigaction(SIGTSTP, nullptr, &previous_stop_action);
    if (previous_stop_action.sa_handler != SIG_IGN) {
        sigaction(SIGTSTP, &action, nullptr);
    }
}

void remove_handlers() {
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        sigaction(ending_signals[i], &previous_actions[i], nullptr);
    }
    sigaction(SIGTSTP, &previous_stop_action, nullptr);
}

// Reads one byte, waiting at most timeout_ms for it (forever if negative).
bool read_byte(unsigned char& byte, int timeout_ms) {
    pollfd ready{terminal, POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) <= 0) {
        return false;
    }
    return read(terminal, &byte, 1) == 1;
}

}  // namespace

void prepare_key_wait() {
    // No controlling terminal (cron, CI, a service): nobody can press a key.
    terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        return;
    }
    if (tcgetattr(terminal, &saved_settings) != 0) {
        close(terminal);
        terminal = -1;
        return;
    }
    key_settings = saved_settings;
    // No line editing, no echo, and the control keys (interrupt, suspend,
    // quit, stop output) arrive as ordinary key presses.
    key_settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    key_settings.c_iflag &= ~static_cast<tcflag_t>(IXON);
    key_settings.c_cc[VMIN] = 1;
    key_settings.c_cc[VTIME] = 0;

    install_handlers();
    in_key_mode = 1;
    // TCSAFLUSH drops keys typed before the wait began.
    if (tcsetattr(terminal, TCSAFLUSH, &key_settings) != 0) {
        in_key_mode = 0;
        remove_handlers();
        close(terminal);
        terminal = -1;
    }
}

void wait_for_key() {
    if (terminal < 0) {
        return;
    }
    // Blocks for the first byte; end of input or an error ends the wait too.
    unsigned char key[16];
    std::size_t count = 0;
    for (;;) {
        errno = 0;
        if (read_byte(key[0], -1)) {
            count = 1;
            break;
        }
        if (errno != EINTR) {
            break;
        }
    }
    // The rest of a key that sends several bytes (an arrow, a function key, a
    // non-ASCII letter) is waited for a moment, byte by byte, as long as
    // terminal libraries give an escape sequence: a slow link may split a
    // key, and none of it may reach the shell.
    constexpr int next_byte_wait_ms = 100;
    while (count > 0 && count < sizeof key && !is_whole_key(key, count) &&
           read_byte(key[count], next_byte_wait_ms)) {
        ++count;
    }
    restore_terminal();
    remove_handlers();
    close(terminal);
    terminal = -1;
}

}  // namespace fare
