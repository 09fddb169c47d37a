"""How the end-to-end checks wait, count and report.

A check is a name and a function that raises Fail at the step where it went
wrong, with what it saw there. run() prints each failure as
"FAIL name: step: seen" and closes with "N passed, N failed". With FARE_CHECK
set to a check's name in the environment, only that check runs.
"""
import os
import time
import traceback


class Seen(Exception):
    """What a check saw at a step."""

    def __init__(self, step, seen):
        super().__init__(step, seen)

    def __str__(self):
        return "%s: %s" % self.args


class Fail(Seen):
    """The program did something wrong."""


class Again(Seen):
    """The machine was too slow for what the check needs (a key's bytes a
    moment apart, say): this try proves nothing either way."""


class Over(Exception):
    """What was waited for can no longer come: the process has ended."""


class Ended(Fail):
    """The Fail of a wait that Over cut short."""


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


def run(checks, tries=5):
    """Runs each (name, check), a check that says Again up to tries times;
    prints the failures and the closing line, and returns the exit status. A
    check that raises anything else has failed too, with its traceback."""
    if only := os.environ.get("FARE_CHECK"):
        checks = [(name, check) for name, check in checks if name == only]
        if not checks:
            print("FAIL: no check is named %r" % only, flush=True)
            return 1
    failed = 0
    for name, check in checks:
        for attempt in range(tries):
            try:
                check()
            except Again as last:
                if attempt + 1 < tries:
                    continue
                failed += 1
                print("FAIL %s: no try of %d could tell; the last saw %s" % (name, tries, last), flush=True)
            except Fail as failure:
                failed += 1
                print("FAIL %s: %s" % (name, failure), flush=True)
            except Exception:  # noqa: BLE001 -- the next checks still run
                failed += 1
                print("FAIL %s: %s" % (name, traceback.format_exc()), flush=True)
            break
    print("%d passed, %d failed" % (len(checks) - failed, failed), flush=True)
    return 1 if failed else 0
