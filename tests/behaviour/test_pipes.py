"""fare with piped input and no controlling terminal: the dialogue table,
arguments, and output that cannot be written (a Windows program's with
Windows line ends); marked valgrind, the dialogues marked for it under
valgrind, one for each way through the program (valgrind is slow)."""
import fcntl
import os
import subprocess

import pytest

import dialogues as table
from launch import Fare, is_windows, piped, same_run, tool

ROWS = [pytest.param(row, id=table.label(row)) for row in table.DIALOGUES]


@pytest.fixture(scope="module")
def ends(command):
    """What the program writes for text: a Windows program with CR LF."""
    return table.crlf if is_windows(command) else lambda text: text


@pytest.mark.parametrize("row", ROWS)
def test_dialogue(command, ends, row):
    same_run("the report", piped(command, table.typed(row)), 0, ends(table.expected(row)))


@pytest.mark.valgrind
@pytest.mark.parametrize("row", [row for row in ROWS if row.values[0].valgrind])
def test_dialogue_under_valgrind(command, row):
    valgrind = [tool("valgrind"), "-q", "--error-exitcode=1", "--leak-check=full", "--errors-for-leak-kinds=all"]
    same_run("the report", piped(valgrind + command, table.typed(row)), 0, table.expected(row))


def test_arguments_ignored(command, ends):
    same_run("the report", piped(command + ["--help", "-x", "5", "3"], table.TRIP.typed), 0,
             ends(table.expected(table.TRIP)))


@pytest.mark.parametrize("how", ["full", "closed", "a pipe with no reader", "non-blocking, full at the first prompt"])
def test_stdout_unwritable(command, ends, how):
    """The report lost, or one prompt lost: status 1 and a word on stderr."""
    if how == "full":
        with open("/dev/full", "wb") as full:
            run = piped(command, table.TRIP.typed, stdout=full)
    elif how == "closed":
        run = piped(["sh", "-c", 'exec "$@" >&-', "sh"] + command, table.UNDISCOUNTED_TRIP.typed, stdout=None)
    elif how == "a pipe with no reader":  # the report is lost, not the status
        reader, writer = os.pipe()
        os.close(reader)
        run = piped(command, table.TRIP.typed, stdout=writer)
        os.close(writer)
    elif is_windows(command):
        pytest.skip("what fare does while it reads (asleep in a pipe) shows only on Linux")
    else:
        run = first_prompt_refused(command)
    same_run("the failure", run, 1, None, ends(table.WRITE_ERROR))


def first_prompt_refused(command):
    """A run whose first prompt finds its non-blocking pipe full, emptied
    before the second: one prompt lost is a report not written."""
    reader, writer = os.pipe()
    os.set_blocking(writer, False)
    size = fcntl.fcntl(writer, fcntl.F_GETPIPE_SZ)
    os.write(writer, bytes(size))
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=writer, stderr=subprocess.PIPE)
    os.close(writer)
    try:
        Fare(process.pid, None).asleep("the read of the length", "pipe_read")
        os.read(reader, size)  # one read takes all that the pipe holds
        error = process.communicate(table.TRIP.typed, timeout=60)[1]
        return subprocess.CompletedProcess(command, process.returncode, None, error)
    finally:
        process.kill()
        os.close(reader)
