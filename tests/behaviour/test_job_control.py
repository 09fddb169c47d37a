"""fare as a job of an interactive shell: in the background, stopped,
continued, killed.

The test plays the shell: it leads a session on a fresh pseudo-terminal,
runs `fare < trip > out` in a process group of its own, in the foreground or
the background, and steps through each scenario as a user at that shell
would. Each step waits for what fare has done, never for a sign before it.
Steps are functions of the job, so that a scenario naming one that does not
exist fails as it is collected.
"""
import os
import signal
import subprocess
import tempfile
import termios
from dataclasses import dataclass, field

import pytest

import dialogues as table
from launch import Fail, Fare, adopt_orphans, as_shell, retry, start, until

TRIP = table.TRIP.typed


def line_editor(settings):  # a line editor's modes: no echo, a key at a time
    return [*settings[:3], settings[3] & ~(termios.ICANON | termios.ECHO), *settings[4:]]


def intr_ctrl_x(settings, tostop=0):  # stty intr ^X, and tostop
    return [*settings[:3], settings[3] | tostop,
            *settings[4:6], [b"\x18" if i == termios.VINTR else c for i, c in enumerate(settings[6])]]


class Job:
    """A scenario's job as its steps see it: fare, its group, terminal and
    output, the shell's group, and what the shell's prompt does to the
    terminal; the step being played, and the input to leave for the shell."""

    def __init__(self, terminal, line_editing):
        self.terminal, self.line_editing = terminal, line_editing
        self.shell, self.before = os.getpgrp(), terminal.before
        self.cooked, self.left, self.at = self.before, b"", ""
        self.fare = self.group = self.out = None

    def set_modes(self, modes):  # and what the terminal must hold at the next check
        termios.tcsetattr(self.terminal.slave, termios.TCSANOW, modes)
        self.terminal.before = termios.tcgetattr(self.terminal.slave)

    def prompt(self):  # a line-editing shell's prompt sets its own modes
        if self.line_editing:
            self.set_modes(line_editor(self.cooked))


def becomes(state):
    """The step that waits until fare is stopped or has ended as said ("stopped SIGTSTP"); the shell
    then takes the terminal back, which holds what it held before, but after SIGSTOP."""
    def step(job):
        job.fare.expect_state(job.at, state)
        os.tcsetpgrp(job.terminal.slave, job.shell)
        if state != "stopped SIGSTOP":
            job.terminal.check_as_before(job.at)
            job.prompt()
    step.__name__ = state
    return step


def sends(name, *numbers):
    """The step that sends the job's group these signals, in turn."""
    def step(job):
        for number in numbers:
            os.killpg(job.group, number)
    step.__name__ = name
    return step


STOPPED_TTOU, STOPPED_TSTP, STOPPED_STOP = (becomes("stopped " + name) for name in ("SIGTTOU", "SIGTSTP", "SIGSTOP"))
EXITED, ENDED_TERM = becomes("exited 0"), becomes("ended SIGTERM")
tstp, stop, bg = sends("tstp", signal.SIGTSTP), sends("stop", signal.SIGSTOP), sends("bg", signal.SIGCONT)
kill = sends("kill", signal.SIGTERM, signal.SIGCONT)  # kill %1: a stopped job is continued to take it


def report(job):
    job.out.seek(0)
    assert job.out.read() == table.expected(table.TRIP), job.at


def key_mode(job):
    job.fare.waiting_for_key(job.at)


def waits(job):
    job.fare.keeps_waiting(job.at)


def key(job):
    job.terminal.type(b"k")


def take_back(job):
    os.tcsetpgrp(job.terminal.slave, job.shell)


def shell_input(job):  # a command typed for the shell, which it must find
    job.left = b"ls\n"
    job.terminal.type(job.left)


def reset(job):  # the shell puts the terminal back as it was before the job
    termios.tcsetattr(job.terminal.slave, termios.TCSANOW, job.before)


def stty_ixon_off(job):  # a command at the prompt
    job.cooked = [job.cooked[0] & ~termios.IXON, *job.cooked[1:]]
    job.set_modes(job.cooked)
    job.prompt()


def stty_intr_x_tostop(job):  # at a prompt that runs in fare's key mode
    termios.tcsetattr(job.terminal.slave, termios.TCSANOW, intr_ctrl_x(job.terminal.settings(), termios.TOSTOP))
    job.terminal.before = intr_ctrl_x(job.before, termios.TOSTOP)


def own_modes(job):  # another program's, set during the wait
    job.set_modes(line_editor(job.before))


def modes_kept(job):  # the terminal still as the job's program set it
    job.terminal.check_as_before(job.at)


def own_intr(job):  # fare's key mode but for one thing
    job.set_modes(intr_ctrl_x(termios.tcgetattr(job.terminal.slave)))


def own_echo(job):
    own = termios.tcgetattr(job.terminal.slave)
    own[3] |= termios.ECHO
    job.set_modes(own)


def idle(job):
    assert job.fare.cpu_seconds < 0.5, "%s: %.2f s of processor time" % (job.at, job.fare.cpu_seconds)


def fg(job):
    if job.line_editing:
        job.set_modes(job.cooked)
    os.tcsetpgrp(job.terminal.slave, job.group)
    bg(job)


@dataclass
class Scenario:
    name: str
    foreground: bool
    steps: list
    ignore: set = field(default_factory=set)
    block: set = field(default_factory=set)
    line_editing: bool = False  # the shell edits its command line in modes of its own, as busybox sh does
    in_scripts_group: bool = False  # fare in a group another process leads, as a script's shell


SCENARIOS = [
    Scenario("background, fg, a key", False, [STOPPED_TTOU, report, fg, key_mode, key, EXITED]),
    Scenario("background, kill %1", False, [STOPPED_TTOU, report, kill, ENDED_TERM]),
    Scenario("TSTP, fg, a key", True, [key_mode, tstp, STOPPED_TSTP, fg, key_mode, key, EXITED]),
    Scenario("TSTP, bg, kill %1", True, [key_mode, tstp, STOPPED_TSTP, bg, STOPPED_TTOU, kill, ENDED_TERM]),
    Scenario("TSTP, fg, TSTP again, fg, a key", True,
             [key_mode, tstp, STOPPED_TSTP, fg, key_mode, tstp, STOPPED_TSTP, fg, key_mode, key, EXITED]),
    # SIGSTOP cannot be caught: the terminal stays in key mode, and the shell
    # resets it, or sets its own modes, as it takes it back.
    Scenario("STOP, the shell resets the terminal, fg, a key", True,
             [key_mode, stop, STOPPED_STOP, reset, fg, key_mode, key, EXITED]),
    Scenario("STOP, the shell's own modes, bg: left alone", True,
             [key_mode, stop, STOPPED_STOP, own_modes, bg, STOPPED_TTOU, kill, ENDED_TERM]),
    # Nobody can bring it to the foreground: it ends without waiting, and
    # without spinning.
    Scenario("background, SIGTTOU blocked", False, [EXITED, report, idle], block={signal.SIGTTOU}),
    Scenario("background, SIGTTOU ignored", False, [EXITED, report, idle], ignore={signal.SIGTTOU}),
    # The shell takes the terminal back without a stop, as when the script
    # that started the job has ended: nobody can give it a key. It ends and
    # gives the terminal back, what is typed for the shell left to it.
    Scenario("the shell takes the terminal back", True, [key_mode, take_back, shell_input, EXITED]),
    # A program of the job (a pager) sets its own modes during the wait: they
    # are its own, whichever way fare ends.
    Scenario("a program's own modes, a key", True, [key_mode, own_modes, key, EXITED]),
    Scenario("a program's own modes, TSTP, kill %1", True, [key_mode, own_modes, tstp, STOPPED_TSTP, kill, ENDED_TERM]),
    # ... and after a stop and fg: what it had set is what fare gives back.
    Scenario("a program's own modes, TSTP, fg, a key", True,
             [key_mode, own_modes, tstp, STOPPED_TSTP, fg, key_mode, key, EXITED]),
    # Modes that differ from fare's key mode in one thing alone are not its own.
    Scenario("a program's modes but for the interrupt key, a key", True, [key_mode, own_intr, key, EXITED]),
    Scenario("a program's modes but for echo, a key", True, [key_mode, own_echo, key, EXITED]),
    # A shell that edits its command line in a mode of its own: fare gives back
    # what the terminal held when it took it, not what it held at the start,
    # and keeps what the user set while it was stopped.
    Scenario("background at a line-editing prompt, fg, a key", False,
             [STOPPED_TTOU, report, fg, key_mode, key, EXITED], line_editing=True),
    Scenario("TSTP, stty -ixon at a line-editing prompt, fg, a key", True,
             [key_mode, tstp, STOPPED_TSTP, stty_ixon_off, fg, key_mode, key, EXITED], line_editing=True),
    # Continued once, a job that loses the terminal is a shell's: it stops as a
    # background job does, and fg gives it its key; what the user types at
    # once is the shell's.
    Scenario("STOP, fg, the shell takes the terminal back, fg, a key", True,
             [key_mode, stop, STOPPED_STOP, fg, key_mode, take_back, STOPPED_TTOU, fg, key_mode, key, EXITED]),
    Scenario("STOP, fg, the shell takes the terminal back as the user types, kill %1", True,
             [key_mode, stop, STOPPED_STOP, fg, key_mode, take_back, shell_input, STOPPED_TTOU, kill, ENDED_TERM]),
    # A setting changed at a prompt that runs in fare's key mode (dash's after
    # SIGSTOP) is kept, and the rest given back.
    Scenario("STOP, stty intr ^X tostop at a prompt in key mode, fg, a key", True,
             [key_mode, stop, STOPPED_STOP, stty_intr_x_tostop, fg, key_mode, key, EXITED]),
    # In a group a script's shell leads, the job waits for fg without stopping
    # the group: a shell stopped as it starts a command is no stop to its own.
    Scenario("background in a script's group, fg, a key", False, [waits, fg, key_mode, waits, key, EXITED],
             in_scripts_group=True),
    # Not its group's leader, it still knows it has the foreground: it takes
    # no terminal back from a program of its job.
    Scenario("in a script's group, a program's own modes, a key", True,
             [key_mode, own_modes, waits, modes_kept, key, EXITED], in_scripts_group=True),
]


def play(command, terminal, scenario):
    """The scenario's steps, fare started as it says, on a terminal of its own."""
    job = Job(terminal, scenario.line_editing)
    script = scenario.in_scripts_group and subprocess.Popen(["sleep", "600"], process_group=0)
    if not scenario.foreground:
        job.prompt()
    try:
        with tempfile.TemporaryFile() as job.out, \
                start(command, terminal, "foreground" if scenario.foreground else "background", stdin=TRIP,
                      stdout=job.out, stderr=job.out, ignore=scenario.ignore, block=scenario.block,
                      group=script.pid if script else 0) as job.fare:
            job.group = os.getpgid(job.fare.pid)
            for number, step in enumerate(scenario.steps, 1):
                job.at = "step %d, %s" % (number, step.__name__.replace("_", " "))
                step(job)
        assert terminal.left_for_shell() == job.left, "the input left for the shell after the end"
    finally:
        if script:
            script.kill()
            script.wait()


def shell_gone(command, terminal):
    """A job stopped in the background, SIGHUP ignored, whose shell exits:
    it ends by itself once the system continues it, without spinning. The
    terminal stays open: no hang-up ends the job."""
    def shell(terminal):
        fare = start(command, terminal, "background", stdin=TRIP, stdout=subprocess.DEVNULL,
                     ignore={signal.SIGHUP})
        fare.expect_state("the job wanting the terminal", "stopped SIGTTOU")
        return fare.pid  # and the shell exits, leaving the job running

    with Fare(as_shell(shell, terminal), None) as fare:
        fare.expect_state("the end once the shell has gone", "exited 0")
        assert fare.cpu_seconds < 0.5, "the end once the shell has gone: %.2f s of processor time" % fare.cpu_seconds


def script_gone(how):
    """A job in key mode whose script has ended, its group orphaned, when the
    shell takes the terminal back: it ends by itself, the terminal given back.
    So too where its group is no orphan, the shell having adopted it (as the
    first process of a PID namespace does): once continued, or waiting in the
    background in the group that the script's shell led."""
    adopted = how != "foreground"

    def gone(command, terminal):
        def shell(terminal):
            if adopted:
                adopt_orphans()
            reader, writer = os.pipe()
            if os.fork() == 0:  # the script: starts the job and ends
                waited = False
                try:
                    if how == "background":
                        os.setpgid(0, 0)
                    fare = start(command, terminal, "background" if how == "background" else "foreground",
                                 stdin=TRIP, stdout=subprocess.DEVNULL,
                                 group=os.getpgrp() if how == "background" else 0)
                    os.write(writer, b"%d" % fare.pid)
                    fare.asleep("the wait before the script ends", "poll")  # the terminal found, its starter known
                    waited = True
                except AssertionError as failed:
                    print(failed)
                finally:
                    os._exit(0 if waited else 1)
            if os.wait()[1]:
                raise Fail("the script", "its job's start failed, as printed")
            fare = Fare(int(os.read(reader, 20) or 0), terminal)
            if how != "background":
                fare.waiting_for_key("the wait, its script gone")
            if how == "continued":
                os.kill(fare.pid, signal.SIGCONT)
                fare.waiting_for_key("the wait after SIGCONT")
            os.tcsetpgrp(terminal.slave, os.getpgrp())
            if adopted:
                with fare:
                    fare.expect_state("the end once the shell has the terminal", "exited 0")
            else:
                until("the end once the shell has the terminal", lambda: fare.facts()["State"].startswith("Z"),
                      fare.describe)
            terminal.check_as_before("the terminal after the end")
            return None if adopted else fare.pid

        if pid := as_shell(shell, terminal):
            with Fare(pid, None) as fare:
                fare.expect_state("the end, seen by the one it was given to", "exited 0")
    return gone


def session_gone(command, terminal):
    """A job in the background of the group that its script leads, whose
    shell exits, the script running on: no foreground is left to wait for."""
    def shell(terminal):
        reader, writer = os.pipe()
        if (script := os.fork()) == 0:  # starts the job and waits for it
            ended = False
            try:
                os.setpgid(0, 0)
                fare = start(command, terminal, "background", stdin=TRIP, stdout=subprocess.DEVNULL,
                             group=os.getpgrp())
                fare.asleep("the job looking for the foreground", "poll")
                os.write(writer, b"+")
                fare.expect_state("the end once the shell has gone", "exited 0")
                ended = True
            except AssertionError as failed:
                print(failed)
            finally:
                os._exit(0 if ended else 1)
        os.close(writer)
        os.read(reader, 1)  # the job is looking for the foreground, or the script has ended
        return script

    with Fare(as_shell(shell, terminal), None) as script:
        script.expect_state("the script, its job ended", "exited 0")


LEFT_ALONE = {
    "background, SIGHUP ignored, the shell gone": shell_gone,
    "foreground, its script gone, the terminal taken back": script_gone("foreground"),
    "foreground, continued, its script gone, the shell its new parent": script_gone("continued"),
    "background in its script's group, the script gone, the shell its new parent": script_gone("background"),
    "background in its script's group, the shell gone": session_gone,
}
pytestmark = pytest.mark.usefixtures("orphans")


@pytest.mark.parametrize("scenario", [pytest.param(scenario, id=scenario.name) for scenario in SCENARIOS])
def test_job(command, new_terminal, scenario):
    retry(lambda: as_shell(lambda terminal: play(command, terminal, scenario), new_terminal()))


@pytest.mark.parametrize("gone", [pytest.param(gone, id=name) for name, gone in LEFT_ALONE.items()])
def test_job_left_alone(command, new_terminal, gone):
    retry(lambda: gone(command, new_terminal()))
