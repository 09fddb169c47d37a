"""The documents held to what they promise.

Every shell command of the README runs as written, top to bottom, in a copy
of the sources with a home folder of its own; the one that starts build/fare
is given the typed lines of the README's dialogue and must print the rest of
it. Commands that need root or a package this machine lacks are skipped, and
said so. The Windows zip's README.txt, from the README's own zip command
when it ran, or a Windows build's, has CR LF line ends and no build
command. A plain configure, no preset, needs neither GoogleTest nor Python
and dates the manual page and the Debian changelog from SOURCE_DATE_EPOCH;
the default preset compiles without -Werror, the developers' one with it.
"""
import glob
import os
import re
import shlex
import shutil
import subprocess
import sys
import zipfile

import pytest

from conftest import BUILD_COMMAND, SOURCE, Fail, tool

# What keeps a README command from running here: (pattern, the programs it needs, which
# tests/tools.txt lists, or why it never runs here).
NEEDS = [
    (r"^(sudo|apt|apt-get|dpkg)\s", "needs root"),
    (r"--workflow --preset dev\b", "would run this check again (CI runs it as written)"),
    (r"^cpack --config build/", ["dpkg-shlibdeps", "file"]),
    (r"--preset win32-release\b", ["i686-w64-mingw32-g++-posix"]),
]

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


def skip_if_kept_from(command):
    for pattern, needs in NEEDS:
        if re.search(pattern, command):
            if isinstance(needs, str):
                pytest.skip(needs)
            for program in needs:
                tool(program)


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


README = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read()  # noqa: SIM115
COMMANDS = readme_commands(README)


def listing(folder):  # every file and folder below it
    return sorted(os.path.relpath(os.path.join(place, name), folder)
                  for place, folders, files in os.walk(folder) for name in folders + files)


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    """A copy of the sources, without builds, and a home folder whose name holds a blank, with
    folders and a program of its own in ~/.local, which the README installs into."""
    scratch = str(tmp_path_factory.mktemp("docs"))
    tree = os.path.join(scratch, "src")
    shutil.copytree(SOURCE, tree, ignore=lambda folder, names: [
        name for name in names if name == "__pycache__" or
        (folder == SOURCE and (name == ".git" or name.startswith("build")))])
    local = os.path.join(scratch, "a home", ".local")
    for folder in ("bin", "share/man", "share/applications"):
        os.makedirs(os.path.join(local, folder))
    open(os.path.join(local, "bin", "another-program"), "wb").close()  # noqa: SIM115
    return tree


env = lambda tree, **more: dict(os.environ, HOME=os.path.join(os.path.dirname(tree), "a home"), **more)  # noqa: E731


class Readme:
    """The README's commands, run as a user runs them: in order, each once, in the tree."""

    def __init__(self, tree):
        self.tree, self.outcomes = tree, []
        self.home_before = listing(env(tree)["HOME"])

    def outcome(self, index):  # the command's output, or what it raised; those before it run first
        while len(self.outcomes) <= index:
            try:
                self.outcomes.append(self.run(COMMANDS[len(self.outcomes)]))
            except (Fail, pytest.skip.Exception) as raised:
                self.outcomes.append(raised)
        if isinstance(self.outcomes[index], BaseException):
            raise self.outcomes[index]
        return self.outcomes[index]

    def run(self, command):
        skip_if_kept_from(command)
        typed, printed = readme_dialogue(README)
        starts_fare = re.search(r"(^|&& )build/fare$", command)
        output = shell(command, self.tree, env(self.tree), typed if starts_fare else "")
        if starts_fare and not output.endswith(printed):
            raise Fail("the dialogue", "printed %r" % output[-len(printed) - 40:])
        if "--target uninstall" in command and (home := listing(env(self.tree)["HOME"])) != self.home_before:
            raise Fail("the home folder after the uninstall", "%s, before the install %s" % (home, self.home_before))
        return output


@pytest.fixture(scope="module")
def readme(tree):
    return Readme(tree)


@pytest.mark.parametrize("index", range(len(COMMANDS)), ids=COMMANDS)
def test_readme_command(readme, index):
    readme.outcome(index)


def test_readme_zip_has_a_windows_readme(readme, tree):
    readme.outcome(len(COMMANDS) - 1)
    zips = glob.glob(os.path.join(tree, "build-win32-release", "fare-*-win32.zip"))
    if not zips:
        pytest.skip("the README's zip command did not run")
    check_windows_readme(zips[0])


def test_windows_readme(build):
    if not os.path.exists(readme := os.path.join(build, "README.txt")):
        pytest.skip("not a Windows build")
    check_windows_readme(readme)


def test_readme_no_preset_needs_no_googletest_and_no_python_and_dates_from_source_date_epoch(tree):
    shell(shlex.join(["cmake", "-S", ".", "-B", os.path.join(os.path.dirname(tree), "bare")] + WITHOUT_TEST_TOOLS),
          tree, env(tree, SOURCE_DATE_EPOCH=EPOCH))
    with open(os.path.join(os.path.dirname(tree), "bare", "fare.1"), encoding="utf-8") as page:
        title = page.readline()
    with open(os.path.join(os.path.dirname(tree), "bare", "debian", "changelog"), encoding="utf-8") as changes:
        signed = changes.read().splitlines()[-1]
    if title.split()[3:4] != [EPOCH_DAY] or not signed.endswith("  Fri, 13 Feb 2009 23:31:30 +0000"):
        raise Fail("SOURCE_DATE_EPOCH " + EPOCH, "dated %r and %r" % (title, signed))


@pytest.mark.parametrize("preset", ["default", "dev"])
def test_readme_presets_warnings_as_errors_in_dev_only(tree, preset):
    folder = "build" if preset == "default" else "build-" + preset
    shell("cmake --preset " + preset, tree, env(tree))
    with open(os.path.join(tree, folder, "CMakeFiles", "fare.dir", "flags.make"), encoding="utf-8") as file:
        if bool(WERROR.search(file.read())) != (preset == "dev"):
            raise Fail("cmake --preset " + preset, "compiles %s -Werror" % ("with" if preset == "default" else "without"))


@pytest.mark.parametrize("selection", ["-L relase", "-R no_such_check"])
def test_hacking_ctest_selecting_no_test_fails(tree, selection):
    shell("cmake --preset dev", tree, env(tree))
    done = subprocess.run(["ctest", "--preset", "dev", *selection.split()], cwd=tree, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, check=False)
    if done.returncode == 0:
        raise Fail("ctest --preset dev " + selection, "passed: %s" % done.stdout.decode()[-300:])


def test_hacking_pytest_from_the_root_with_the_projects_settings_and_no_cache(tree):
    shell(shlex.join([sys.executable, "-m", "pytest", "--collect-only", "-q"]), tree, env(tree))
    if os.path.exists(os.path.join(tree, ".pytest_cache")):
        raise Fail("pytest from the root", "left .pytest_cache in the tree")
