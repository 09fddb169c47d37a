"""A Windows build's .exe, not run: a PE32 (Intel 80386) or PE32+ (x86-64)
console program that needs no DLL beyond Windows' own; that asks for a random
load address (with relocations), data that cannot run and, at 64 bits,
addresses anywhere; with the version resource Explorer shows. The program
linked without those must show each lack. Its own code calls MinGW-w64's
exact number conversions, never the system C library's, which a run under
wine (whose C library is not Windows') cannot show; the symbols can."""
import glob
import os
import re
import subprocess
from typing import NamedTuple

import pytest

from launch import Fail, is_windows

EXPECTED = {
    "32": ("pei-i386", "architecture: i386,", "(PE32)"),
    "64": ("pei-x86-64", "architecture: i386:x86-64,", "(PE32+)"),
}
CONSOLE = re.compile(r"^Subsystem\s+00000003\s+\(Windows CUI\)$", re.M)
# Windows' own DLLs; MinGW's runtime (libstdc++, libgcc, winpthread) must be
# linked in, not needed beside the .exe.
SYSTEM_DLL = re.compile(r"^(kernel32|msvcrt|ucrtbase|user32|advapi32|ntdll|api-ms-win-.*)\.dll$", re.I)
# ASLR, DEP, and at 64 bits ASLR over the whole address space.
SECURITY = {"32": ("DYNAMIC_BASE", "NX_COMPAT"), "64": ("DYNAMIC_BASE", "NX_COMPAT", "HIGH_ENTROPY_VA")}
DLL_CHARACTERISTICS = re.compile(r"^DllCharacteristics\s+\S+\n((?:[ \t]+[A-Z_]+\n)*)", re.M)
RELOCATIONS = re.compile(r"^Entry 5 \S+ ([0-9a-f]+) Base Relocation Directory", re.M)
VALUE = re.compile(r'^\s*VALUE "(\w+)", "(.*)"$', re.M)
# The system C library's number conversions, which the program's own code must not call.
FORBIDDEN = re.compile(r"^_?(v?(f|s|sn)?printf|v?(f|s)?scanf|strto[df]|atof|[efg]cvt)$")


def resource_problems(tools, exe):
    """What the version resource lacks or gets wrong."""
    # windres fails on a program without resources.
    script = subprocess.run([tools.windres, "-J", "coff", "-O", "rc", "-i", exe], capture_output=True,
                            text=True, check=False).stdout
    values = dict(VALUE.findall(script))
    if not values:
        return ["no version resource"]
    numbers = ", ".join((tools.version.split(".") + ["0"] * 4)[:4])
    expected = {"FileVersion": tools.version, "ProductVersion": tools.version, "ProductName": "fare",
                "OriginalFilename": "fare.exe"}
    problems = [f"version resource: {key} is {values.get(key)!r}, not {value!r}"
                for key, value in expected.items() if values.get(key) != value]
    problems += [f"version resource: no {key}" for key in ("FileDescription", "LegalCopyright")
                 if not values.get(key)]
    problems += [f"version resource: {fixed} is not {numbers}" for fixed in ("FILEVERSION",
                 "PRODUCTVERSION") if f" {fixed} {numbers}\n" not in script]
    return problems


class Tools(NamedTuple):  # MinGW-w64's, for the build's word size, and its version
    objdump: str
    windres: str
    nm: str
    bits: str
    version: str


def output(*command):
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    if done.returncode:
        raise Fail(os.path.basename(command[0]), "status %d: %s" % (done.returncode, done.stderr))
    return done.stdout


@pytest.fixture(scope="module")
def tools(command, build):
    if not is_windows(command):
        pytest.skip("not a Windows build")
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as file:
        cache = dict(re.findall(r"^(\w+):\w+=(.*)$", file.read(), re.M))
    triplet = cache["CMAKE_NM"][:-len("-nm")]
    bits = "64" if os.path.basename(triplet).startswith("x86_64") else "32"
    return Tools(triplet + "-objdump", triplet + "-windres", triplet + "-nm", bits, cache["CMAKE_PROJECT_VERSION"])


def problems(tools, exe):
    """What the .exe's headers and version resource show wrong."""
    headers = output(tools.objdump, "-f", "-p", exe)
    found = [f"no {mark!r} in the headers" for mark in EXPECTED[tools.bits] if mark not in headers]
    if not CONSOLE.search(headers):
        found.append("not a console (CUI) program")
    dlls = re.findall(r"^\s*DLL Name: (\S+)$", headers, re.M)
    found += [f"needs {dll}, which Windows does not ship" for dll in dlls if not SYSTEM_DLL.match(dll)]
    if not dlls:
        found.append("no import table found")
    flags = "".join(DLL_CHARACTERISTICS.findall(headers)).split()
    found += [f"no {flag}" for flag in SECURITY[tools.bits] if flag not in flags]
    relocations = RELOCATIONS.search(headers)
    if not relocations or int(relocations.group(1), 16) == 0:
        found.append("no relocations: the program cannot be moved")
    return found + resource_problems(tools, exe)


def test_exe_format(tools, build):
    if found := problems(tools, os.path.join(build, "fare.exe")):
        raise Fail("fare.exe", "; ".join(found))


def test_exe_format_fails_unprotected(tools, build):
    lacks = ["no DYNAMIC_BASE", "no NX_COMPAT"] + ["no HIGH_ENTROPY_VA"] * (tools.bits == "64") + ["no version resource"]
    found = problems(tools, os.path.join(build, "tests", "unprotected_fare.exe"))
    if [problem for problem in found if problem in lacks] != lacks:
        raise Fail("the unprotected program", "shows %s, not %s" % (found, lacks))


def test_exact_conversions(tools, build):
    """The library and fare's own objects (not its version resource)."""
    objects = [os.path.join(build, "libfare_core.a")] + glob.glob(os.path.join(build, "CMakeFiles/fare.dir/src/*.obj"))
    needed = {line.split()[-1] for line in output(tools.nm, "--undefined-only", *objects).splitlines() if " U " in line}
    # 32-bit Windows C names carry a leading underscore; 64-bit ones do not.
    if tools.bits == "32":
        needed = {name[1:] for name in needed if name.startswith("_")}
    if forbidden := sorted(name for name in needed if FORBIDDEN.match(name)):
        raise Fail("the program's code", "calls the system C library's " + " ".join(forbidden))
    if not any(name.startswith("__mingw_") for name in needed):
        raise Fail("the program's code", "calls none of MinGW-w64's conversions")
