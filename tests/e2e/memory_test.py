"""Numbers of any length are read in constant memory and still correctly
rounded: the long dialogues of the table, their runs 100 MB long, piped into
fare, whose report must be exact and whose peak memory must stay under 4 MiB.

usage: python3 memory_test.py TOOL... /path/to/fare   (/usr/bin/time -f %M: a
tool that ends standard error with a line of the peak memory in KiB)
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
        run = launch.piped(command, table.typed(row, RUN_LENGTH), seconds=300)
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
