"""The documents held to what they promise.

Every shell command of the README runs as written, top to bottom, in a copy
of the sources with a home folder of its own; the one that starts build/fare
is given the typed lines of the README's dialogue and must print the rest of
it. Commands that need root or a package this machine lacks are skipped, and
said so. The Windows zip's README.txt, from the README's own zip command
when it ran (or the file or zip given), has CR LF line ends and no build
command. A configure with tests off needs neither GoogleTest nor Python and
dates the manual page and the Debian changelog from SOURCE_DATE_EPOCH; after the developers' preset,
the default one compiles without -Werror.

Usage: docs_test.py SOURCE_DIR
       docs_test.py --windows-readme README.txt|ZIP
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

from verdict import Fail, run

# What keeps a README command from running here: (pattern, a program it
# needs, or None when it never runs here, why).
NEEDS = [
    (r"^(sudo|apt|apt-get|dpkg)\s", None, "needs root"),
    (r"--workflow --preset dev\b", None, "would run this check again (CI runs it as written)"),
    (r"^cpack --config build/", "dpkg-shlibdeps", "needs the package dpkg-dev"),
    (r"\bbuild-win32\b|--preset win32\b", "i686-w64-mingw32-g++-posix",
     "needs the package g++-mingw-w64-i686-posix"),
]

# A build command: a build tool that starts a code line (indented, or after a prompt), a line
# where nothing or an option follows it, or `code`; not "make" in a sentence.
TOOL = rb"(?:cmake|cpack|ctest|make|ninja|g\+\+|gcc|apt|apt-get|dpkg|sudo|[\w-]*mingw[\w+-]*)(?![\w+-])"
BUILD_COMMAND = (rb"(?m)^(?: {4,}|\t)(?:[$>] *)?" + TOOL + rb"|^ *[$>] *" + TOOL +
                 rb"|^[ \t]*" + TOOL + rb"(?=[ \t]+-|[ \t]*\r?$)|`" + TOOL)

# What a Windows user's README.txt must not hold: (what, pattern).
WINDOWS_README_FAULTS = [
    ("a line without CR LF", rb"(?<!\r)\n|[^\n]\Z"),
    ("a build command", BUILD_COMMAND),
    ("a variable left unreplaced", rb"@[A-Z_]+@"),
]

# A configure needs GoogleTest or Python if it fails with them disabled.
WITHOUT_TEST_TOOLS = ["-DCMAKE_DISABLE_FIND_PACKAGE_" + name + "=ON"
                      for name in ("GTest", "Python3", "Python")]
EPOCH, EPOCH_DAY = "1234567890", "2009-02-13"
WERROR = re.compile(r"-Werror(\s|$)", re.M)


def readme_commands(readme):
    """The lines of its sh blocks, with their continuations joined."""
    blocks = re.findall(r"^```sh\n(.*?)^```", readme, re.M | re.S)
    lines = "\n".join(blocks).replace("\\\n", " ").splitlines()
    return [line.strip() for line in lines if line.strip() and not line.startswith("#")]


def readme_dialogue(readme):
    """What the dialogue's user types, and what fare prints in between."""
    shown = re.search(r"^```\n\$ fare\n(.*?) \$\n```", readme, re.M | re.S).group(1) + " "
    typed = re.findall(r"^(.*?) +<- typed$", shown, re.M)
    return "".join(line + "\n" for line in typed), re.sub(r"^.* +<- typed\n", "", shown, flags=re.M)


def why_skipped(command):
    for pattern, program, reason in NEEDS:
        if re.search(pattern, command) and (program is None or not shutil.which(program)):
            return reason
    return None


def shell(command, folder, env=None, typed=""):
    """Runs command with sh in folder, without a terminal; its output."""
    done = subprocess.run(["sh", "-c", command], cwd=folder, env=env, input=typed.encode(),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          start_new_session=True, timeout=1200, check=False)
    output = done.stdout.decode(errors="replace")
    if done.returncode != 0:
        raise Fail("status %d" % done.returncode, output[-3000:])
    return output


def check_windows_readme(path):
    for what, pattern in WINDOWS_README_FAULTS:
        found = re.search(pattern, windows_readme(path))
        if found:
            raise Fail(what, repr(found.group(0)))


def windows_readme(path):
    """The bytes of a README.txt, or of the one in a zip."""
    if not zipfile.is_zipfile(path):
        with open(path, "rb") as file:
            return file.read()
    with zipfile.ZipFile(path) as archive:
        member = next(name for name in archive.namelist() if name.endswith("/README.txt"))
        return archive.read(member)


def source_checks(source, scratch):
    tree, home = os.path.join(scratch, "src"), os.path.join(scratch, "home")
    shutil.copytree(source, tree, ignore=lambda folder, names: [
        name for name in names if name == "__pycache__" or
        (folder == source and (name == ".git" or name.startswith("build")))])
    os.mkdir(home)
    env = dict(os.environ, HOME=home)
    with open(os.path.join(source, "README.md"), encoding="utf-8") as file:
        readme = file.read()
    typed, printed = readme_dialogue(readme)
    checks = []

    def command_check(command):
        def check():
            starts_fare = re.search(r"(^|&& )build/fare$", command)
            output = shell(command, tree, env, typed if starts_fare else "")
            if starts_fare and not output.endswith(printed):
                raise Fail("the dialogue", "printed %r" % output[-len(printed) - 40:])
        return check

    for command in readme_commands(readme):
        reason = why_skipped(command)
        if reason:
            print("SKIP README: %s: %s" % (command, reason), flush=True)
        else:
            checks.append(("README: " + command, command_check(command)))

    def zip_readme():
        zips = glob.glob(os.path.join(tree, "build-win32", "fare-*-win32.zip"))
        if not zips:
            raise Fail("build-win32", "no zip")
        check_windows_readme(zips[0])

    if any("cpack --config build-win32/" in name for name, _ in checks):
        checks.append(("the zip's README.txt", zip_readme))
    else:
        print("SKIP the zip's README.txt: the README's zip command did not run", flush=True)

    def configure_bare():
        shell(" ".join(["cmake --preset default -B", os.path.join(scratch, "bare")] +
                       WITHOUT_TEST_TOOLS), tree, dict(env, SOURCE_DATE_EPOCH=EPOCH))

    def manual_date():
        with open(os.path.join(scratch, "bare", "fare.1"), encoding="utf-8") as page:
            title = page.readline()
        with open(os.path.join(scratch, "bare", "debian", "changelog"), encoding="utf-8") as changes:
            signed = changes.read().splitlines()[-1]
        if title.split()[3:4] != [EPOCH_DAY] or not signed.endswith("  Fri, 13 Feb 2009 23:31:30 +0000"):
            raise Fail("SOURCE_DATE_EPOCH " + EPOCH, "dated %r and %r" % (title, signed))

    def default_after_dev():
        flags = os.path.join(tree, "build", "CMakeFiles", "fare.dir", "flags.make")
        for preset, werror in (("dev", True), ("default", False)):
            shell("cmake --preset " + preset, tree, env)
            with open(flags, encoding="utf-8") as file:
                if bool(WERROR.search(file.read())) != werror:
                    raise Fail("cmake --preset " + preset,
                               "compiles %s -Werror" % ("without" if werror else "with"))

    return checks + [
        ("tests off: no GoogleTest, no Python", configure_bare),
        ("the manual page and the changelog are dated from SOURCE_DATE_EPOCH", manual_date),
        ("after dev, default compiles without -Werror", default_after_dev),
    ]


def main(argv):
    if argv[:1] == ["--windows-readme"]:
        return run([(argv[1], lambda: check_windows_readme(argv[1]))])
    with tempfile.TemporaryDirectory() as scratch:
        return run(source_checks(os.path.abspath(argv[0]), scratch))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
