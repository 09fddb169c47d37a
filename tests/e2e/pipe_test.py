"""fare with piped input and no controlling terminal: the dialogue table,
arguments, and output that cannot be written. The Windows runs take the same
checks, with Windows line ends.

usage: python3 pipe_test.py [--valgrind] [TOOL...] [EMULATOR...] /path/to/fare

--valgrind: only the dialogues marked for valgrind, which the command starts
with, one for each way through the program (valgrind is slow).
"""
import contextlib
import os
import subprocess
import sys

import dialogues as table
import launch
import verdict


def same_run(step, run, status, out, err):
    if (run.returncode, run.stdout, run.stderr) != (status, out, err):
        raise verdict.Fail(step, "status %s, stderr %r\n  want %r\n  got  %r"
                           % (run.returncode, run.stderr, out, run.stdout))


def checks(command, windows=False, rows=table.DIALOGUES):
    """(name, check) for every dialogue of the table (or the rows given) and
    for each way the report can fail to be written."""
    ends = table.crlf if windows else (lambda text: text)
    lost = (1, None, ends(table.WRITE_ERROR))  # the output went elsewhere

    def dialogue(row, arguments=()):
        return lambda: same_run("the report", launch.piped(command + list(arguments), table.typed(row)),
                                0, ends(table.expected(row)), b"")

    def unwritable(how):
        def check():
            if how == "full":
                with open("/dev/full", "wb") as full:
                    run = launch.piped(command, b"1000\n10\n", stdout=full)
            elif how == "closed":
                run = launch.piped(["sh", "-c", 'exec "$@" >&-', "sh"] + command, b"1000\n7\n", stdout=None)
            elif how == "refused":
                run = first_prompt_refused(command)
            else:  # a reader that went away: the report is lost, not the status
                reader, writer = os.pipe()
                os.close(reader)
                run = launch.piped(command, b"1000\n10\n", stdout=writer)
                os.close(writer)
            same_run("the failure", run, *lost)
        return check

    first = table.DIALOGUES[0]
    return ([(table.label(row), dialogue(row)) for row in rows]
            + [("arguments ignored", dialogue(first, ["--help", "-x", "5", "3"]))]
            + [("stdout " + how, unwritable(how)) for how in ("full", "closed", "a pipe with no reader")]
            # What fare does while it reads (asleep in a pipe) shows only on Linux.
            + [("stdout non-blocking, full at the first prompt", unwritable("refused"))] * (not windows))


def first_prompt_refused(command):
    """A run whose first prompt finds its non-blocking pipe full, emptied
    before the second: one prompt lost is a report not written."""
    reader, writer = os.pipe()
    os.set_blocking(writer, False)
    with contextlib.suppress(BlockingIOError):
        while True:
            os.write(writer, bytes(65536))
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=writer, stderr=subprocess.PIPE)
    os.close(writer)
    try:
        launch.Fare(process.pid, None).asleep("the read of the length", "pipe_read")
        os.set_blocking(reader, False)
        with contextlib.suppress(BlockingIOError):
            while os.read(reader, 65536):
                pass
        error = process.communicate(b"1000\n10\n", timeout=60)[1]
        return subprocess.CompletedProcess(command, process.returncode, None, error)
    finally:
        process.kill()
        os.close(reader)


if __name__ == "__main__":
    if sys.argv[1] == "--valgrind":
        rows = [row for row in table.DIALOGUES if row.valgrind]
        sys.exit(verdict.run(checks(launch.program(sys.argv[2:]), rows=rows)))
    sys.exit(verdict.run(checks(launch.program(sys.argv[1:]))))
