#!/usr/bin/env python3
"""The wine that the Windows tests run under, one wine server per test run.

usage: wine.py start | stop | run COMMAND...

start: checks that the loader runs here, makes the wine prefix and brings up
  a persistent wine server, so programs start at once and no wine process
  holds a test's output open after it ends. Where the kernel cannot run the
  32-bit loader, it notes why (WINEPREFIX.skipped), and every test skips.
stop: ends the wine server.
run: runs COMMAND, or says why it cannot run here (status 77, skipped).

The environment names the loader (WINELOADER), its server (WINESERVER), the
prefix (WINEPREFIX, WINEARCH) and FARE_WINE_BITS, 32 or 64.
"""
import errno
import os
import subprocess
import sys

SKIPPED = 77
LOADER = os.environ["WINELOADER"]
SERVER = os.environ["WINESERVER"]
SKIP_NOTE = os.environ["WINEPREFIX"] + ".skipped"


def quiet(command, seconds):
    """Runs command detached from the test's output; a wine service it
    starts would otherwise keep ctest waiting on the pipe."""
    with open(os.environ["WINEPREFIX"] + ".log", "ab") as log:
        return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                              start_new_session=True, timeout=seconds, check=False).returncode


def start():
    if os.path.exists(SKIP_NOTE):
        os.remove(SKIP_NOTE)
    try:
        subprocess.run([LOADER, "--version"], capture_output=True, timeout=60, check=True)
    except OSError as error:
        if error.errno == errno.ENOEXEC and os.environ["FARE_WINE_BITS"] == "32":
            reason = f"skipped: this kernel cannot run 32-bit programs ({LOADER}: {error.strerror})"
            with open(SKIP_NOTE, "w", encoding="utf-8") as note:
                note.write(reason + "\n")
            print(reason)
            return SKIPPED
        print(f"cannot start {LOADER}: {error}")
        return 1
    except subprocess.CalledProcessError as error:
        print(f"{LOADER} --version failed: {error.stderr!r}")
        return 1
    # A server left from an interrupted run goes first; the first run makes
    # the prefix, which the server needs to exist.
    os.makedirs(os.environ["WINEPREFIX"], exist_ok=True)
    quiet([SERVER, "--kill"], 60)
    if quiet([SERVER, "--persistent"], 60) != 0 or quiet([LOADER, "wineboot", "--init"], 300) != 0:
        with open(os.environ["WINEPREFIX"] + ".log", "rb") as log:
            sys.stdout.write(log.read().decode(errors="replace"))
        return 1
    return 0


def stop():
    if os.path.exists(SKIP_NOTE):
        return SKIPPED
    quiet([SERVER, "--kill"], 60)
    return 0


def run(*command):
    if os.path.exists(SKIP_NOTE):
        with open(SKIP_NOTE, encoding="utf-8") as note:
            print(note.read(), end="")
        return SKIPPED
    return os.execvp(command[0], command)


if __name__ == "__main__":
    sys.exit({"start": start, "stop": stop, "run": run}[sys.argv[1]](*sys.argv[2:]))
