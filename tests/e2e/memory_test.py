"""Numbers of any length are read in constant memory and still correctly
rounded: the long dialogues of the table, their runs 100 MB long, streamed
through a pipe into fare, whose report must be exact and whose peak memory
must stay under 4 MiB.

usage: python3 memory_test.py /usr/bin/time -f %M /path/to/fare
(TIME, a tool that adds the peak memory in KiB to standard error, as a line)
"""
import re
import sys

import dialogues as table
import launch
import verdict

LIMIT_KIB = 4096
RUN_LENGTH = 100_000_000


def checks(command):
    def check(row):
        run = launch.streamed(command, lambda stdin: table.stream_typed(row, RUN_LENGTH, stdin))
        if (run.returncode, run.stdout) != (0, table.expected(row)):
            raise verdict.Fail("the report", "status %s, printed %r, stderr %r"
                               % (run.returncode, run.stdout[-200:], run.stderr[-200:]))
        peak = re.fullmatch(rb"(\d+)\n", run.stderr)
        if not peak or int(peak[1]) >= LIMIT_KIB:
            raise verdict.Fail("the peak memory", "%r, not under %d KiB" % (run.stderr, LIMIT_KIB))
        print("%-45s %6s KiB" % (table.label(row), peak[1].decode()), flush=True)

    return [(table.label(row), lambda row=row: check(row))
            for row in table.DIALOGUES if not isinstance(row.typed, bytes)]


if __name__ == "__main__":
    sys.exit(verdict.run(checks(launch.program(sys.argv[1:]))))
