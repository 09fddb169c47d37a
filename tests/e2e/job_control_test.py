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
import sys
import tempfile
import termios

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import dialogues as table  # noqa: E402
import launch  # noqa: E402
from verdict import Fail, run  # noqa: E402

TRIP = b"1000\n10\n"

SCENARIOS = [  # (name, started in the foreground, steps)
    ("background, fg, a key", False, ["stopped SIGTTOU", "report", "fg", "key mode", "key", "exited 0"]),
    ("background, kill %1", False, ["stopped SIGTTOU", "report", "kill", "ended SIGTERM"]),
    ("TSTP, fg, a key", True, ["key mode", "TSTP", "stopped SIGTSTP", "fg", "key mode", "key", "exited 0"]),
    ("TSTP, bg, kill %1", True, ["key mode", "TSTP", "stopped SIGTSTP", "bg", "stopped SIGTTOU", "kill",
                                 "ended SIGTERM"]),
]


def play(command, terminal, foreground, steps):
    shell = os.getpgrp()
    try:
        with tempfile.TemporaryFile() as out, \
                launch.start(command, terminal, "foreground" if foreground else "background",
                             stdin=TRIP, stdout=out, stderr=out) as fare:
            for number, step in enumerate(steps, 1):
                at = "step %d, %s" % (number, step)
                if step.split()[0] in ("stopped", "ended", "exited"):
                    fare.expect_state(at, step)
                    os.tcsetpgrp(terminal.slave, shell)  # the shell takes the terminal back
                    terminal.check_as_before(at)
                elif step == "report":
                    out.seek(0)
                    if (got := out.read()) != table.PROMPTS + table.report_for(TRIP):
                        raise Fail(at, repr(got))
                elif step == "key mode":
                    fare.waiting_for_key(at)
                elif step == "key":
                    terminal.type(b"k")
                elif step == "TSTP":
                    os.killpg(fare.pid, signal.SIGTSTP)
                else:  # fg, bg, kill %1: each continues a stopped job
                    if step == "fg":
                        os.tcsetpgrp(terminal.slave, fare.pid)
                    elif step == "kill":
                        os.killpg(fare.pid, signal.SIGTERM)
                    os.killpg(fare.pid, signal.SIGCONT)
    finally:  # whatever the job did, the shell's terminal as it was
        os.tcsetpgrp(terminal.slave, shell)
        termios.tcsetattr(terminal.slave, termios.TCSANOW, terminal.before)


def main():
    command = launch.program(sys.argv[1:])
    checks = lambda terminal: [(name, lambda f=foreground, s=steps: play(command, terminal, f, s))  # noqa: E731
                               for name, foreground, steps in SCENARIOS]
    return launch.as_shell(lambda terminal: run(checks(terminal)))


if __name__ == "__main__":
    sys.exit(main())
