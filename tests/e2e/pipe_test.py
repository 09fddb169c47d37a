"""fare with piped input and no controlling terminal: the dialogue table, arguments, and output that cannot be written.

usage: python3 pipe_test.py [EMULATOR...] /path/to/fare
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from dialogues import D1750, DIALOGUES, PROMPTS, expected, label, typed  # noqa: E402


def run(argv, stdin, stdout=subprocess.PIPE):
    return subprocess.run(argv, input=stdin, stdout=stdout, stderr=subprocess.PIPE,
                          timeout=10, start_new_session=True)


def one_line(err):
    return len(err) > 1 and err.endswith(b"\n") and err.count(b"\n") == 1


def main():
    exe = sys.argv[1:]  # the program, after the emulator that starts it, if any
    checks = []  # (name, ok, detail)
    for dialogue in DIALOGUES:
        r = run(exe, typed(dialogue))
        want = expected(dialogue)
        checks.append((label(dialogue), r.stdout == want and r.returncode == 0 and r.stderr == b"",
                       "status %s stderr %r\n  want %r\n  got  %r" % (r.returncode, r.stderr, want, r.stdout)))
    r = run(exe + ["--help", "-x", "5", "3"], b"1000\n10\n")
    checks.append(("arguments ignored", (r.returncode, r.stdout) == (0, PROMPTS + D1750), r))
    # an unwritable report: status 1 and a one-line complaint
    with open("/dev/full", "wb") as full:
        r = run(exe, b"1000\n10\n", stdout=full)
    checks.append(("stdout /dev/full", r.returncode == 1 and one_line(r.stderr), r))
    r = run(["sh", "-c", 'exec "$@" >&-', "sh"] + exe, b"1000\n7\n")
    checks.append(("stdout closed", r.returncode == 1 and one_line(r.stderr), r))
    reader, writer = os.pipe()
    os.close(reader)  # a reader that went away: the report is lost, not the status
    r = run(exe, b"1000\n10\n", stdout=writer)
    os.close(writer)
    checks.append(("stdout a pipe with no reader", r.returncode == 1 and one_line(r.stderr), r))
    failed = [c for c in checks if not c[1]]
    for name, _, detail in failed:
        print("FAIL %s %s" % (name, detail))
    print("%d passed, %d failed" % (len(checks) - len(failed), len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
