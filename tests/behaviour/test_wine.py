"""The Windows fare.exe under wine at a console, where it must wait for a
key (its piped runs are test_pipes.py's, with Windows line ends). A console
run gets a pseudo-terminal, which wine turns into a console."""
import re
import time
import tty

import pytest

import dialogues as table
from launch import Fail, Terminal, start, until

# Console runs: the days typed at the console, and the key pressed after the
# report. Neither the line end after the days nor a key typed ahead of the
# report may end the wait.
CONSOLE_CASES = [(b"10\r", b"x"), (b"10\rx", b"\x1b[A")]  # the last: a key typed ahead, then cursor up


def without_escapes(shown):
    """The console as wine draws it: a cursor moved forward is blanks, its
    other escape sequences are nothing."""
    blanks = re.sub(rb"\x1b\[(\d*)C", lambda move: b" " * int(move[1] or 1), shown)
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", blanks)


# The prompts, and the last line of the report, as the console draws them.
PROMPT1, PROMPT2 = table.PROMPTS.split(b"\n")[:2]
REPORT_END = table.report_for(b"1000\n10\n").split(b"\n")[-1].strip()


def answer(terminal, days):
    """Types the two numbers at the console, the days as given."""
    terminal.expect("the first prompt", PROMPT1, without_escapes, 120)
    terminal.type(b"1000\r")
    terminal.expect("the second prompt", PROMPT2, without_escapes, 120)
    terminal.type(days)
    terminal.expect("the report", REPORT_END, without_escapes, 120)


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
def at_console(command):
    if not command[-1].endswith(".exe"):
        pytest.skip("not a Windows program")

    def run(check, started=command):
        terminal = Terminal()
        tty.setraw(terminal.slave)  # keys reach wine as typed, CR for Enter
        try:
            with start(started, terminal) as process:
                check(terminal, process)
        finally:
            terminal.close()
    return run


@pytest.mark.parametrize("days, key", CONSOLE_CASES, ids=["key x", "key typed ahead, then cursor up"])
def test_console(at_console, days, key):
    def check(terminal, fare):
        answer(terminal, days)
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
        answer(terminal, b"10\r")
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
