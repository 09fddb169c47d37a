#!/usr/bin/env python3
"""Checks what the .exe is without running it: a PE32 (32-bit, Intel 80386)
or PE32+ (64-bit, x86-64) console program that needs no DLL beyond
Windows' own, so it runs where nothing else was installed.

Usage: check_exe.py OBJDUMP BITS FARE_EXE
"""
import re
import subprocess
import sys

EXPECTED = {
    "32": ("pei-i386", "architecture: i386,", "(PE32)"),
    "64": ("pei-x86-64", "architecture: i386:x86-64,", "(PE32+)"),
}
CONSOLE = re.compile(r"^Subsystem\s+00000003\s+\(Windows CUI\)$", re.M)
# Windows' own DLLs; MinGW's runtime (libstdc++, libgcc, winpthread) must be
# linked in, not needed beside the .exe.
SYSTEM_DLL = re.compile(r"^(kernel32|msvcrt|ucrtbase|user32|advapi32|ntdll|api-ms-win-.*)\.dll$",
                        re.I)


def main():
    objdump, bits, exe = sys.argv[1:4]
    headers = subprocess.run([objdump, "-f", "-p", exe], capture_output=True, text=True,
                             check=True).stdout
    problems = [f"no {mark!r} in the headers" for mark in EXPECTED[bits] if mark not in headers]
    if not CONSOLE.search(headers):
        problems.append("not a console (CUI) program")
    dlls = re.findall(r"^\s*DLL Name: (\S+)$", headers, re.M)
    print("imports:", " ".join(dlls) or "none")
    problems += [f"needs {dll}, which Windows does not ship" for dll in dlls
                 if not SYSTEM_DLL.match(dll)]
    if not dlls:
        problems.append("no import table found")
    for problem in problems:
        print("FAIL", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
