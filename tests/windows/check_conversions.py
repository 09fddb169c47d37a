#!/usr/bin/env python3
"""Fails when the program's own code calls the system C library's number
conversions (printf and scanf families, strtod, atof) instead of MinGW-w64's
exact ones, or calls none of MinGW-w64's. Wine's C library is not the one
Windows ships, so a test run under wine cannot show this; the symbols the
objects need can.

Usage: check_conversions.py NM BITS OBJECT_OR_ARCHIVE...
"""
import re
import subprocess
import sys

FORBIDDEN = re.compile(r"^_?(v?(f|s|sn)?printf|v?(f|s)?scanf|strto[df]|atof|[efg]cvt)$")


def main():
    nm, bits, objects = sys.argv[1], sys.argv[2], sys.argv[3:]
    result = subprocess.run([nm, "--undefined-only", *objects], capture_output=True, text=True,
                            check=True)
    needed = {line.split()[-1] for line in result.stdout.splitlines() if " U " in line}
    # 32-bit Windows C names carry a leading underscore; 64-bit ones do not.
    if bits == "32":
        needed = {name[1:] for name in needed if name.startswith("_")}
    forbidden = sorted(name for name in needed if FORBIDDEN.match(name))
    mingw = sorted(name for name in needed if name.startswith("__mingw_"))
    print("MinGW-w64 conversions used:", " ".join(mingw) or "none")
    if forbidden:
        print("system C library conversions used:", " ".join(forbidden))
    return 1 if forbidden or not mingw else 0


if __name__ == "__main__":
    sys.exit(main())
