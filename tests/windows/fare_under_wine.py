#!/usr/bin/env python3
"""Runs the Windows fare.exe under wine: with piped input, comparing every
byte it writes (CRLF line ends included) and its exit status; and at a
console, where it must wait for a key.

Usage: fare_under_wine.py FARE_EXE EMULATOR_COMMAND...

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
PROMPTS = "Ingresa longitud\nIngresa dias de viaje\n"

# Long numbers on the two thresholds: the midpoint between 800 and the next
# double, and between 7 and the next double. A tie rounds to the even one, the
# threshold itself, so only a tail of digits past the midpoint qualifies.
LENGTH_TIE = "800.000000000000056843418860808014869689941406250"
DAYS_TIE = "7.000000000000000444089209850062616169452667236328125"


def plain(cost):
    return PROMPTS + f"el costo es {cost} "


def discounted(cost, discount, total):
    return (PROMPTS + f"el costo es {cost} \nel descuento es de {discount} \n"
            f"el precio total es {total} ")


CASES = [
    # The worked quotes.
    ("1000\n10\n", discounted("2500.000000", "750.000000", "1750.000000")),
    ("1000\n7.5\n", discounted("2500.000000", "750.000000", "1750.000000")),
    ("1000\n7\n", plain("2500.000000")),
    ("800\n10\n", plain("2000.000000")),
    ("800.1\n8\n", discounted("2000.250000", "600.075012", "1400.175049")),
    ("123.456\n3\n", plain("308.640015")),
    ("2175.76\n10\n", discounted("5439.399902", "1631.819946", "3807.580078")),
    ("-1000\n10\n", plain("-2500.000000")),
    ("0\n0\n", plain("0.000000")),
    # Costs that rounding through double would round twice, wrongly.
    ("460.85207519531252\n3\n", plain("1152.130249")),
    ("12943121.199999999\n3\n", plain("32357802.000000")),
    ("10507.860546874999\n10\n", discounted("26269.650391", "7880.895020", "18388.755859")),
    # Exactly halfway between two six-decimal renderings: to even.
    ("10000.003\n3\n", plain("25000.007812")),
    # Overflow: infinities, and infinity minus infinity.
    ("1e39\n10\n", discounted("inf", "inf", "-nan")),
    ("-1e39\n10\n", plain("-inf")),
    ("1e400 10", discounted("inf", "inf", "-nan")),
    # The reader: Windows line ends, one line, a comma, no number, no input.
    ("123.456\r\n3\r\n", plain("308.640015")),
    ("1000 10", discounted("2500.000000", "750.000000", "1750.000000")),
    ("1000,5\n10\n", plain("2500.000000")),
    ("abc\n1000\n", plain("0.000000")),
    ("", plain("0.000000")),
    # Correct rounding of long numbers, seen in whether the discount applies.
    (LENGTH_TIE + "\n8\n", plain("2000.000000")),
    (LENGTH_TIE + "0" * 900 + "1\n8\n", discounted("2000.000000", "600.000000", "1400.000000")),
    (LENGTH_TIE[:-2] + "4" + "9" * 900 + "\n8\n", plain("2000.000000")),
    ("1000\n" + DAYS_TIE + "\n", plain("2500.000000")),
    ("1000\n" + DAYS_TIE + "0" * 3000 + "1\n", discounted("2500.000000", "750.000000",
                                                         "1750.000000")),
]


def run(command, text, stdout=subprocess.PIPE):
    try:
        return subprocess.run(command, input=text.encode("ascii"), stdout=stdout,
                              stderr=subprocess.PIPE, timeout=TIMEOUT_SECONDS,
                              start_new_session=True, check=False)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(command, "hung", b"", b"")


def piped_failures(command):
    failures = []
    for text, expected in CASES:
        result = run(command, text)
        # Text mode on Windows: every line end is written as CR LF.
        want = expected.replace("\n", "\r\n").encode("ascii")
        if result.stdout != want or result.stderr or result.returncode != 0:
            failures.append(f"input {text[:70]!r}\n  expected {want!r}\n  got      "
                            f"{result.stdout!r}, stderr {result.stderr!r}, "
                            f"status {result.returncode}")
    # A report that cannot be written fails the run, and says so.
    with open("/dev/full", "wb") as full:
        result = run(command, "1000\n10\n", stdout=full)
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
    fare, emulator = sys.argv[1], sys.argv[2:]
    command = [*emulator, fare]
    failures = piped_failures(command) + console_failures(command)
    for failure in failures:
        print("FAIL", failure)
    runs = len(CASES) + 1 + len(CONSOLE_CASES)
    print(f"{runs - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
