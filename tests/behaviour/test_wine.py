"""The Windows fare.exe under wine at a console, where it must wait for a
key (its piped runs are test_pipes.py's, with Windows line ends). A console
run gets a pseudo-terminal, which wine turns into a console."""
import re
import time
import tty

import pytest

from launch import Fail, answer, is_windows, start, until

# Console runs: what is typed ahead of the report, and the key pressed after
# it. Neither the line end after the days nor a key typed ahead of the report
# may end the wait.
CONSOLE_CASES = [(b"", b"x"), (b"x", b"\x1b[A")]  # the last: a key typed ahead, then cursor up


def without_escapes(shown):
    """The console as wine draws it: a cursor moved forward is blanks, its
    other escape sequences are nothing."""
    blanks = re.sub(rb"\x1b\[(\d*)C", lambda move: b" " * int(move[1] or 1), shown)
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", blanks)


def at_the_console(terminal, ahead=b""):  # the trip typed, as a slow wine draws it
    answer(terminal, ahead=ahead, shown=without_escapes, seconds=120)


def asleep_in_its_read(fare, step, still=0.2):
    """Waits until fare sleeps in a read, not woken since for the seconds given: under wine the key
    wait sleeps so until a key comes, while what ends without one (a key typed ahead taken, the
    burst after it dropped) wakes within a burst's gap."""
    last = {}

    def ready():
        facts = fare.live_facts()
        now = (facts["State"][0], "pipe_read" in facts["wchan"], facts["voluntary_ctxt_switches"])
        if last.get("facts") != now:
            last.update(facts=now, since=time.monotonic())
        return now[:2] == ("S", True) and time.monotonic() - last["since"] >= still
    until(step, ready, fare.describe, 120)


@pytest.fixture
def at_console(command, new_terminal):
    if not is_windows(command):
        pytest.skip("not a Windows program")

    def run(check, started=command):
        terminal = new_terminal()
        tty.setraw(terminal.slave)  # keys reach wine as typed, CR for Enter
        with start(started, terminal) as process:
            check(terminal, process)
    return run


@pytest.mark.parametrize("ahead, key", CONSOLE_CASES, ids=["key x", "key typed ahead, then cursor up"])
def test_console(at_console, ahead, key):
    def check(terminal, fare):
        at_the_console(terminal, ahead)
        asleep_in_its_read(fare, "the wait")
        if state := fare.state_change():
            raise Fail("the wait", state + " without a key")
        terminal.type(key)
        fare.expect_state("the end after the key", "exited 0")
    at_console(check)


def test_console_paste_after_the_key(at_console, command):
    """fare run from a command prompt, the key the first byte of a paste: the
    rest of the paste is dropped, not run by the prompt."""
    def check(terminal, prompt):
        at_the_console(terminal)
        report_end = len(terminal.shown)
        terminal.type(b"q" + b"echo PASTE%OS%\r")  # run, it would show PASTEWindows_NT
        terminal.expect("the prompt back", b">", lambda shown: without_escapes(shown[report_end:]), 120)
        terminal.type(b"echo TYPED%OS%\r")
        terminal.expect("a command typed at the prompt", b"TYPEDWindows_NT", without_escapes, 120)
        if b"PASTEWindows_NT" in without_escapes(terminal.shown):
            raise Fail("the prompt after fare", "it ran the rest of the paste")
        terminal.type(b"exit\r")
        prompt.expect_state("the prompt's end", "exited 0")
    at_console(check, command[:-1] + ["cmd.exe", "/k", "Z:" + command[-1].replace("/", "\\")])
