#!/usr/bin/env python3
"""Runs the Windows fare.exe under wine: with piped input, comparing every
byte it writes (CRLF line ends included) and its exit status; and at a
console, where it must wait for a key.

Usage: fare_under_wine.py EMULATOR... FARE_EXE

A piped run starts in a session of its own, without a terminal, so wine gives
the program no console and the key wait returns at once. A console run gets a
pseudo-terminal, which wine turns into a console.
"""
import os
import pty
import re
import select
import signal
import subprocess
import sys
import time
import tty

TIMEOUT_SECONDS = 120

# The piped dialogues are the Linux build's, byte for byte but for line ends.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from dialogues import DIALOGUES, expected, label, typed  # noqa: E402


def run(command, text, stdout=subprocess.PIPE):
    try:
        return subprocess.run(command, input=text, stdout=stdout,
                              stderr=subprocess.PIPE, timeout=TIMEOUT_SECONDS,
                              start_new_session=True, check=False)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(command, "hung", b"", b"")


def piped_failures(command):
    failures = []
    for dialogue in DIALOGUES:
        result = run(command, typed(dialogue))
        # Text mode on Windows: every line end is written as CR LF.
        want = expected(dialogue).replace(b"\n", b"\r\n")
        if result.stdout != want or result.stderr or result.returncode != 0:
            failures.append(f"input {label(dialogue)}\n  expected {want!r}\n  got      "
                            f"{result.stdout!r}, stderr {result.stderr!r}, "
                            f"status {result.returncode}")
    # A report that cannot be written fails the run, and says so.
    with open("/dev/full", "wb") as full:
        result = run(command, b"1000\n10\n", stdout=full)
    if result.returncode != 1 or result.stderr != b"error: no se pudo escribir el resultado\r\n":
        failures.append(f"full disk: status {result.returncode}, stderr {result.stderr!r}")
    return failures


# Console runs: the days typed at the console, and the key pressed after the
# report. Neither the line end after the days nor a key typed ahead of the
# report may end the wait.
CONSOLE_CASES = [
    (b"10\r", b"x"),
    (b"10\rx", b"\x1b[A"),  # then the cursor-up key
]


def read_console(terminal, until, seconds):
    """Reads the console until it has shown until, wine's escape sequences
    aside; false if seconds pass first."""
    shown = b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if select.select([terminal], [], [], 0.1)[0]:
            try:
                shown += os.read(terminal, 4096)
            except OSError:  # the program has ended
                break
        if until in re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", shown):
            return True
    return False


def console_failure(command, days, key):
    pid, terminal = pty.fork()
    if pid == 0:
        # Keys reach wine as typed, CR for Enter, whether or not wine has
        # set up its console yet.
        tty.setraw(0)
        os.execvp(command[0], command)
    status = None

    def ended():
        nonlocal status
        if status is None:
            done, wait_status = os.waitpid(pid, os.WNOHANG)
            if done:
                status = os.waitstatus_to_exitcode(wait_status)
        return status is not None

    try:
        if not read_console(terminal, b"longitud", TIMEOUT_SECONDS):
            return "no first prompt"
        os.write(terminal, b"1000\r")
        if not read_console(terminal, b"viaje", TIMEOUT_SECONDS):
            return "no second prompt"
        os.write(terminal, days)
        if not read_console(terminal, b"1750.000000", TIMEOUT_SECONDS):
            return "no report at the console"
        time.sleep(1)
        if ended():
            return "ended without a key"
        os.write(terminal, key)
        deadline = time.monotonic() + TIMEOUT_SECONDS
        while not ended() and time.monotonic() < deadline:
            read_console(terminal, b"\0", 0.2)
        if status is None:
            return "still waiting after the key"
        return None if status == 0 else f"status {status} after the key"
    finally:
        if not ended():
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        os.close(terminal)


def console_failures(command):
    failures = []
    for days, key in CONSOLE_CASES:
        failure = console_failure(command, days, key)
        if failure:
            failures.append(f"console, days {days!r}, key {key!r}: {failure}")
    return failures


def main():
    command = sys.argv[1:]  # the emulator, then the program
    failures = piped_failures(command) + console_failures(command)
    for failure in failures:
        print("FAIL", failure)
    runs = len(DIALOGUES) + 1 + len(CONSOLE_CASES)
    print(f"{runs - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
