"""How the checks start the program under test and watch what it does:
through pipes with no terminal (piped), or on a fresh pseudo-terminal
(Terminal, start) leading a session of its own or as a job of the shell that
as_shell plays; how they wait (until) and retry a step the machine was too
busy for (Again, retry); the one failure they report (Fail); the programs
they need (tool)."""
import ctypes
import os
import pickle
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time
import traceback

import pytest

import dialogues

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CHECK = None  # the CTest check being run (--check), if any


def is_windows(command):
    return command[-1].endswith(".exe")


# A build command in a user's text: a build tool that starts a code line (indented, or after a
# prompt), a line where nothing or an option follows it, or `code`; not "make" in a sentence.
TOOL = rb"(?:cmake|cpack|ctest|make|ninja|g\+\+|gcc|apt|apt-get|dpkg|sudo|[\w-]*mingw[\w+-]*)(?![\w+-])"
BUILD_COMMAND = (rb"(?m)^(?: {4,}|\t)(?:[$>] *)?" + TOOL + rb"|^ *[$>] *" + TOOL +
                 rb"|^[ \t]*" + TOOL + rb"(?=[ \t]+-|[ \t]*\r?$)|`" + TOOL)


WINDOWS_README_FAULTS = {"a line without CR LF": rb"(?<!\r)\n|[^\n]\Z", "a build command": BUILD_COMMAND,
                         "a variable left unreplaced": rb"@[A-Z_]+@"}


def windows_readme_fault(text):
    """What a Windows user's README.txt holds that it must not, and where, if anything."""
    return next(("%s: %r" % (what, found[0]) for what, pattern in WINDOWS_README_FAULTS.items()
                 if (found := re.search(pattern, text))), None)


def answer(terminal, trip=dialogues.TRIP, first_end=b"\r", ahead=b"", shown=lambda raw: raw, seconds=20):
    """Types the trip's two numbers at their prompts, each only once asked, the first line ended as
    given, the second by Enter and what is typed ahead; then waits for the report's last line."""
    length, days = trip.typed.split()
    prompts = dialogues.PROMPTS.split(b"\n")
    terminal.expect("the first prompt", prompts[0], shown, seconds)
    terminal.type(length + first_end)
    terminal.expect("the second prompt", prompts[1], shown, seconds)
    terminal.type(days + b"\r" + ahead)
    terminal.expect("the report", trip.report.split(b"\n")[-1].strip(), shown, seconds)


def tool(name):
    """The path of a program that tests/tools.txt lists for this check
    (CHECK, which conftest.py sets from --check), or a skip that names its
    Debian package."""
    with open(os.path.join(SOURCE, "tests", "tools.txt"), encoding="utf-8") as table:
        rows = [line.split() for line in table if line.strip() and not line.startswith("#")]
    packages = {program: package for check, program, package in rows if CHECK in (None, check)}
    if name not in packages:
        raise Fail("tests/tools.txt", "lists no %s for the check %s" % (name, CHECK))
    return shutil.which(name) or pytest.skip("needs %s (Debian package %s), not found" % (name, packages[name]))


class Fail(AssertionError):
    """The failure of a check: Fail(step, seen), the step it failed at and
    what it saw there."""

    def __str__(self):
        return "%s: %s" % self.args


class Again(Fail):
    """The machine was too slow for what the check needs (a key's bytes a
    moment apart, say): this try proves nothing either way, and retry()
    tries again."""


class Over(Exception):  # what was waited for can no longer come: the process has ended
    pass


class Ended(Fail):  # the Fail of a wait that Over cut short
    pass


def until(step, ready, seen, seconds=20):
    """ready()'s first true value, asked every few milliseconds; a Fail
    naming the step and seen() after the given seconds, or once ready()
    raises Over."""
    deadline = time.monotonic() + seconds
    try:
        while not (result := ready()):
            if time.monotonic() > deadline:
                raise Fail(step, "nothing after %g s; %s" % (seconds, seen()))
            time.sleep(0.005)
    except Over:
        raise Ended(step, "it ended meanwhile; %s" % seen()) from None
    return result


def retry(check, tries=5):
    """check(), tried again while it says Again, up to tries times."""
    for attempt in range(tries):
        try:
            return check()
        except Again as last:
            if attempt + 1 == tries:
                raise Fail("every try", "no try of %d could tell; the last saw %s" % (tries, last)) from None


def signal_name(number):  # SIGTERM, SIGRTMIN+3
    rt = number - signal.SIGRTMIN
    return "SIGRTMIN+%d" % rt if rt >= 0 else signal.Signals(number).name


def piped(command, typed, stdout=subprocess.PIPE, env=None, seconds=60):
    """One run with nothing but pipes (or the given output); hung: returncode None."""
    try:
        return subprocess.run(command, input=typed, stdout=stdout, stderr=subprocess.PIPE,
                              start_new_session=True, timeout=seconds, env=env, check=False)
    except subprocess.TimeoutExpired as hung:
        return subprocess.CompletedProcess(command, None, hung.stdout or b"", b"<hung>")


def same_run(step, run, status, out, err=b""):
    """The one comparison of a run with what it should have done (out None:
    its output went elsewhere)."""
    if (run.returncode, run.stdout, run.stderr) != (status, out, err):
        tail = lambda output: output if output is None else output[-300:]  # noqa: E731
        raise Fail(step, "status %s, wanted %s\n  stderr %r\n  wanted %r\n  stdout %r\n  wanted %r"
                   % (run.returncode, status, tail(run.stderr), tail(err), tail(run.stdout), tail(out)))


class Terminal:
    """A fresh pseudo-terminal: what fare shows, what is typed at it, and
    its settings. Its slave side stays open here, so that the settings and
    unread input can be checked after fare has ended."""

    def __init__(self, change=None):
        self.master, self.slave = os.openpty()
        if change:
            settings = termios.tcgetattr(self.slave)
            change(settings)
            termios.tcsetattr(self.slave, termios.TCSANOW, settings)
        self.before = termios.tcgetattr(self.slave)
        self.shown = b""
        self.paste, self.paste_stops = None, False
        self.longest_pause = 0.0  # in a paste, between two pieces the terminal took
        self.paste_seconds = 0.0  # from its first piece to its last

    def close(self):
        if self.paste:  # stopped, lest it type into the next terminal given these numbers
            self.paste_stops = True
            self.left_for_shell()
        if self.master is not None:
            os.close(self.master)
        os.close(self.slave)

    def hang_up(self):  # as when its window is closed
        os.close(self.master)
        self.master = None

    def make_controlling(self):  # for a session leader with none: opening it makes it its terminal
        os.close(os.open(os.ttyname(self.slave), os.O_RDWR))

    def read(self, seconds):  # what the screen shows within the seconds
        while select.select([self.master], [], [], seconds)[0]:
            self.shown += os.read(self.master, 65536)
            seconds = 0

    def expect(self, step, text, shown=lambda raw: raw, seconds=20):  # text in shown(screen)
        def ready():
            self.read(0.01)
            return text in shown(self.shown)
        until(step, ready, lambda: "shown %r" % self.shown, seconds)

    def type(self, keys, pace=None):
        """Types keys; a paste longer than the terminal takes at once goes on
        in the background, as fast as it is read or a KiB every pace seconds,
        and notes its longest pause: a busy machine may pause it long enough
        to end a burst."""
        if len(keys) <= 1024 and not pace:
            os.write(self.master, keys)
            return

        def paste():
            first = last = time.monotonic()
            piece = 1024 if pace else 4096
            for start in range(0, len(keys), piece):
                if self.paste_stops:
                    return
                if pace and start:
                    time.sleep(pace)
                os.write(self.master, keys[start:start + piece])
                self.longest_pause = max(self.longest_pause, time.monotonic() - last)
                last = time.monotonic()
            self.paste_seconds = last - first
        self.paste = threading.Thread(target=paste, daemon=True)
        self.paste.start()

    def settings(self):
        return termios.tcgetattr(self.slave)

    def echo_off(self):
        return not self.settings()[3] & termios.ECHO

    def check_as_before(self, step):
        if (now := self.settings()) != self.before:
            raise Fail(step, "terminal settings %r, before %r" % (now, self.before))

    def left_for_shell(self):
        """The input unread, which the shell would read next, whole lines or
        not, up to the end of a paste."""
        settings = self.settings()
        settings[3] &= ~(termios.ICANON | termios.ECHO)
        settings[6][termios.VMIN], settings[6][termios.VTIME] = 1, 0
        termios.tcsetattr(self.slave, termios.TCSANOW, settings)
        left = b""
        while True:
            if select.select([self.slave], [], [], 0.1)[0]:
                left += os.read(self.slave, 65536)
            elif not (self.paste and self.paste.is_alive()):
                return left


def as_shell(body, terminal):
    """Runs body(terminal) where a shell runs: in a process leading a new
    session on the terminal, ignoring SIGTTOU to take the terminal back from
    its jobs. Returns what body returns, or raises the failure it raised."""
    reader, writer = os.pipe()
    sys.stdout.flush()
    if pid := os.fork():
        os.close(writer)
        with os.fdopen(reader, "rb") as said:
            told = said.read()
        os.waitpid(pid, 0)
        if not told:
            raise Fail("the shell", "ended without a word")
        if isinstance(outcome := pickle.loads(told), AssertionError):
            raise outcome
        return outcome
    try:
        os.close(reader)
        os.setsid()
        terminal.make_controlling()
        signal.signal(signal.SIGTTOU, signal.SIG_IGN)
        try:
            outcome = body(terminal)
        except AssertionError as raised:  # Fail, Again, or a plain assert's
            outcome = raised
        with os.fdopen(writer, "wb") as out:
            pickle.dump(outcome, out)
    except BaseException:  # noqa: B036 -- the child must never return
        traceback.print_exc()
    finally:
        sys.stdout.flush()
        os._exit(0)


def start(command, terminal, job=None, stdin=None, stdout=None, stderr=None,
          ignore=(), block=(), close=(), group=0):
    """fare on the terminal: with job None leading a session of its own; with job "foreground" or
    "background" in a process group of its own (or the group given), a job of the shell that as_shell()
    plays. Standard input is the terminal, or bytes from a file; standard output and error the
    terminal or a file. Every signal at its default but those to ignore or block; descriptors to
    close are closed."""
    typed = None
    if isinstance(stdin, bytes):
        typed = tempfile.TemporaryFile()  # noqa: SIM115 -- closed once the child has it
        typed.write(stdin)
        typed.seek(0)

    def set_up():  # in the child, after its standard streams are in place
        if job is None:
            terminal.make_controlling()
        else:
            os.setpgid(0, group)
            if job == "foreground":
                os.tcsetpgrp(terminal.slave, os.getpgrp())
        for number in signal.valid_signals() - {signal.SIGKILL, signal.SIGSTOP}:
            signal.signal(number, signal.SIG_IGN if number in ignore else signal.SIG_DFL)
        signal.pthread_sigmask(signal.SIG_SETMASK, block)
        for fd in close:
            os.close(fd)

    on_terminal = lambda stream: terminal.slave if stream is None else stream
    process = subprocess.Popen(command, stdin=on_terminal(typed or stdin), stdout=on_terminal(stdout),
                               stderr=on_terminal(stderr), start_new_session=job is None,
                               preexec_fn=set_up, cwd=tempfile.gettempdir())
    if typed:
        typed.close()
    return Fare(process.pid, terminal, process)


def adopt_orphans(adopt=True):
    """Makes this process the one that orphans of its descendants are given
    to, so that it can wait for a job whose shell has gone; or no longer."""
    if ctypes.CDLL(None, use_errno=True).prctl(36, int(adopt), 0, 0, 0) != 0:  # PR_SET_CHILD_SUBREAPER
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


class Fare:
    """A started fare (or one adopted), what the system says of it, and how
    it ended."""

    def __init__(self, pid, terminal, process=None):
        self.pid, self.terminal, self.process = pid, terminal, process
        self.ended = self.cpu_seconds = None

    def __enter__(self):
        return self

    def __exit__(self, *_):
        """Whatever happened, nothing of it outlives the check."""
        if self.ended is None:
            os.killpg(os.getpgid(self.pid), signal.SIGKILL)
            os.waitpid(self.pid, 0)
            self.ended = "killed"
        if self.process:
            self.process.returncode = 0  # reaped here, not by subprocess

    def state_change(self):
        """The next stop or end, if there is one, as "stopped SIGTSTP",
        "exited 0" or "ended SIGTERM"."""
        pid, status, usage = os.wait4(self.pid, os.WNOHANG | os.WUNTRACED)
        if not pid:
            return None
        if os.WIFSTOPPED(status):
            return "stopped " + signal_name(os.WSTOPSIG(status))
        self.cpu_seconds = usage.ru_utime + usage.ru_stime
        if os.WIFSIGNALED(status):
            self.ended = "ended " + signal_name(os.WTERMSIG(status))
        else:
            self.ended = "exited %d" % os.WEXITSTATUS(status)
        return self.ended

    def expect_state(self, step, wanted):
        if (got := until(step, self.state_change, self.describe)) != wanted:
            raise Fail(step, "%s, wanted %s; %s" % (got, wanted, self.describe()))

    def asleep(self, step, where="", reads=0):
        """Waits until fare sleeps (in a kernel function named with where),
        every signal sent to it handled, after more reads than given."""
        until(step, lambda: self.sleeps_in(where, reads=reads), self.describe)

    def keeps_waiting(self, step, wakes=4, seconds=4.0):
        """Waits while fare, waiting for the key, wakes the given times by its
        own clock (to look whether it still has the foreground): it must
        neither end meanwhile nor sleep through them for the seconds given."""
        first = int(self.live_facts()["voluntary_ctxt_switches"])
        until(step, lambda: int(self.live_facts()["voluntary_ctxt_switches"]) >= first + wakes,
              self.describe, seconds)

    def terminal_flags(self):
        """The file status flags of the descriptor fare opened on the terminal."""
        tty = os.ttyname(self.terminal.slave)
        for fd in os.listdir("/proc/%d/fd" % self.pid):
            if int(fd) > 2 and os.readlink("/proc/%d/fd/%s" % (self.pid, fd)) in (tty, "/dev/tty"):
                with open("/proc/%d/fdinfo/%s" % (self.pid, fd)) as info:
                    return int(dict(line.split(":", 1) for line in info)["flags"], 8)
        raise Fail("the terminal's descriptor", "none open on %s; %s" % (tty, self.describe()))

    def waiting_for_key(self, step, reads=0):
        """Waits until fare waits for the key (or for the rest of one, once it
        has made more reads than given): the terminal in key mode (echo off),
        fare asleep in its poll with nothing to read, every signal sent handled
        and ending ones let in, which tells this wait from the drain of a burst
        after the key. From then on a key typed is kept."""
        until(step, lambda: self.sleeps_in("poll", signal.SIGTERM, reads) and self.terminal.echo_off(),
              self.describe)

    def catches(self, number):
        return int(self.facts()["SigCgt"], 16) >> (number - 1) & 1

    def bytes_read_in_all(self, step):
        """Once fare has ended, not yet reaped: how many bytes it read."""
        return until(step, lambda: self.facts()["State"].startswith("Z") and self.facts()["rchar"],
                     self.describe)

    def facts(self):  # the process's status, its reads, and where it sleeps
        with open("/proc/%d/status" % self.pid) as status, open("/proc/%d/io" % self.pid) as io, \
                open("/proc/%d/wchan" % self.pid) as wchan:
            facts = {key: value.strip() for key, value in (line.split(":", 1) for line in status)}
            facts.update((key, int(value)) for key, value in (line.split(":") for line in io))
            facts["wchan"] = wchan.read().strip()
        return facts

    def sleeps_in(self, where, let_in=None, reads=0):  # as asleep() waits for; the signal let_in not blocked
        facts = self.live_facts()
        return (facts["State"].startswith("S") and where in facts["wchan"]
                and int(facts["SigPnd"], 16) == int(facts["ShdPnd"], 16) == 0
                and not (let_in and int(facts["SigBlk"], 16) >> (let_in - 1) & 1)
                and facts["syscr"] > reads)

    def live_facts(self):  # Over once it has ended
        try:
            facts = self.facts()
        except OSError as error:  # reaped
            raise Over() from error
        if facts["State"].startswith("Z"):
            raise Over()
        return facts

    def describe(self):
        """What the system knows of the process, for a failure's message."""
        try:
            facts = "; ".join("%s %s" % (key, value) for key, value in self.facts().items()
                              if key in ("State", "SigPnd", "ShdPnd", "SigBlk", "SigIgn", "SigCgt", "wchan",
                                         "voluntary_ctxt_switches"))
        except OSError as error:
            facts = str(error)
        if self.terminal is None:
            return facts
        return "%s; echo %s; shown %r" % (facts, "off" if self.terminal.echo_off() else "on",
                                         self.terminal.shown[-200:])
