"""fare as a job of an interactive shell: in the background, stopped,
continued, killed.

The test plays the shell: it leads a session on a fresh pseudo-terminal,
runs `fare < trip > out` in a process group of its own, in the foreground or
the background, and steps through each scenario as a user at that shell
would. Each step waits for what fare has done, never for a sign before it.
"""
import os
import signal
import subprocess
import tempfile
import termios

import pytest

import dialogues as table
from conftest import Fail, Fare, Terminal, adopt_orphans, as_shell, retry, start, until

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
    # The shell takes the terminal back without a stop, as when the script
    # that started the job has ended: nobody can give it a key. It ends and
    # gives the terminal back, what is typed for the shell left to it.
    ("the shell takes the terminal back", True, ["key mode", "take back", "shell input", "exited 0"]),
    # A program of the job (a pager) sets its own modes during the wait: they
    # are its own, whichever way fare ends.
    ("a program's own modes, a key", True, ["key mode", "own modes", "key", "exited 0"]),
    ("a program's own modes, TSTP, kill %1", True, ["key mode", "own modes", "TSTP", "stopped SIGTSTP", "kill",
                                                    "ended SIGTERM"]),
    # ... and after a stop and fg: what it had set is what fare gives back.
    ("a program's own modes, TSTP, fg, a key", True, ["key mode", "own modes", "TSTP", "stopped SIGTSTP", "fg",
                                                      "key mode", "key", "exited 0"]),
    # Modes that differ from fare's key mode in one thing alone are not its own.
    ("a program's modes but for the interrupt key, a key", True, ["key mode", "own intr", "key", "exited 0"]),
    ("a program's modes but for echo, a key", True, ["key mode", "own echo", "key", "exited 0"]),
    # A shell that edits its command line in a mode of its own: fare gives back
    # what the terminal held when it took it, not what it held at the start,
    # and keeps what the user set while it was stopped.
    ("background at a line-editing prompt, fg, a key", False,
     ["stopped SIGTTOU", "report", "fg", "key mode", "key", "exited 0"], {"line editing": True}),
    ("TSTP, stty -ixon at a line-editing prompt, fg, a key", True,
     ["key mode", "TSTP", "stopped SIGTSTP", "stty -ixon", "fg", "key mode", "key", "exited 0"],
     {"line editing": True}),
    ("background, SIGTTOU ignored", False, ["exited 0", "report", "idle"], {"ignore": {signal.SIGTTOU}}),
    # Continued once, a job that loses the terminal is a shell's: it stops as a
    # background job does, and fg gives it its key; what the user types at
    # once is the shell's.
    ("STOP, fg, the shell takes the terminal back, fg, a key", True,
     ["key mode", "STOP", "stopped SIGSTOP", "fg", "key mode", "take back", "stopped SIGTTOU", "fg", "key mode",
      "key", "exited 0"]),
    ("STOP, fg, the shell takes the terminal back as the user types, kill %1", True,
     ["key mode", "STOP", "stopped SIGSTOP", "fg", "key mode", "take back", "shell input", "stopped SIGTTOU",
      "kill", "ended SIGTERM"]),
    # A setting changed at a prompt that runs in fare's key mode (dash's after
    # SIGSTOP) is kept, and the rest given back.
    ("STOP, stty intr ^X tostop at a prompt in key mode, fg, a key", True,
     ["key mode", "STOP", "stopped SIGSTOP", "stty intr ^X tostop", "fg", "key mode", "key", "exited 0"]),
    # In a group a script's shell leads, the job waits for fg without stopping
    # the group: a shell stopped as it starts a command is no stop to its own.
    ("background in a script's group, fg, a key", False,
     ["waits", "fg", "key mode", "waits", "key", "exited 0"], {"in a script's group": True}),
    ("in a script's group, a key", True, ["key mode", "waits", "key", "exited 0"], {"in a script's group": True}),
]
SHELL_INPUT = b"ls\n"


def line_editor(settings):  # a line editor's modes: no echo, a key at a time
    return [*settings[:3], settings[3] & ~(termios.ICANON | termios.ECHO), *settings[4:]]


def intr_ctrl_x(settings, tostop=0):  # stty intr ^X, and tostop
    return [*settings[:3], settings[3] | tostop,
            *settings[4:6], [b"\x18" if i == termios.VINTR else c for i, c in enumerate(settings[6])]]


def play(command, terminal, foreground, steps, how=None):
    """The steps of a scenario, fare started as how says. With "line editing"
    there, the shell edits its command line in modes of its own at its prompt
    and puts its cooked modes back for a command and on fg, as busybox sh
    does; with "in a script's group", fare joins a group that another
    process leads, as the shell of a script that started it."""
    shell, before, left = os.getpgrp(), terminal.before, b""
    how = dict(how or {})
    edits_lines, cooked = how.pop("line editing", False), before
    script = how.pop("in a script's group", False) and subprocess.Popen(["sleep", "600"], process_group=0)
    if script:
        how["group"] = script.pid

    def set_modes(modes):  # and what the terminal must hold at the next check
        termios.tcsetattr(terminal.slave, termios.TCSANOW, modes)
        terminal.before = termios.tcgetattr(terminal.slave)

    def prompt():
        if edits_lines:
            set_modes(line_editor(cooked))

    if not foreground:
        prompt()
    try:
        with tempfile.TemporaryFile() as out, \
                start(command, terminal, "foreground" if foreground else "background",
                             stdin=TRIP, stdout=out, stderr=out, **how) as fare:
            job = os.getpgid(fare.pid)
            for number, step in enumerate(steps, 1):
                at = "step %d, %s" % (number, step)
                if step.split()[0] in ("stopped", "ended", "exited"):
                    fare.expect_state(at, step)
                    os.tcsetpgrp(terminal.slave, shell)  # the shell takes the terminal back
                    if step != "stopped SIGSTOP":
                        terminal.check_as_before(at)
                        prompt()
                elif step == "report":
                    out.seek(0)
                    if (got := out.read()) != table.PROMPTS + table.report_for(TRIP):
                        raise Fail(at, repr(got))
                elif step == "key mode":
                    fare.waiting_for_key(at)
                elif step == "waits":
                    fare.keeps_waiting(at)
                elif step == "key":
                    terminal.type(b"k")
                elif step == "take back":
                    os.tcsetpgrp(terminal.slave, shell)
                elif step == "shell input":
                    terminal.type(SHELL_INPUT)
                    left = SHELL_INPUT
                elif step in ("TSTP", "STOP"):
                    os.killpg(job, getattr(signal, "SIG" + step))
                elif step == "reset":
                    termios.tcsetattr(terminal.slave, termios.TCSANOW, before)
                elif step == "stty -ixon":  # a command at the prompt
                    cooked = [cooked[0] & ~termios.IXON, *cooked[1:]]
                    set_modes(cooked)
                    prompt()
                elif step == "stty intr ^X tostop":  # at a prompt that runs in fare's key mode
                    termios.tcsetattr(terminal.slave, termios.TCSANOW, intr_ctrl_x(terminal.settings(), termios.TOSTOP))
                    terminal.before = intr_ctrl_x(before, termios.TOSTOP)
                elif step == "own modes":  # another program's, set during the wait
                    set_modes(line_editor(before))
                elif step in ("own intr", "own echo"):  # fare's key mode but for one thing
                    own = termios.tcgetattr(terminal.slave)
                    if step == "own intr":
                        own = intr_ctrl_x(own)
                    else:
                        own[3] |= termios.ECHO
                    set_modes(own)
                elif step == "idle":
                    if fare.cpu_seconds > 0.5:
                        raise Fail(at, "%.2f s of processor time" % fare.cpu_seconds)
                elif step in CONTINUE:
                    if step == "fg":
                        if edits_lines:
                            set_modes(cooked)
                        os.tcsetpgrp(terminal.slave, job)
                    elif step == "kill":
                        os.killpg(job, signal.SIGTERM)
                    os.killpg(job, signal.SIGCONT)
                else:
                    raise Fail(at, "no such step")
        if (got := terminal.left_for_shell()) != left:
            raise Fail("the input after the end", "%r left for the shell, wanted %r" % (got, left))
    finally:  # whatever the job did, the shell's terminal as it was
        if script:
            script.kill()
            script.wait()
        os.tcsetpgrp(terminal.slave, shell)
        termios.tcsetattr(terminal.slave, termios.TCSANOW, before)
        terminal.before = before


def shell_gone(command):
    """A job stopped in the background, SIGHUP ignored, whose shell exits:
    it ends by itself once the system continues it, without spinning."""
    def shell(terminal):
        fare = start(command, terminal, "background", stdin=TRIP, stdout=subprocess.DEVNULL,
                            ignore={signal.SIGHUP})
        fare.expect_state("the job wanting the terminal", "stopped SIGTTOU")
        return fare.pid  # and the shell exits, leaving the job running

    terminal = Terminal()  # kept open: no hang-up ends the job
    try:
        with Fare(as_shell(shell, terminal), None) as fare:
            fare.expect_state("the end once the shell has gone", "exited 0")
            if fare.cpu_seconds > 0.5:
                raise Fail("the end once the shell has gone", "%.2f s of processor time" % fare.cpu_seconds)
    finally:
        terminal.close()


def script_gone(command, how="foreground"):
    """A job in key mode whose script has ended, its group orphaned, when the
    shell takes the terminal back: it ends by itself, the terminal given back.
    So too where its group is no orphan, the shell having adopted it (as the
    first process of a PID namespace does): once continued, or waiting in the
    background in the group that the script's shell led."""
    adopted = how != "foreground"

    def shell(terminal):
        if adopted:
            adopt_orphans()
        reader, writer = os.pipe()
        if os.fork() == 0:  # the script: starts the job and ends
            try:
                if how == "background":
                    os.setpgid(0, 0)
                fare = start(command, terminal, "background" if how == "background" else "foreground",
                             stdin=TRIP, stdout=subprocess.DEVNULL, group=os.getpgrp() if how == "background" else 0)
                os.write(writer, b"%d" % fare.pid)
                fare.asleep("the wait before the script ends", "poll")  # the terminal found, its starter known
            finally:
                os._exit(0)
        os.wait()
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

    if pid := as_shell(shell):
        with Fare(pid, None) as fare:
            fare.expect_state("the end, seen by the one it was given to", "exited 0")


def session_gone(command):
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
            except Fail as failed:
                print(failed)
            finally:
                os._exit(0 if ended else 1)
        os.close(writer)
        os.read(reader, 1)  # the job is looking for the foreground, or the script has ended
        return script

    with Fare(as_shell(shell), None) as script:
        script.expect_state("the script, its job ended", "exited 0")


@pytest.fixture(scope="module", autouse=True)
def orphans():
    adopt_orphans()


@pytest.mark.parametrize("scenario", [pytest.param(scenario, id=scenario[0]) for scenario in SCENARIOS])
def test_job(command, scenario):
    retry(lambda: as_shell(lambda terminal: play(command, terminal, *scenario[1:])))


@pytest.mark.parametrize("gone", [shell_gone, script_gone, lambda command: script_gone(command, "continued"),
                                  lambda command: script_gone(command, "background"), session_gone],
                         ids=["background, SIGHUP ignored, the shell gone",
                              "foreground, its script gone, the terminal taken back",
                              "foreground, continued, its script gone, the shell its new parent",
                              "background in its script's group, the script gone, the shell its new parent",
                              "background in its script's group, the shell gone"])
def test_job_left_alone(command, gone):
    retry(lambda: gone(command))
