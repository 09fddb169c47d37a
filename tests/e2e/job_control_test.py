"""fare as a job of an interactive shell: in the background, stopped,
continued, killed.

The test plays the shell: it leads a session on a fresh pseudo-terminal,
runs `fare < trip > out` in a process group of its own, in the foreground or
the background, and steps through each scenario as a user at that shell
would. Each step waits for what fare has done, never for a sign before it.

usage: python3 job_control_test.py [EMULATOR...] /path/to/fare
"""
import os
import signal
import subprocess
import sys
import tempfile
import termios

import dialogues as table
import launch
from verdict import Fail, run

TRIP = b"1000\n10\n"
CONTINUE = {"fg", "bg", "kill"}  # each continues a stopped job; fg brings it to the foreground first

SCENARIOS = [  # (name, started in the foreground, steps, how it is started)
    ("background, fg, a key", False, ["stopped SIGTTOU", "report", "fg", "key mode", "key", "exited 0"]),
    ("background, kill %1", False, ["stopped SIGTTOU", "report", "kill", "ended SIGTERM"]),
    ("TSTP, fg, a key", True, ["key mode", "TSTP", "stopped SIGTSTP", "fg", "key mode", "key", "exited 0"]),
    ("TSTP, bg, kill %1", True, ["key mode", "TSTP", "stopped SIGTSTP", "bg", "stopped SIGTTOU", "kill",
                                 "ended SIGTERM"]),
    ("TSTP, fg, TSTP again, fg, a key", True, ["key mode", "TSTP", "stopped SIGTSTP", "fg", "key mode", "TSTP",
                                               "stopped SIGTSTP", "fg", "key mode", "key", "exited 0"]),
    # SIGSTOP cannot be caught: the terminal stays in key mode, and the shell
    # resets it, or sets its own modes, as it takes it back.
    ("STOP, the shell resets the terminal, fg, a key", True,
     ["key mode", "STOP", "stopped SIGSTOP", "reset", "fg", "key mode", "key", "exited 0"]),
    ("STOP, the shell's own modes, bg: left alone", True,
     ["key mode", "STOP", "stopped SIGSTOP", "own modes", "bg", "stopped SIGTTOU", "kill", "ended SIGTERM"]),
    # Nobody can bring it to the foreground: it ends without waiting, and
    # without spinning.
    ("background, SIGTTOU blocked", False, ["exited 0", "report", "idle"], {"block": {signal.SIGTTOU}}),
]


def play(command, terminal, foreground, steps, how=None):
    shell, before = os.getpgrp(), terminal.before
    try:
        with tempfile.TemporaryFile() as out, \
                launch.start(command, terminal, "foreground" if foreground else "background",
                             stdin=TRIP, stdout=out, stderr=out, **(how or {})) as fare:
            for number, step in enumerate(steps, 1):
                at = "step %d, %s" % (number, step)
                if step.split()[0] in ("stopped", "ended", "exited"):
                    fare.expect_state(at, step)
                    os.tcsetpgrp(terminal.slave, shell)  # the shell takes the terminal back
                    if step != "stopped SIGSTOP":
                        terminal.check_as_before(at)
                elif step == "report":
                    out.seek(0)
                    if (got := out.read()) != table.PROMPTS + table.report_for(TRIP):
                        raise Fail(at, repr(got))
                elif step == "key mode":
                    fare.waiting_for_key(at)
                elif step == "key":
                    terminal.type(b"k")
                elif step in ("TSTP", "STOP"):
                    os.killpg(fare.pid, getattr(signal, "SIG" + step))
                elif step == "reset":
                    termios.tcsetattr(terminal.slave, termios.TCSANOW, before)
                elif step == "own modes":  # a line editor's: no echo, a key at a time
                    own = [*before[:3], before[3] & ~(termios.ICANON | termios.ECHO), *before[4:]]
                    termios.tcsetattr(terminal.slave, termios.TCSANOW, own)
                    terminal.before = termios.tcgetattr(terminal.slave)
                elif step == "idle":
                    if fare.cpu_seconds > 0.5:
                        raise Fail(at, "%.2f s of processor time" % fare.cpu_seconds)
                else:
                    if step == "fg":
                        os.tcsetpgrp(terminal.slave, fare.pid)
                    elif step == "kill":
                        os.killpg(fare.pid, signal.SIGTERM)
                    os.killpg(fare.pid, signal.SIGCONT)
    finally:  # whatever the job did, the shell's terminal as it was
        os.tcsetpgrp(terminal.slave, shell)
        termios.tcsetattr(terminal.slave, termios.TCSANOW, before)
        terminal.before = before


def shell_gone(command):
    """A job stopped in the background, SIGHUP ignored, whose shell exits:
    it ends by itself once the system continues it, without spinning."""
    def shell(terminal):
        fare = launch.start(command, terminal, "background", stdin=TRIP, stdout=subprocess.DEVNULL,
                            ignore={signal.SIGHUP})
        fare.expect_state("the job wanting the terminal", "stopped SIGTTOU")
        return fare.pid  # and the shell exits, leaving the job running

    terminal = launch.Terminal()  # kept open: no hang-up ends the job
    try:
        with launch.Fare(launch.as_shell(shell, terminal), None) as fare:
            fare.expect_state("the end once the shell has gone", "exited 0")
            if fare.cpu_seconds > 0.5:
                raise Fail("the end once the shell has gone", "%.2f s of processor time" % fare.cpu_seconds)
    finally:
        terminal.close()


def main():
    command = launch.program(sys.argv[1:])
    launch.adopt_orphans()
    checks = [(scenario[0], lambda s=scenario: launch.as_shell(lambda terminal: play(command, terminal, *s[1:])))
              for scenario in SCENARIOS]
    return run(checks + [("background, SIGHUP ignored, the shell gone", lambda: shell_gone(command))])


if __name__ == "__main__":
    sys.exit(main())
