"""fare on a real pseudo-terminal: prompts, the key wait, and terminal restore.

usage: python3 pty_test.py [EMULATOR...] /path/to/fare
"""
import os
import resource
import select
import signal
import sys
import termios
import time

PROMPT1 = b"Ingresa longitud\r\n"
PROMPT2 = b"Ingresa dias de viaje\r\n"
D1750 = b"el costo es 2500.000000 \r\nel descuento es de 750.000000 \r\nel precio total es 1750.000000 "
N2500 = b"el costo es 2500.000000 "


class Fail(Exception):
    pass


class Run:
    """fare in a new session on a fresh pty; the slave stays open here for checks after exit."""
    current = None

    def __init__(self, command, stdin_data=None):
        Run.current = self
        self.master, self.slave = os.openpty()
        self.before = termios.tcgetattr(self.slave)
        self.out, self.status = b"", None
        r, w = os.pipe()
        self.pid = os.fork()
        if self.pid == 0:
            try:
                os.setsid()
                tty = os.open(os.ttyname(self.slave), os.O_RDWR)  # becomes the controlling tty
                for fd in (0, 1, 2):
                    os.dup2(tty, fd)
                if stdin_data is not None:
                    os.dup2(r, 0)
                os.closerange(3, 1024)
                os.chdir("/tmp")  # keep any core dump out of the work tree
                resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # and make none
                for sig in signal.valid_signals() - {signal.SIGKILL, signal.SIGSTOP}:
                    signal.signal(sig, signal.SIG_DFL)  # whatever this test inherited
                os.execvp(command[0], command)
            finally:
                os._exit(127)
        os.close(r)
        os.write(w, stdin_data or b"")
        os.close(w)

    def pump(self, secs):
        end = time.monotonic() + secs
        while (left := end - time.monotonic()) > 0:
            if select.select([self.master], [], [], left)[0]:
                self.out += os.read(self.master, 4096)

    def expect(self, tail):
        end = time.monotonic() + 5
        while tail not in self.out:
            if time.monotonic() > end:
                raise Fail("waited for %r, output so far %r" % (tail, self.out))
            self.pump(0.05)

    def running(self):
        if self.status is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            self.status = status if pid else None
        return self.status is None

    def finish(self, key=None):
        """Press key (if any) and wait for the exit status."""
        if key is not None:
            os.write(self.master, key)
        end = time.monotonic() + 5
        while self.running():
            if time.monotonic() > end:
                raise Fail("still running, output %r" % self.out)
            self.pump(0.02)
        self.pump(0.05)
        if termios.tcgetattr(self.slave) != self.before:
            raise Fail("terminal settings not restored")
        return self.status

    def pending(self):
        """Bytes left unread in the terminal's input queue."""
        attrs = termios.tcgetattr(self.slave)
        attrs[3] &= ~(termios.ICANON | termios.ECHO)
        attrs[6][termios.VMIN], attrs[6][termios.VTIME] = 1, 0
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        got = b""
        while select.select([self.slave], [], [], 0.2)[0]:
            got += os.read(self.slave, 4096)
        return got

    def cleanup(self):
        if self.running():  # only ever our own child
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.master)
        os.close(self.slave)


def dialog(exe, days=b"10", first_end=b"\r"):
    run = Run(exe)
    run.expect(PROMPT1)
    run.pump(0.2)
    if PROMPT2 in run.out:
        raise Fail("asked for the days before the length was typed")
    os.write(run.master, b"1000" + first_end)
    run.expect(PROMPT2)
    os.write(run.master, days + b"\r")
    run.expect(D1750 if days == b"10" else N2500)
    return run


def still_waiting(run):
    run.pump(0.5)
    if not run.running():
        raise Fail("wait ended without a key, output %r" % run.out)


def exit_ok(run, key):
    status = run.finish(key)
    if not (os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0):
        raise Fail("status %#x" % status)


def test_full_session(exe):
    run = dialog(exe, first_end=b"\n")
    still_waiting(run)  # the line end after the days is not the key
    exit_ok(run, b"q")
    want = PROMPT1 + b"1000\r\n" + PROMPT2 + b"10\r\n" + D1750
    if run.out != want:
        raise Fail("output %r (key echoed or report mangled?)" % run.out)


def test_typeahead_discarded(exe):
    run = Run(exe)
    run.expect(PROMPT1)
    os.write(run.master, b"1000\r10\rX")
    run.expect(D1750)
    still_waiting(run)
    exit_ok(run, b"k")


def test_piped_stdin_still_waits_at_terminal(exe):
    run = Run(exe, stdin_data=b"1000\n10\n")
    run.expect(D1750)
    still_waiting(run)
    exit_ok(run, b" ")
    if run.out != PROMPT1 + PROMPT2 + D1750:
        raise Fail("output %r" % run.out)


def test_prompt_shown_before_input(exe):
    # standard output a pipe (as in fare | tee log): only a flush shows the prompt before the read
    run = Run(["/bin/sh", "-c", '"$0" "$@" | cat', *exe])
    run.expect(PROMPT1)
    os.write(run.master, b"1000\r10\r")
    run.expect(D1750)
    exit_ok(run, b"q")


def test_stdout_closed(exe):
    # nowhere to write the report: the complaint comes before the wait, and the terminal does not
    # stand in for standard output
    run = Run(["/bin/sh", "-c", 'exec "$0" "$@" >&-', *exe], stdin_data=b"1000\n10\n")
    run.expect(b"\r\n")
    still_waiting(run)
    status = run.finish(b"k")
    if not run.out.startswith(b"error") or os.waitstatus_to_exitcode(status) != 1:
        raise Fail("status %#x, output %r" % (status, run.out))


def test_stop_nobody_could_continue(exe):
    # fare leads its own session here, as when a terminal window starts it: its stop is dropped
    run = dialog(exe)
    os.kill(run.pid, signal.SIGTSTP)
    still_waiting(run)
    if os.waitpid(run.pid, os.WNOHANG | os.WUNTRACED)[0]:
        raise Fail("stopped, and nobody can continue it")
    exit_ok(run, b"k")  # the key mode is back: no Enter needed


class Busy(Exception):
    """The machine stretched a split key's gap past the key's wait: the case proves nothing."""


def key_case(key):
    chunks = key if isinstance(key, tuple) else (key,)

    def test(exe):
        run = dialog(exe, days=b"5")
        report_end = len(run.out)
        for chunk in chunks[:-1]:  # a slow link splits the key: its rest comes 50 ms later
            sent = time.monotonic()
            os.write(run.master, chunk)
            time.sleep(0.05)
            if time.monotonic() - sent > 0.09:
                raise Busy()
        exit_ok(run, chunks[-1])
        if run.out[report_end:]:
            raise Fail("printed %r after the report" % run.out[report_end:])
        if left := run.pending():
            raise Fail("left %r pending on the terminal" % left)
    test.__name__ = "key %r" % b"|".join(chunks)
    return test


def signal_case(sig):
    def test(exe):
        run = dialog(exe)
        run.pump(0.2)
        os.kill(run.pid, sig)
        status = run.finish()
        if not (os.WIFSIGNALED(status) and os.WTERMSIG(status) == sig):
            raise Fail("status %#x, wanted death by signal %d" % (status, sig))
    test.__name__ = "signal %s" % signal.strsignal(sig)
    return test


KEYS = [b"q", b"\r", b"\x1b", b"\x1b[A", "ñ".encode(), b"\x1bOP", b"\x1b[15~",
        b"\x03", b"\x1a", b"\x1c", b"\x13", b"\x04",
        (b"\x1b", b"[A"), (b"\x1b[1", b"5~"), (b"\x1b", b"x"), (b"\xc3", b"\xb1"), (b"\xe2\x82", b"\xac")]
SIGNALS = [signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGIO, signal.SIGPWR,
           signal.SIGXCPU, signal.SIGSYS, signal.SIGABRT, signal.SIGSEGV, signal.SIGBUS, signal.SIGRTMIN + 3]
TESTS = ([test_full_session, test_typeahead_discarded, test_piped_stdin_still_waits_at_terminal,
          test_prompt_shown_before_input, test_stdout_closed, test_stop_nobody_could_continue]
         + [key_case(k) for k in KEYS] + [signal_case(s) for s in SIGNALS])


def on_alarm(*_):
    raise Fail("overall time limit")


def main():
    exe = sys.argv[1:-1] + [os.path.abspath(sys.argv[-1])]  # the emulator first, if any
    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(150)
    failed = 0
    for test in TESTS:
        for attempt in range(3):
            try:
                test(exe)
            except Busy:
                if attempt < 2:
                    continue
                failed += 1
                print("FAIL %s: the machine too busy to keep a 50 ms gap" % test.__name__)
            except Fail as e:
                failed += 1
                print("FAIL %s: %s" % (test.__name__, e))
            finally:
                Run.current.cleanup()
            break
    print("%d passed, %d failed" % (len(TESTS) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
