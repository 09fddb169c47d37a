"""fare as a job of an interactive shell: in the background, stopped, continued, killed.

The test plays the shell: it leads a session on a fresh pseudo-terminal, runs `fare < trip > out`
in a process group of its own, in the foreground or the background, and steps through a scenario
as a user at that shell would.

usage: python3 job_control_test.py [EMULATOR...] /path/to/fare
"""
import os
import signal
import sys
import tempfile
import termios
import time
import traceback

REPORT = (b"Ingresa longitud\nIngresa dias de viaje\nel costo es 2500.000000 \n"
          b"el descuento es de 750.000000 \nel precio total es 1750.000000 ")

SCENARIOS = [  # (name, started in the foreground, steps)
    ("background, fg, a key", False, ["stopped SIGTTOU", "report", "fg", "key mode", "key", "exited 0"]),
    ("background, kill %1", False, ["stopped SIGTTOU", "report", "kill", "ended SIGTERM"]),
    ("TSTP, fg, a key", True, ["key mode", "TSTP", "stopped SIGTSTP", "fg", "key mode", "key", "exited 0"]),
    ("TSTP, bg, kill %1", True, ["key mode", "TSTP", "stopped SIGTSTP", "bg", "stopped SIGTTOU", "kill",
                                 "ended SIGTERM"]),
]


class Fail(Exception):
    pass


def until(what, ready):
    end = time.monotonic() + 20
    while not (result := ready()):
        if time.monotonic() > end:
            raise Fail("gave up waiting for " + what)
        time.sleep(0.01)
    return result


def start(exe, tty, foreground, trip, out):
    pid = os.fork()
    if pid == 0:
        try:
            os.setpgid(0, 0)
            if foreground:
                os.tcsetpgrp(tty, os.getpid())
            for sig in signal.valid_signals() - {signal.SIGKILL, signal.SIGSTOP}:
                signal.signal(sig, signal.SIG_DFL)  # as a shell starts a job
            for fd, file in ((0, trip), (1, out), (2, out)):
                os.dup2(file.fileno(), fd)
            os.closerange(3, 1024)
            os.execvp(exe[0], exe)
        finally:
            os._exit(127)
    return pid


def signal_state(pid):
    """What the system says of a process's signals, for a failure's message."""
    try:
        with open("/proc/%d/status" % pid) as status, open("/proc/%d/wchan" % pid) as wchan:
            lines = [line.strip() for line in status if line.startswith(("State", "Sig", "ShdPnd"))]
            return "; ".join(lines + ["wchan " + wchan.read()])
    except OSError as error:
        return str(error)


def next_state(job):
    changed = lambda: (got := os.waitpid(job, os.WNOHANG | os.WUNTRACED))[0] and got
    try:
        _, status = until("a stop or an end", changed)
    except Fail as failure:
        raise Fail("%s (%s)" % (failure, signal_state(job))) from None
    if os.WIFSTOPPED(status):
        return "stopped " + signal.Signals(os.WSTOPSIG(status)).name
    if os.WIFSIGNALED(status):
        return "ended " + signal.Signals(os.WTERMSIG(status)).name
    return "exited %d" % os.WEXITSTATUS(status)


def play(exe, tty, master, foreground, steps):
    before = termios.tcgetattr(tty)
    with tempfile.TemporaryFile() as trip, tempfile.TemporaryFile() as out:
        trip.write(b"1000\n10\n")
        trip.seek(0)
        job = start(exe, tty, foreground, trip, out)
        try:
            for step in steps:
                if step.split()[0] in ("stopped", "ended", "exited"):
                    if (state := next_state(job)) != step:
                        raise Fail("wanted %s, got %s" % (step, state))
                    os.tcsetpgrp(tty, os.getpgrp())  # the shell takes the terminal back
                    if termios.tcgetattr(tty) != before:
                        raise Fail("terminal left changed once %s" % step)
                elif step == "report":
                    out.seek(0)
                    if (got := out.read()) != REPORT:
                        raise Fail("report %r" % got)
                elif step == "key mode":
                    until(step, lambda: not termios.tcgetattr(tty)[3] & termios.ECHO)
                elif step == "key":
                    os.write(master, b"k")
                elif step == "TSTP":
                    os.killpg(job, signal.SIGTSTP)
                else:  # fg, bg, kill %1: each continues a stopped job
                    if step == "fg":
                        os.tcsetpgrp(tty, job)
                    elif step == "kill":
                        os.killpg(job, signal.SIGTERM)
                    os.killpg(job, signal.SIGCONT)
        finally:
            try:
                os.killpg(job, signal.SIGKILL)
                os.waitpid(job, 0)
            except ProcessLookupError:  # already ended and reaped
                pass
            os.tcsetpgrp(tty, os.getpgrp())
            termios.tcsetattr(tty, termios.TCSANOW, before)


def shell(exe, master, slave):
    os.setsid()
    tty = os.open(os.ttyname(slave), os.O_RDWR)  # the session's controlling terminal
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)  # a shell takes the terminal back from the background
    failed = 0
    for name, foreground, steps in SCENARIOS:
        try:
            play(exe, tty, master, foreground, steps)
        except Fail as e:
            failed += 1
            print("FAIL %s: %s" % (name, e), flush=True)
    print("%d passed, %d failed" % (len(SCENARIOS) - failed, failed), flush=True)
    return 1 if failed else 0


def main():
    exe = sys.argv[1:-1] + [os.path.abspath(sys.argv[-1])]  # the emulator first, if any
    master, slave = os.openpty()
    pid = os.fork()
    if pid == 0:
        try:
            os._exit(shell(exe, master, slave))
        except BaseException:
            traceback.print_exc()
            os._exit(2)
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main())
