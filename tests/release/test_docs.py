"""The documents held to what they promise.

Every shell command of the README runs as written, top to bottom, in a copy
of the sources with a home folder of its own, whose name holds a blank; the
one that starts build/fare is given the typed lines of the README's dialogue
and must print the rest of it, and the uninstall must leave the home folder
as it was before the install. A command that needs a program this machine
lacks is skipped, and says so; the package installs and the test command
itself run as written on a fresh Debian (scripts/fresh-debian-check). The
other tests hold what the README and HACKING.md say of the Windows zip's
README, the presets, a plain configure, ctest and pytest.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

from launch import SOURCE, Fail, tool, windows_readme_fault

# README commands that run on a fresh Debian only, not here: installing
# packages as root, and this very check's command.
ELSEWHERE = r"^(sudo|apt|apt-get|dpkg)\s|--workflow --preset dev\b"
# What a README command needs that a machine may lack: (pattern, programs that tests/tools.txt lists).
NEEDS = [
    (r"^cpack --config build/", ["dpkg-shlibdeps", "file"]),
    (r"--preset win32-release\b", ["i686-w64-mingw32-g++-posix"]),
]
HOME = "a home"  # the home folder's name, beside the copy of the sources

# A configure needs GoogleTest or Python if it fails with them disabled.
WITHOUT_TEST_TOOLS = ["-DCMAKE_DISABLE_FIND_PACKAGE_" + name + "=ON"
                      for name in ("GTest", "Python3", "Python")]
EPOCH, EPOCH_DAY = "1234567890", "2009-02-13"
WERROR = re.compile(r"-Werror(\s|$)", re.M)


def readme_commands(readme):
    """The lines of its sh blocks that run here, with their continuations joined."""
    blocks = re.findall(r"^```sh\n(.*?)^```", readme, re.M | re.S)
    lines = "\n".join(blocks).replace("\\\n", " ").splitlines()
    return [line.strip() for line in lines
            if line.strip() and not line.startswith("#") and not re.search(ELSEWHERE, line)]


README = Path(SOURCE, "README.md").read_text(encoding="utf-8")
COMMANDS = readme_commands(README)


def readme_dialogue(readme):
    """What the dialogue's user types, and what fare prints in between."""
    shown = re.search(r"^```\n\$ fare\n(.*?) \$\n```", readme, re.M | re.S).group(1) + " "
    typed = re.findall(r"^(.*?) +<- typed$", shown, re.M)
    return "".join(line + "\n" for line in typed), re.sub(r"^.* +<- typed\n", "", shown, flags=re.M)


def shell(command, tree, typed="", **env):
    """Runs command with sh in the tree, with its home folder and env added to the environment,
    without a terminal; its output."""
    done = subprocess.run(["sh", "-c", command], cwd=tree, env=dict(os.environ, HOME=str(tree.parent / HOME), **env),
                          input=typed.encode(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          start_new_session=True, timeout=1200, check=False)
    output = done.stdout.decode(errors="replace")
    if done.returncode != 0:
        raise Fail("status %d" % done.returncode, output[-3000:])
    return output


def listing(folder):  # every file and folder below it
    return sorted(os.path.relpath(os.path.join(place, name), folder)
                  for place, folders, files in os.walk(folder) for name in folders + files)


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    """A copy of the sources, without builds, and beside it the home folder, with folders and a
    program of its own in ~/.local, which the README installs into."""
    tree = tmp_path_factory.mktemp("docs") / "src"
    shutil.copytree(SOURCE, tree, ignore=lambda folder, names: [
        name for name in names if name == "__pycache__" or
        (folder == SOURCE and (name == ".git" or name.startswith("build")))])
    for folder in ("bin", "share/man", "share/applications"):
        (tree.parent / HOME / ".local" / folder).mkdir(parents=True)
    (tree.parent / HOME / ".local/bin/another-program").touch()
    return tree


@pytest.fixture(scope="module")
def run_readme(tree):
    """The README's commands, run as a user runs them: in order, each once, in the tree.
    run_readme(index) runs those up to the index'th and raises that one's failure or skip."""
    home_before, raised = listing(tree.parent / HOME), []

    def run(command):
        for pattern, needs in NEEDS:
            if re.search(pattern, command):
                for program in needs:
                    tool(program)
        typed, printed = readme_dialogue(README)
        starts_fare = re.search(r"(^|&& )build/fare$", command)
        output = shell(command, tree, typed if starts_fare else "")
        if starts_fare and not output.endswith(printed):
            raise Fail("the dialogue", "printed %r" % output[-len(printed) - 40:])
        if "--target uninstall" in command:
            assert listing(tree.parent / HOME) == home_before, "the home folder, as before the install"

    def upto(index):
        while len(raised) <= index:
            try:
                run(COMMANDS[len(raised)])
                raised.append(None)
            except (Fail, pytest.skip.Exception) as error:
                raised.append(error)
        if raised[index]:
            raise raised[index]
    return upto


@pytest.mark.parametrize("index", range(len(COMMANDS)), ids=COMMANDS)
def test_readme_command(run_readme, index):
    run_readme(index)


def test_readme_zip_has_a_windows_readme(run_readme, tree):
    run_readme(len(COMMANDS) - 1)
    zips = list(tree.glob("build-win32-release/fare-*-win32.zip"))
    if not zips:
        pytest.skip("the README's zip command did not run")
    with zipfile.ZipFile(zips[0]) as archive:
        text = archive.read(next(name for name in archive.namelist() if name.endswith("/README.txt")))
    assert not windows_readme_fault(text)


def test_readme_no_preset_needs_no_googletest_and_no_python_and_dates_from_source_date_epoch(tree):
    bare = tree.parent / "bare"
    shell(shlex.join(["cmake", "-S", ".", "-B", str(bare)] + WITHOUT_TEST_TOOLS), tree, SOURCE_DATE_EPOCH=EPOCH)
    title = (bare / "fare.1").read_text(encoding="utf-8").splitlines()[0]
    signed = (bare / "debian/changelog").read_text(encoding="utf-8").splitlines()[-1]
    if title.split()[3:4] != [EPOCH_DAY] or not signed.endswith("  Fri, 13 Feb 2009 23:31:30 +0000"):
        raise Fail("SOURCE_DATE_EPOCH " + EPOCH, "dated %r and %r" % (title, signed))


@pytest.mark.parametrize("preset", ["default", "dev"])
def test_readme_presets_warnings_as_errors_in_dev_only(tree, preset):
    shell("cmake --preset " + preset, tree)
    flags = tree / ("build" if preset == "default" else "build-" + preset) / "CMakeFiles/fare.dir/flags.make"
    if bool(WERROR.search(flags.read_text(encoding="utf-8"))) != (preset == "dev"):
        raise Fail("cmake --preset " + preset, "compiles %s -Werror" % ("with" if preset == "default" else "without"))


@pytest.mark.parametrize("selection", ["-L relase", "-R no_such_check"])
def test_hacking_ctest_selecting_no_test_fails(tree, selection):
    shell("cmake --preset dev", tree)
    done = subprocess.run(["ctest", "--preset", "dev", *selection.split()], cwd=tree, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, check=False)
    if done.returncode == 0:
        raise Fail("ctest --preset dev " + selection, "passed: %s" % done.stdout.decode()[-300:])


def test_hacking_pytest_from_the_root_with_the_projects_settings_and_no_cache(tree):
    shell(shlex.join([sys.executable, "-m", "pytest", "--collect-only", "-q"]), tree)
    if (tree / ".pytest_cache").exists():
        raise Fail("pytest from the root", "left .pytest_cache in the tree")
