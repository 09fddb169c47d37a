"""The Windows fare.exe under wine at a console, where it must wait for a
key (its piped runs are test_pipes.py's, with Windows line ends). A console
run gets a pseudo-terminal, which wine turns into a console."""
import contextlib
import re
import time
import tty

import pytest

from launch import Fail, answer, is_windows, start, until


def without_escapes(shown):
    """The console as wine draws it: a cursor moved forward is blanks, its
    other escape sequences are nothing."""
    blanks = re.sub(rb"\x1b\[(\d*)C", lambda move: b" " * int(move[1] or 1), shown)
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", blanks)


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
def console(command, new_terminal):
    """Starts a program, fare by default, at a console: (terminal, process), ended after the test."""
    if not is_windows(command):
        pytest.skip("not a Windows program")
    with contextlib.ExitStack() as started:
        def run(program=command):
            terminal = new_terminal()
            tty.setraw(terminal.slave)  # keys reach wine as typed, CR for Enter
            return terminal, started.enter_context(start(program, terminal))
        yield run


# Neither the line end after the days nor a key typed ahead of the report may end the wait.
@pytest.mark.parametrize("ahead, key", [(b"", b"x"), (b"x", b"\x1b[A")],
                         ids=["key x", "key typed ahead, then cursor up"])
def test_console(console, ahead, key):
    terminal, fare = console()
    answer(terminal, ahead=ahead, shown=without_escapes, seconds=120)  # as a slow wine draws it
    asleep_in_its_read(fare, "the wait")
    if state := fare.state_change():
        raise Fail("the wait", state + " without a key")
    terminal.type(key)
    fare.expect_state("the end after the key", "exited 0")


def test_console_paste_after_the_key(console, command):
    """fare run from a command prompt, the key the first byte of a paste: the
    rest of the paste is dropped, not run by the prompt."""
    terminal, prompt = console(command[:-1] + ["cmd.exe", "/k", "Z:" + command[-1].replace("/", "\\")])
    answer(terminal, shown=without_escapes, seconds=120)
    report_end = len(terminal.shown)
    terminal.type(b"q" + b"echo PASTE%OS%\r")  # run, it would show PASTEWindows_NT
    terminal.expect("the prompt back", b">", lambda shown: without_escapes(shown[report_end:]), 120)
    terminal.type(b"echo TYPED%OS%\r")
    terminal.expect("a command typed at the prompt", b"TYPEDWindows_NT", without_escapes, 120)
    if b"PASTEWindows_NT" in without_escapes(terminal.shown):
        raise Fail("the prompt after fare", "it ran the rest of the paste")
    terminal.type(b"exit\r")
    prompt.expect_state("the prompt's end", "exited 0")
