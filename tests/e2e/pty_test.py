"""fare on a real pseudo-terminal, leading a session of its own as a terminal
window starts it: prompts and echo, the key wait with no Enter, keys split
over a slow link, signals, and the terminal given back as it was.

usage: python3 pty_test.py [EMULATOR...] /path/to/fare
"""
import os
import signal
import sys
import termios
import time

import dialogues as table
import launch
from verdict import Again, Fail, run

PROMPT1, PROMPT2 = (table.crlf(line + b"\n") for line in table.PROMPTS.split(b"\n")[:2])
DISCOUNTED = table.crlf(table.report_for(b"1000\n10\n"))
COST_ONLY = table.crlf(table.report_for(b"1000\n7\n"))
TRIP = b"1000\n10\n"


def on_terminal(check, change=None, command=None, **how):
    """check(terminal, fare) with fare (or command) started on a fresh
    terminal, its settings changed first by change(settings)."""
    def test():
        terminal = launch.Terminal(change)
        try:
            with launch.start(command or COMMAND, terminal, **how) as fare:
                check(terminal, fare)
        finally:
            terminal.close()
    return test


def answer(terminal, days=b"10", first_end=b"\r"):
    """Types the two numbers at their prompts, the second only once asked."""
    terminal.expect("the first prompt", PROMPT1)
    os.write(terminal.master, b"1000" + first_end)
    terminal.expect("the second prompt", PROMPT2)
    os.write(terminal.master, days + b"\r")
    terminal.expect("the report", DISCOUNTED if days == b"10" else COST_ONLY)


def ends(terminal, fare, key, wanted="exited 0"):
    """Types the key; fare ends as wanted, the terminal as it was."""
    terminal.type(key)
    fare.expect_state("the end after the key %r" % key, wanted)
    terminal.check_as_before("the terminal after the key")


def full_session(terminal, fare):
    terminal.expect("the first prompt", PROMPT1)
    fare.asleep("the read of the length")
    terminal.read(0.05)
    if PROMPT2 in terminal.shown:
        raise Fail("the read of the length", "asked for the days before the length was typed")
    answer(terminal, first_end=b"\n")
    fare.waiting_for_key("the wait, with the line end after the days typed")
    ends(terminal, fare, b"q")
    if terminal.shown != PROMPT1 + b"1000\r\n" + PROMPT2 + b"10\r\n" + DISCOUNTED:
        raise Fail("the screen", "%r (the key echoed, or the report mangled?)" % terminal.shown)


def typed_ahead(terminal, fare):
    terminal.expect("the first prompt", PROMPT1)
    terminal.type(b"1000\r10\rX")
    terminal.expect("the report", DISCOUNTED)
    fare.waiting_for_key("the wait, with X typed before the report")
    ends(terminal, fare, b"k")


def shows_and_waits(shown, status="exited 0"):
    """With the numbers piped in: the terminal shows just what is given, and
    fare waits for a key, then ends as given."""
    def check(terminal, fare):
        terminal.expect("the screen", shown)
        fare.waiting_for_key("the wait")
        ends(terminal, fare, b"k", status)
        terminal.read(0.05)
        if terminal.shown != shown:
            raise Fail("the screen", repr(terminal.shown))
    return check


def stop_nobody_could_continue(terminal, fare):
    # fare leads its own session, an orphan to the system: its stop is
    # dropped, and it takes the key mode back.
    answer(terminal)
    fare.waiting_for_key("the wait")
    os.kill(fare.pid, signal.SIGTSTP)
    fare.waiting_for_key("the wait after SIGTSTP")
    if state := fare.state_change():
        raise Fail("the wait after SIGTSTP", state + ", and nobody can continue it")
    ends(terminal, fare, b"k")


def key_case(*pieces, **how):
    """A key, or its bytes split over a slow link, maybe with a signal
    between them: it ends the wait, nothing of it is shown, and nothing of it
    or of what came with it is left for the shell."""
    def check(terminal, fare):
        if "stdin" in how:
            terminal.expect("the report", PROMPT1 + PROMPT2 + COST_ONLY)
        else:
            answer(terminal, days=b"5")
        report_end = len(terminal.shown)
        fare.waiting_for_key("the wait")
        sent = time.monotonic()
        for number, piece in enumerate(pieces):
            if number:
                time.sleep(0.01)
            if isinstance(piece, bytes):
                terminal.type(piece)
            else:
                os.kill(fare.pid, piece)
        if len(pieces) > 1 and time.monotonic() - sent > 0.09:  # fare waits 0.1 s for the rest of a key
            raise Again()
        fare.expect_state("the end after the key", "exited 0")
        terminal.check_as_before("the terminal after the key")
        terminal.read(0.05)
        if terminal.shown[report_end:]:
            raise Fail("the screen after the report", repr(terminal.shown[report_end:][:200]))
        if left := terminal.left_for_shell():
            raise Fail("the input after the end", "%d bytes left for the shell: %r" % (len(left), left[:80]))
    name = b"|".join(piece if isinstance(piece, bytes) else launch.signal_name(piece).encode()
                     for piece in pieces)
    return "key %r" % (name if len(name) < 40 else name[:30] + b"... (%d bytes)" % len(name)), \
        on_terminal(check, **how)


def signal_case(number):
    def check(terminal, fare):
        answer(terminal)
        fare.waiting_for_key("the wait")
        os.kill(fare.pid, number)
        fare.expect_state("the end by the signal", "ended " + launch.signal_name(number))
        terminal.check_as_before("the terminal after the signal")
    return "signal %s" % signal.strsignal(number), on_terminal(check)


def igncr(settings):
    settings[0] |= termios.IGNCR


# Keys that a terminal would act on itself (interrupt, suspend, quit, stop
# output, end of file), Enter, a lone Escape, keys split over a slow link (a
# signal between their bytes too), keys with more after them, a paste.
KEYS = [(b"q",), (b"\r",), (b"\x1b",), (b"\x03",), (b"\x1a",), (b"\x1c",), (b"\x13",), (b"\x04",),
        (b"\x1b", b"[A"), (b"\x1b[1", b"5~"), (b"\x1b", b"x"), (b"\xc3", b"\xb1"), (b"\xe2\x82", b"\xac"),
        (b"\x1b", signal.SIGCONT, b"[A"), (b"\xc3", signal.SIGTSTP, b"\xb1"), (b"\x1b[1", signal.SIGWINCH, b"5~"),
        (b"\x1b[<64;12345;6789", b"0M"), (b"qls\n",), (b"echo PASTED\n" * 3334,)]
SIGNALS = [signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGIO, signal.SIGPWR,
           signal.SIGXCPU, signal.SIGSYS, signal.SIGABRT, signal.SIGSEGV, signal.SIGBUS, signal.SIGRTMIN + 3]


def checks():
    # Standard output a pipe (as in fare | tee log): only a flush shows the
    # prompt before the read.
    through_cat = ["/bin/sh", "-c", '"$0" "$@" | cat'] + COMMAND
    return ([("full session", on_terminal(full_session)),
             ("keys typed ahead are dropped", on_terminal(typed_ahead)),
             ("piped input, the key from the terminal",
              on_terminal(shows_and_waits(PROMPT1 + PROMPT2 + DISCOUNTED), stdin=TRIP)),
             # Nowhere to write the report: the complaint comes before the
             # wait, and the terminal stands in for neither stream.
             ("standard output closed",
              on_terminal(shows_and_waits(table.crlf(table.WRITE_ERROR), "exited 1"), stdin=TRIP, close=(1,))),
             ("standard error closed, output failing",
              on_terminal(shows_and_waits(b"", "exited 1"), stdin=TRIP, stdout=FULL, close=(2,))),
             ("a stop nobody could continue", on_terminal(stop_nobody_could_continue)),
             ("Enter with igncr set", key_case(b"\r", stdin=b"1000\n7\n", change=igncr)[1])]
            + [("prompt shown before the read, output through a pipe",
                on_terminal(lambda terminal, shell: answer(terminal) or ends(terminal, shell, b"q"),
                            command=through_cat))]
            + [key_case(*k) for k in KEYS] + [signal_case(s) for s in SIGNALS])


if __name__ == "__main__":
    COMMAND = launch.program(sys.argv[1:])
    FULL = open("/dev/full", "wb")  # noqa: SIM115 -- open for the whole run
    sys.exit(run(checks()))
