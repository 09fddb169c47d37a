#!/usr/bin/env python3
"""Runs the Windows fare.exe under wine: the piped checks of the Linux build,
with Windows line ends; and at a console, where it must wait for a key.

Usage: fare_under_wine.py EMULATOR... FARE_EXE

A piped run starts in a session of its own, without a terminal, so wine gives
the program no console and the key wait returns at once. A console run gets a
pseudo-terminal, which wine turns into a console.
"""
import os
import re
import sys
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import launch  # noqa: E402
import pipe_test  # noqa: E402
from verdict import Fail, run  # noqa: E402

# Console runs: the days typed at the console, and the key pressed after the
# report. Neither the line end after the days nor a key typed ahead of the
# report may end the wait.
CONSOLE_CASES = [
    (b"10\r", b"x"),
    (b"10\rx", b"\x1b[A"),  # then the cursor-up key
]


def without_escapes(shown):
    """The console as wine draws it, without its escape sequences."""
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", shown)


def console_check(command, days, key):
    def check():
        terminal = launch.Terminal()
        tty.setraw(terminal.slave)  # keys reach wine as typed, CR for Enter
        try:
            with launch.start(command, terminal) as fare:
                terminal.expect("the first prompt", b"longitud", without_escapes, 120)
                terminal.type(b"1000\r")
                terminal.expect("the second prompt", b"viaje", without_escapes, 120)
                terminal.type(days)
                terminal.expect("the report", b"1750.000000", without_escapes, 120)
                time.sleep(1)
                if state := fare.state_change():
                    raise Fail("the wait", state + " without a key")
                terminal.type(key)
                fare.expect_state("the end after the key", "exited 0")
        finally:
            terminal.close()
    return "console, days %r, key %r" % (days, key), check


def main():
    command = sys.argv[1:]  # the emulator, then the program
    return run(pipe_test.checks(command, windows=True)
               + [console_check(command, days, key) for days, key in CONSOLE_CASES])


if __name__ == "__main__":
    sys.exit(main())
