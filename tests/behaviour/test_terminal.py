"""fare on a real pseudo-terminal, leading a session of its own as a terminal
window starts it: prompts and echo, the key wait with no Enter, keys split
over a slow link, signals, and the terminal given back as it was."""
import fcntl
import os
import select
import signal
import termios
import time

import pytest

import dialogues as table
from launch import Again, Ended, Fail, answer, retry, signal_name, start, until

PROMPT1, PROMPT2 = (table.crlf(line + b"\n") for line in table.PROMPTS.split(b"\n")[:2])
DISCOUNTED, COST_ONLY = table.crlf(table.TRIP.report), table.crlf(table.UNDISCOUNTED_TRIP.report)
TRIP = table.TRIP.typed
SPLIT_AT = 0.06  # the rest of a split key: after a burst's 50 ms pause, within the key's 0.1 s
MIB = 1 << 20
OTHER_READS = 64 << 10  # bytes a program may read from elsewhere than the terminal
THROUGH_CAT = '"$0" "$@" | cat'  # as in fare | tee log: only a flush shows a prompt before the read


def on_terminal(check, change=None, script=None, **how):
    """A test: check(terminal, fare) with the command (run by the sh script given, if any) started
    on a fresh terminal, its settings changed first by change(settings)."""
    def test(command, new_terminal):
        terminal = new_terminal(change)
        with start(["/bin/sh", "-c", script] + command if script else command, terminal, **how) as fare:
            check(terminal, fare)
    return test


def as_before(terminal, after):
    """The terminal as it was, and nothing left over for the shell."""
    terminal.check_as_before("the terminal after " + after)
    if left := terminal.left_for_shell():
        raise Fail("the input after " + after, "%d bytes left for the shell: %r" % (len(left), left[:80]))


def ends(terminal, fare, key, wanted="exited 0"):
    """Types the key; fare ends as wanted, the terminal as it was."""
    terminal.type(key)
    fare.expect_state("the end after the key %r" % key, wanted)
    as_before(terminal, "the key")


def full_session(terminal, fare):
    terminal.expect("the first prompt", PROMPT1)
    fare.asleep("the read of the length")
    terminal.read(0.05)
    if PROMPT2 in terminal.shown:
        raise Fail("the read of the length", "asked for the days before the length was typed")
    answer(terminal, first_end=b"\n")
    fare.waiting_for_key("the wait, with the line end after the days typed")
    # A read that blocked, with every signal held, would wait for another key
    # once a reader in the same pipeline took the one the poll saw.
    if not fare.terminal_flags() & os.O_NONBLOCK:
        raise Fail("the wait", "the terminal open for reads that block")
    fare.keeps_waiting("the wait, a second long")
    ends(terminal, fare, b"q")
    length, days = (table.crlf(line + b"\n") for line in TRIP.split())
    if terminal.shown != PROMPT1 + length + PROMPT2 + days + DISCOUNTED:
        raise Fail("the screen", "%r (the key echoed, or the report mangled?)" % terminal.shown)


def typed_ahead(terminal, fare):
    terminal.expect("the first prompt", PROMPT1)
    terminal.type(TRIP.replace(b"\n", b"\r") + b"X")
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


def key_case(*pieces, most_read=None, pace=None, **how):
    """A key, or its bytes split over a slow link (the rest after a burst's
    pause, within the key's wait), maybe with a signal between them: it ends
    the wait, nothing of it is shown, and nothing of it or of what came with
    it is left for the shell, unless fare may read no more than most_read.
    With a pace, what follows the key comes a KiB at a time, a signal while
    fare reads and drops it: the signal acts once all of it is dropped."""
    def check(terminal, fare):
        if "stdin" in how:
            terminal.expect("the report", PROMPT1 + PROMPT2 + COST_ONLY)
        else:
            answer(terminal, table.UNDISCOUNTED_TRIP)
        report_end = len(terminal.shown)
        fare.waiting_for_key("the wait")
        before = fare.facts()
        first = time.monotonic()
        terminal.type(pieces[0], pace)
        wanted = "exited 0"
        for piece in pieces[1:]:
            if pace:  # asleep between two pieces of what follows the key
                fare.asleep("the drop of what follows the key", "poll", before["syscr"] + 1)
                late = not terminal.paste.is_alive()
                os.kill(fare.pid, piece)
                wanted = "ended " + signal_name(piece)
                continue
            try:
                fare.waiting_for_key("the wait for the rest of the key", before["syscr"])
            except Ended as ended:
                if time.monotonic() - first > 0.09:  # too late to tell: fare waits 0.1 s for the rest
                    raise Again("the wait for the rest of the key", "not seen within 0.09 s; %s" % ended) from None
                raise
            if isinstance(piece, bytes):
                time.sleep(max(0.0, first + SPLIT_AT - time.monotonic()))
                terminal.type(piece)
            else:
                os.kill(fare.pid, piece)
        if len(pieces) > 1 and not pace and (sent := time.monotonic() - first) > 0.095:
            raise Again("the rest of the key", "sent %.3f s after the first piece" % sent)
        if most_read:
            # Every read counts, a sanitizer's of its own files as the program ends too.
            read = fare.bytes_read_in_all("the end of the paste") - before["rchar"]
            if read > most_read + OTHER_READS:
                raise Fail("the end of the paste", "%d bytes read of it, more than %d" % (read, most_read))
            if read <= most_read - 4096:  # a pause ended it first: the bound was never reached
                raise Again("the end of the paste", "%d bytes read of it" % read)
        if (state := until("the end after the key", fare.state_change, fare.describe)) != wanted:
            if pace and late and state == "exited 0":
                raise Again("the signal", "sent once the paste was over")
            raise Fail("the end after the key", "%s, wanted %s" % (state, wanted))
        terminal.check_as_before("the terminal after the key")
        terminal.read(0.05)
        shown, left = terminal.shown[report_end:], terminal.left_for_shell()
        if (shown and not most_read) or bool(left) != bool(most_read):  # a long paste's rest is echoed
            seen = "%d bytes left for the shell: %r; shown %r" % (len(left), left[:80], shown[:80])
            if terminal.longest_pause > 0.04 or terminal.paste_seconds > 0.9:  # a busy machine paused it
                raise Again("the input after the end", seen)
            raise Fail("the input after the end", seen)
    keys = [piece for piece in pieces if isinstance(piece, bytes)]
    name = KEY_NAMES.get(b"".join(keys)) or "a paste of %d bytes" % len(b"".join(keys))
    name += ", split" * (len(keys) > 1) + "".join(" by " + signal_name(piece) for piece in pieces if piece not in keys)
    name += " on " + how["change"].__name__ if "change" in how else ""
    name += ", a KiB every %g s" % pace if pace else ""
    return name, on_terminal(check, **how)


def signal_case(number):
    """A signal that ends a program ends fare by it, the terminal given back;
    one whose default is to do nothing is left alone."""
    def check(terminal, fare):
        answer(terminal)
        fare.waiting_for_key("the wait")
        ignored = number in (signal.SIGCHLD, signal.SIGURG, signal.SIGWINCH)
        if ignored and fare.catches(number):
            raise Fail("the wait", "%s caught; %s" % (signal_name(number), fare.describe()))
        os.kill(fare.pid, number)
        if ignored:
            fare.waiting_for_key("the wait after the signal")
            ends(terminal, fare, b"k")
        else:
            fare.expect_state("the end by the signal", "ended " + signal_name(number))
            as_before(terminal, "the signal")
    return "signal %s" % signal.strsignal(number), on_terminal(check)


def report_blocked_on_full_pipe(command, new_terminal):
    """A SIGCONT while the report waits for room in a full pipe: the write
    goes on once there is room, and fare ends as usual."""
    reader, writer = os.pipe()
    filler = b"-" * (fcntl.fcntl(writer, fcntl.F_GETPIPE_SZ) - len(table.PROMPTS))
    os.write(writer, filler)
    wanted = filler + table.expected(table.TRIP)

    def check(terminal, fare):
        fare.asleep("the report, the pipe full", "pipe_write")
        os.kill(fare.pid, signal.SIGCONT)
        fare.asleep("the report after SIGCONT", "pipe_write")
        got = b""
        while len(got) < len(wanted) and select.select([reader], [], [], 20)[0]:
            got += os.read(reader, 65536)
        if got != wanted:
            raise Fail("the output", repr(got[len(filler):]))
        fare.waiting_for_key("the wait")
        ends(terminal, fare, b"k")
    try:
        on_terminal(check, stdin=TRIP, stdout=writer)(command, new_terminal)
    finally:
        os.close(reader)
        os.close(writer)


def hang_up(terminal, shell):
    """A terminal that hangs up during the wait, SIGHUP ignored (nohup): the
    end of its input ends fare, the job of a shell."""
    answer(terminal)
    terminal.hang_up()
    shell.expect_state("the end after the hang-up", "exited 0")


def igncr(settings):
    settings[0] |= termios.IGNCR


def istrip(settings):
    settings[0] |= termios.ISTRIP


KEY_NAMES = {b"q": "q", b"\r": "Enter", b"\x1b": "Escape", b"\x03": "ctrl-C", b"\x1a": "ctrl-Z",
             b"\x1c": "ctrl-backslash", b"\x13": "ctrl-S", b"\x04": "ctrl-D", b"\x1b[A": "arrow up", b"\x1b[15~": "F5",
             b"\x1bx": "Escape x", b"\xc3\xb1": "UTF-8 n-tilde", b"\xe2\x82\xac": "UTF-8 euro sign",
             b"\x1b[<64;12345;6789" + b"0M": "mouse wheel", b"qls\n": "q with a command after it"}
# Keys that a terminal would act on itself (interrupt, suspend, quit, stop
# output, end of file), Enter, a lone Escape, keys split over a slow link (a
# signal between their bytes too), keys with more after them, a paste.
KEYS = [(b"q",), (b"\r",), (b"\x1b",), (b"\x03",), (b"\x1a",), (b"\x1c",), (b"\x13",), (b"\x04",),
        (b"\x1b", b"[A"), (b"\x1b[1", b"5~"), (b"\x1b", b"x"), (b"\xc3", b"\xb1"), (b"\xe2\x82", b"\xac"),
        (b"\x1b", signal.SIGCONT, b"[A"), (b"\xc3", signal.SIGTSTP, b"\xb1"), (b"\x1b[1", signal.SIGWINCH, b"5~"),
        (b"\x1b[<64;12345;6789", b"0M"), (b"qls\n",), (b"echo PASTED\n" * 3334,)]
SIGNALS = [signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGIO, signal.SIGPWR,
           signal.SIGXCPU, signal.SIGSYS, signal.SIGABRT, signal.SIGSEGV, signal.SIGBUS, signal.SIGRTMIN + 3,
           signal.SIGWINCH, signal.SIGCHLD, signal.SIGURG]


CASES = ([("full session", on_terminal(full_session)),
          ("keys typed ahead are dropped", on_terminal(typed_ahead)),
          ("piped input, the key from the terminal",
           on_terminal(shows_and_waits(PROMPT1 + PROMPT2 + DISCOUNTED), stdin=TRIP)),
          # Nowhere to write the report: the complaint comes before the
          # wait, and the terminal stands in for neither stream.
          ("standard output closed", on_terminal(shows_and_waits(table.crlf(table.WRITE_ERROR), "exited 1"),
                                                 stdin=TRIP, close=(1,))),
          ("standard error closed, output failing",
           on_terminal(shows_and_waits(b"", "exited 1"), script='exec "$0" "$@" >/dev/full', stdin=TRIP, close=(2,))),
          ("a stop nobody could continue", on_terminal(stop_nobody_could_continue)),
          ("SIGCONT while the report waits for a full pipe", report_blocked_on_full_pipe),
          ("prompt shown before the read, output through a pipe",
           on_terminal(lambda terminal, shell: answer(terminal) or ends(terminal, shell, b"q"), script=THROUGH_CAT)),
          ("a hang-up, SIGHUP ignored", on_terminal(hang_up, script=THROUGH_CAT, ignore={signal.SIGHUP})),
          key_case(b"k" + b"echo PASTED\n" * 1700, signal.SIGTERM, pace=0.01),
          key_case(b"\r", stdin=table.UNDISCOUNTED_TRIP.typed, change=igncr),
          key_case(b"\xc3", b"\xb1", change=istrip),
          # More than a stream that never pauses may hold fare: the rest is left.
          key_case(b"echo PASTED\n" * (3 * MIB // 12), most_read=MIB + 4096)]
         + [key_case(*k) for k in KEYS] + [signal_case(s) for s in SIGNALS])


@pytest.mark.parametrize("case", [pytest.param(test, id=name) for name, test in CASES])
def test_terminal(command, new_terminal, case):
    retry(lambda: case(command, new_terminal), tries=10)
