#!/usr/bin/env python3
"""Checks what the .exe is without running it: a PE32 (32-bit, Intel 80386)
or PE32+ (64-bit, x86-64) console program that needs no DLL beyond
Windows' own, so it runs where nothing else was installed; that asks
Windows for a random load address (with the relocations to move it), for
data that cannot run and, at 64 bits, for addresses anywhere; and that
carries the version resource Explorer shows, with the project's version.

Usage: check_exe.py OBJDUMP WINDRES BITS VERSION FARE_EXE
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
# ASLR, DEP, and at 64 bits ASLR over the whole address space.
SECURITY = {
    "32": ("DYNAMIC_BASE", "NX_COMPAT"),
    "64": ("DYNAMIC_BASE", "NX_COMPAT", "HIGH_ENTROPY_VA"),
}
DLL_CHARACTERISTICS = re.compile(r"^DllCharacteristics\s+\S+\n((?:[ \t]+[A-Z_]+\n)*)", re.M)
RELOCATIONS = re.compile(r"^Entry 5 \S+ ([0-9a-f]+) Base Relocation Directory", re.M)
VALUE = re.compile(r'^\s*VALUE "(\w+)", "(.*)"$', re.M)


def security_problems(headers, bits):
    """What the headers do not ask for of Windows' protections."""
    found = DLL_CHARACTERISTICS.search(headers)
    flags = found.group(1).split() if found else []
    problems = [f"no {flag}" for flag in SECURITY[bits] if flag not in flags]
    relocations = RELOCATIONS.search(headers)
    if not relocations or int(relocations.group(1), 16) == 0:
        problems.append("no relocations: the program cannot be moved")
    return problems


def resource_problems(windres, version, exe):
    """What the version resource lacks or gets wrong."""
    # windres fails on a program without resources.
    script = subprocess.run([windres, "-J", "coff", "-O", "rc", "-i", exe], capture_output=True,
                            text=True, check=False).stdout
    values = dict(VALUE.findall(script))
    if not values:
        return ["no version resource"]
    numbers = ", ".join((version.split(".") + ["0"] * 4)[:4])
    expected = {"FileVersion": version, "ProductVersion": version, "ProductName": "fare",
                "OriginalFilename": "fare.exe"}
    problems = [f"version resource: {key} is {values.get(key)!r}, not {value!r}"
                for key, value in expected.items() if values.get(key) != value]
    problems += [f"version resource: no {key}" for key in ("FileDescription", "LegalCopyright")
                 if not values.get(key)]
    problems += [f"version resource: {fixed} is not {numbers}" for fixed in ("FILEVERSION",
                 "PRODUCTVERSION") if f" {fixed} {numbers}\n" not in script]
    return problems


def main():
    objdump, windres, bits, version, exe = sys.argv[1:6]
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
    problems += security_problems(headers, bits) + resource_problems(windres, version, exe)
    for problem in problems:
        print("FAIL", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
