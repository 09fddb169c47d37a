#!/usr/bin/env python3
"""Fails when the program's own code calls the system C library's number
conversions (printf and scanf families, strtod, atof) instead of MinGW-w64's
exact ones. Wine's C library is not the one Windows ships, so a test run under
wine cannot show this; the symbols the objects need can.

Usage: check_imports.py NM OBJECT_OR_ARCHIVE...
"""
import re
import subprocess
import sys

# i386 C names carry a leading underscore.
FORBIDDEN = re.compile(r"^_{1,2}(v?(f|s|sn)?printf|v?(f|s)?scanf|strto[df]|atof|[efg]cvt)$")


def main():
    nm, objects = sys.argv[1], sys.argv[2:]
    result = subprocess.run([nm, "--undefined-only", *objects], capture_output=True, text=True,
                            check=True)
    needed = {line.split()[-1] for line in result.stdout.splitlines() if " U " in line}
    forbidden = sorted(name for name in needed if FORBIDDEN.match(name))
    mingw = sorted(name for name in needed if name.startswith("___mingw_"))
    print("MinGW-w64 conversions used:", " ".join(mingw) or "none")
    if forbidden:
        print("system C library conversions used:", " ".join(forbidden))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
