"""Numbers of any length are read in constant memory and still correctly
rounded: the table's long dialogues, their runs 100 MB long, piped into fare
under /usr/bin/time: an exact report, the peak memory under 4 MiB."""
import re

import pytest

import dialogues as table
from launch import Fail, piped, same_run, tool

LIMIT_KIB = 4096
RUN_LENGTH = 100_000_000


@pytest.mark.parametrize("row", [pytest.param(row, id=table.label(row))
                                 for row in table.DIALOGUES if not isinstance(row.typed, bytes)])
def test_long_dialogue(command, row):
    run = piped([tool("time"), "-f", "%M"] + command, table.typed(row, RUN_LENGTH), seconds=300)
    peak = re.fullmatch(rb"(\d+)\n", run.stderr)
    if not peak or int(peak[1]) >= LIMIT_KIB:
        raise Fail("the peak memory", "%r, not under %d KiB" % (run.stderr, LIMIT_KIB))
    same_run("the report", run, 0, table.expected(row), run.stderr)
