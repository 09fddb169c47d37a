// The key wait on a POSIX terminal: the controlling terminal in
// non-canonical mode, taken only in the foreground and given back as it was
// when taken on every way out but SIGKILL, unless another program set it since.
//
// The settings change only while every signal is blocked, so no handler sees
// them half changed. Signals are let in only while the wait sleeps in ppoll
// for the key, while a background job asks for the foreground, and before the
// wait decides that its job has lost the foreground (a stop comes first).

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <limits>

#include "key_burst.h"
#include "key_mode.h"
#include "key_sequence.h"
#include "key_wait.h"

namespace fare {
namespace {

// What the wait keeps, where its signal handlers reach it: they read terminal,
// restore, key_mode and previous_actions, and change in_key_mode, continued
// and ever_continued, with every signal blocked, as the wait does.
struct wait_state {
    int terminal = -1;
    pid_t parent = 0;        // when it found the terminal: the script or shell that started it
    sigset_t all_signals{};  // filled once there is a terminal, not at every start
    sigset_t normal_mask{};  // the process's own, in force outside the wait
    termios restore{};       // what the terminal held when the wait took it
    termios key_mode{};      // the key settings as the system reported them back
    bool has_key_mode = false;
    volatile std::sig_atomic_t in_key_mode = 0;
    volatile std::sig_atomic_t continued = 0;       // since it last took the terminal
    volatile std::sig_atomic_t ever_continued = 0;  // a shell's job, which it can bring back
    struct sigaction previous_actions[NSIG] {};     // before the wait, for those it handles
    bool handled[NSIG]{};
};
wait_state state;

void forget_terminal() {
    close(state.terminal);
    state.terminal = -1;
}

bool in_foreground() { return tcgetpgrp(state.terminal) == getpgrp(); }

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc);
}

// Counted by hand: std::popcount, without the processor's own instruction,
// calls a function of libgcc_s, one more library for the loader at every run.
int set_bits(tcflag_t bits) {
    int count = 0;
    for (; bits != 0; bits &= bits - 1) {
        ++count;
    }
    return count;
}

// In how many settings two differ: each flag and each control character.
int differences(const termios& a, const termios& b) {
    int count = set_bits(a.c_iflag ^ b.c_iflag) + set_bits(a.c_oflag ^ b.c_oflag) +
                set_bits(a.c_cflag ^ b.c_cflag) + set_bits(a.c_lflag ^ b.c_lflag);
    for (std::size_t i = 0; i < NCCS; ++i) {
        count += a.c_cc[i] != b.c_cc[i] ? 1 : 0;
    }
    return count;
}

// base with every setting in which changed differs from unchanged as changed has it.
termios merged(const termios& base, const termios& unchanged, const termios& changed) {
    termios result = changed;
    const auto merge = [](tcflag_t ours, tcflag_t before, tcflag_t after) {
        return (ours & ~(before ^ after)) | (after & (before ^ after));
    };
    result.c_iflag = merge(base.c_iflag, unchanged.c_iflag, changed.c_iflag);
    result.c_oflag = merge(base.c_oflag, unchanged.c_oflag, changed.c_oflag);
    result.c_cflag = merge(base.c_cflag, unchanged.c_cflag, changed.c_cflag);
    result.c_lflag = merge(base.c_lflag, unchanged.c_lflag, changed.c_lflag);
    for (std::size_t i = 0; i < NCCS; ++i) {
        result.c_cc[i] = changed.c_cc[i] != unchanged.c_cc[i] ? changed.c_cc[i] : base.c_cc[i];
    }
    return result;
}

// Whether the terminal is still as the wait set it. A program that has set it
// since (a pager in the same pipeline, a shell that took it back) owns it.
bool holds_key_settings() {
    termios now{};
    return tcgetattr(state.terminal, &now) == 0 && same_settings(now, state.key_mode);
}

// Keys typed before the change do not count. They go first, so that once the
// new settings show (echo off, say) every key typed from then on is kept.
// Neither call waits for the terminal (a handler uses them too), nor is
// interrupted: every caller blocks every signal.
bool set_terminal(const termios& settings) {
    tcflush(state.terminal, TCIFLUSH);
    return tcsetattr(state.terminal, TCSANOW, &settings) == 0;
}

// With every signal blocked, so that a change from the background is not
// stopped. Out of the foreground the input is the shell's: it is kept.
void leave_key_mode() {
    if (state.in_key_mode != 0 && holds_key_settings()) {
        if (in_foreground()) {
            set_terminal(state.restore);
        } else {
            tcsetattr(state.terminal, TCSANOW, &state.restore);
        }
    }
    state.in_key_mode = 0;
}

// With every signal blocked, in the foreground, at the start and after every
// stop or continue: what the terminal holds then, whoever set it, is what to
// give back. Nearer the key settings than what it held before them (SIGSTOP
// leaves them, and a shell that does not set its own runs its prompt in
// them), it is those but for what the user changed at that prompt: what it
// held before, with those changes.
bool enter_key_mode() {
    termios found{};
    if (tcgetattr(state.terminal, &found) != 0) {
        return false;
    }
    if (state.has_key_mode &&
        differences(found, state.key_mode) < differences(found, state.restore)) {
        state.restore = merged(state.restore, state.key_mode, found);
    } else {
        state.restore = found;
    }
    if (!set_terminal(key_mode_for(state.restore))) {
        return false;
    }
    tcgetattr(state.terminal, &state.key_mode);
    state.has_key_mode = true;
    state.continued = 0;
    state.in_key_mode = 1;
    return true;
}

using handler_type = void (*)(int);

bool catch_signal(int signal_number, handler_type handler) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);
    // The report is written while the handlers are in place: a handler that
    // returns must not fail its write.
    action.sa_flags = SA_RESTART;
    return sigaction(signal_number, &action, nullptr) == 0;
}

// The signal, blocked while its handler runs, takes its default action as
// soon as the handler lets it through.
void take_default_action(int signal_number) {
    catch_signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    sigset_t just_this{};
    sigemptyset(&just_this);
    sigaddset(&just_this, signal_number);
    sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
}

// The parent sees the process ended by the signal that ended it.
extern "C" void end_by_signal(int signal_number) {
    leave_key_mode();
    take_default_action(signal_number);
}

// A stop the conventional way: the terminal back to the shell, then the
// signal's default action, which the system drops for an orphaned job that
// nobody could continue. The wait takes the terminal again once continued.
extern "C" void stop_by_signal(int signal_number) {
    const int saved_errno = errno;
    leave_key_mode();
    take_default_action(signal_number);
    catch_signal(signal_number, stop_by_signal);
    errno = saved_errno;
}

// After any stop, SIGSTOP's too, the shell may have set the terminal its own way.
extern "C" void note_continue(int /*signal_number*/) {
    state.continued = 1;
    state.ever_continued = 1;
}

// Every signal whose default action ends the process ends it by that signal,
// the terminal given back first. Those whose default is to do nothing (a
// child's end, urgent data, a window resize) are left alone.
handler_type handler_for(int signal_number) {
    switch (signal_number) {
        case SIGTSTP:
        case SIGTTIN:
        case SIGTTOU:
            return stop_by_signal;
        case SIGCONT:
            return note_continue;
        case SIGKILL:
        case SIGSTOP:
        case SIGCHLD:
        case SIGURG:
        case SIGWINCH:
            return nullptr;
        default:
            return end_by_signal;
    }
}

// A signal the parent left ignored stays ignored; sigaction refuses the few
// signals that the C library keeps for itself.
void install_handlers() {
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        const handler_type handler = handler_for(signal_number);
        state.handled[signal_number] =
            handler != nullptr &&
            sigaction(signal_number, nullptr, &state.previous_actions[signal_number]) == 0 &&
            state.previous_actions[signal_number].sa_handler != SIG_IGN &&
            catch_signal(signal_number, handler);
    }
}

void remove_handlers() {
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (state.handled[signal_number]) {
            sigaction(signal_number, &state.previous_actions[signal_number], nullptr);
        }
    }
}

// Times in nanoseconds on the C library's monotonic clock: std::chrono's
// clock would make the C++ runtime library one more for the loader to load.
using nanoseconds = std::int64_t;
constexpr nanoseconds milliseconds = 1'000'000;
constexpr nanoseconds seconds = 1000 * milliseconds;
constexpr nanoseconds no_deadline = std::numeric_limits<nanoseconds>::max();
// How often a wait that no signal ends looks whether it has the foreground.
constexpr nanoseconds foreground_check = 250 * milliseconds;

timespec time_span(nanoseconds span) {
    return {static_cast<std::time_t>(span / seconds), static_cast<long>(span % seconds)};
}

// Whether another process, still there, leads fare's process group: the
// shell of a script that started it in the background, say.
bool led_by_another() {
    const pid_t group = getpgrp();
    return group != getpid() && getpgid(group) == group;
}

// With every signal blocked. A background job asks for the terminal with the
// signals let in, and the system stops its whole group by SIGTTOU until the
// shell brings it to the foreground (fg), as any job that touches the
// terminal from there. In a group that another process leads, that stop could
// catch a script's shell in the middle of starting a command, where its own
// shell sees no stop and fg continues nobody: there the job looks for the
// foreground four times a second instead. False where nobody can give it the
// terminal: the system answers an orphaned job with EIO, a job that ignores or
// blocks SIGTTOU is not stopped at all, a session whose leader has gone has no
// foreground left, and a job whose starter is no longer its parent (a script
// that has ended) is in no shell's table.
bool take_terminal() {
    for (;;) {
        const pid_t foreground = tcgetpgrp(state.terminal);
        if (foreground == getpgrp()) {
            return enter_key_mode();
        }
        if (foreground < 0 || !state.handled[SIGTTOU] ||
            sigismember(&state.normal_mask, SIGTTOU) == 1 || getppid() != state.parent) {
            return false;
        }
        sigprocmask(SIG_SETMASK, &state.normal_mask, nullptr);
        bool asked = true;
        if (led_by_another()) {
            const timespec pause = time_span(foreground_check);
            ppoll(nullptr, 0, &pause, nullptr);
        } else {
            asked = tcflush(state.terminal, TCIFLUSH) == 0 || errno == EINTR;
        }
        sigprocmask(SIG_SETMASK, &state.all_signals, nullptr);
        if (!asked) {
            return false;
        }
    }
}

// Non-blocking, so that a read with the signals blocked cannot hang. Never
// on descriptor 0, 1 or 2: with one of those closed, the terminal would
// stand in for that stream.
int open_terminal() {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 && fd <= STDERR_FILENO) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(fd);
        fd = moved;
    }
    return fd;
}

nanoseconds now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<nanoseconds>(time.tv_sec) * seconds + time.tv_nsec;
}

// Signals that come while the wait sleeps are handled at once, or held
// until the wait is over (the burst after the key).
enum class signals { let_in, held };

// Whether another job has the terminal, told once every signal that came
// meanwhile is handled: a stop and fg may have taken it away and back.
bool lost_foreground() {
    if (in_foreground()) {
        return false;
    }
    sigprocmask(SIG_SETMASK, &state.normal_mask, nullptr);
    sigprocmask(SIG_SETMASK, &state.all_signals, nullptr);
    return !in_foreground();
}

// Once another job has the terminal: whether the wait goes on, as a job that
// asks for it again (take_terminal), the terminal given back meanwhile. Not
// where, never stopped nor continued, the job lost it to the end of the
// script that started it, whose shell took it back.
bool waits_in_background() {
    if (state.ever_continued == 0) {
        return false;
    }
    leave_key_mode();
    return true;
}

// Until the terminal has input or the deadline passes. A signal does not end
// the wait; a stop, or a continue, has the terminal taken again first. False
// at the deadline, if the terminal cannot be had or has hung up, or once
// nobody can give the job the foreground back, which a long wait looks at
// four times a second.
bool input_ready(nanoseconds deadline, signals while_asleep) {
    for (;;) {
        const nanoseconds left = deadline - now();
        if (left <= 0) {
            return false;
        }
        if (state.in_key_mode == 0 || state.continued != 0) {
            if (!take_terminal()) {
                return false;
            }
            continue;  // the deadline may have passed meanwhile
        }
        const nanoseconds sleep = std::min(left, foreground_check);
        const timespec timeout = time_span(sleep);
        pollfd ready{state.terminal, POLLIN, 0};
        const int result =
            ppoll(&ready, 1, &timeout,
                  while_asleep == signals::let_in ? &state.normal_mask : &state.all_signals);
        if (result > 0) {
            return true;
        }
        if (result < 0 && errno != EINTR) {
            return false;
        }
        if (result == 0 && sleep < left && lost_foreground() && !waits_in_background()) {
            return false;
        }
    }
}

// Reads what the terminal has, up to size bytes, once it has some before the
// deadline. 0 where input_ready is false.
std::size_t read_input(nanoseconds deadline, signals while_asleep, unsigned char* buffer,
                       std::size_t size) {
    while (input_ready(deadline, while_asleep)) {
        const ssize_t got = read(state.terminal, buffer, size);
        if (got > 0) {
            return static_cast<std::size_t>(got);
        }
        // From the background the read fails, whatever was typed: it is the
        // shell's, left to it.
        if (got < 0 && errno == EIO && lost_foreground()) {
            if (!waits_in_background()) {
                return 0;
            }
            continue;
        }
        if (got == 0 || errno != EAGAIN) {
            return 0;
        }
    }
    return 0;
}

// The key, for as long as it takes. The rest of a key that sends several bytes
// (an arrow, a function key, a non-ASCII letter) is waited for a moment, byte
// by byte, as long as terminal libraries give an escape sequence: a slow link
// may split a key, and none of it may reach the shell. False if no key came.
bool read_key() {
    constexpr nanoseconds next_byte_wait = 100 * milliseconds;
    unsigned char key[longest_key];
    if (read_input(no_deadline, signals::let_in, key, 1) == 0) {
        return false;
    }
    std::size_t count = 1;
    while (!is_whole_key(key, count) &&
           read_input(now() + next_byte_wait, signals::let_in, &key[count], 1) == 1) {
        ++count;
    }
    return true;
}

// The burst after the key is read and dropped while still in key mode, or
// the shell would run it. A signal that comes meanwhile acts once the
// terminal is given back.
void drop_rest_of_burst() {
    constexpr nanoseconds burst_gap = burst_gap_ms * milliseconds;
    const nanoseconds end = now() + longest_burst_ms * milliseconds;
    unsigned char dropped[4096];
    std::size_t total = 0;
    while (total < most_burst_input) {
        const std::size_t got =
            read_input(std::min(now() + burst_gap, end), signals::held, dropped, sizeof dropped);
        if (got == 0) {
            break;
        }
        total += got;
    }
}

}  // namespace

void prepare_key_wait() {
    // No controlling terminal (cron, CI, a service): nobody can press a key.
    state.terminal = open_terminal();
    if (state.terminal < 0) {
        return;
    }
    state.parent = getppid();
    sigfillset(&state.all_signals);
    sigprocmask(SIG_SETMASK, &state.all_signals, &state.normal_mask);
    install_handlers();
    // A background job takes the terminal, as it then finds it, when it waits.
    if (in_foreground() && !enter_key_mode()) {
        remove_handlers();
        forget_terminal();
    }
    sigprocmask(SIG_SETMASK, &state.normal_mask, nullptr);
}

void wait_for_key() {
    if (state.terminal < 0) {
        return;
    }
    sigprocmask(SIG_SETMASK, &state.all_signals, nullptr);
    if (read_key()) {
        drop_rest_of_burst();
    }
    leave_key_mode();
    remove_handlers();
    sigprocmask(SIG_SETMASK, &state.normal_mask, nullptr);
    forget_terminal();
}

}  // namespace fare
