"""What a user gets: the package of the build's version that cpack makes
(the .deb; on Windows the zip), and a plain install into a fresh prefix. The
markers say which CTest check runs which test: cpack (release.package.cpack,
which the deb and zip checks need first), installed, deb and zip."""
import glob
import gzip
import itertools
import os
import re
import shutil
import subprocess
import zipfile
from pathlib import Path
from typing import NamedTuple

import pytest

import dialogues as table
from launch import BUILD_COMMAND, SOURCE, Fail, is_windows, piped, same_run, tool, windows_readme_fault

PACKAGES = ["fare_%s_*.deb", "fare-%s-win*.zip"]  # of a version


def said(*command, env=None):  # status and output, standard error included
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, check=False)
    return done.returncode, done.stdout.decode(errors="replace")


def quiet(*command):  # the command succeeds without a word
    status, output = said(*command)
    assert (status, output) == (0, ""), command[0]


def man(page, width=80):  # the page as man -l shows it
    return said(tool("man"), "-l", page, env=dict(os.environ, MANWIDTH=str(width)))[1]


def holds(root, *expected):
    assert sorted(os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, names in os.walk(root) for name in names) == list(expected)


@pytest.fixture(scope="module")
def version(build):
    cache = Path(build, "CMakeCache.txt").read_text(encoding="utf-8")
    return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M)[1]


@pytest.mark.cpack
def test_cpack_makes_the_package(command, build, version):
    needs = [] if is_windows(command) else [tool("dpkg-shlibdeps"), tool("file")]
    status, output = said(shutil.which("cpack"), "--config", os.path.join(build, "CPackConfig.cmake"))
    made = [path for name in PACKAGES for path in glob.glob(os.path.join(build, name % version))]
    assert status == 0 and made, "cpack (with %s): %s" % (needs, output[-2000:])


@pytest.mark.cpack
def test_cpack_stops_without_dpkg_shlibdeps_naming_dpkg_dev(command, build, tmp_path):
    """Rather than make a package that declares no Depends."""
    if is_windows(command):
        pytest.skip("a zip needs no dpkg-dev")
    os.symlink(tool("file"), tmp_path / "file")
    status, output = said(shutil.which("cpack"), "-D", "CMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF", "--config",
                          os.path.join(build, "CPackConfig.cmake"), "-B", tmp_path,
                          env=dict(os.environ, PATH=str(tmp_path)))
    assert status != 0 and "dpkg-dev" in output, output


@pytest.fixture(scope="module")
def package(build, version):
    """The package the build made of its version, or a skip: found beside one
    of an older version, as a build folder holds after a version bump."""
    packages = [os.path.join(build, name) for name in PACKAGES]
    older = [Path(name.replace("*", "older") % "0.0.0") for name in packages]
    for name in older:
        name.touch()
    try:
        found = [path for name in packages for path in glob.glob(name % version)]
        if len(found) > 1:
            raise Fail("the package of fare " + version, "more than one: %s" % found)
        yield found[0] if found else pytest.skip("this build made no package")
    finally:
        for name in older:
            name.unlink()


@pytest.fixture(scope="module")
def prefix(build, tmp_path_factory):  # a fresh prefix that the build installed into
    installed = tmp_path_factory.mktemp("installed")
    status, output = said(shutil.which("cmake"), "--install", build, "--prefix", installed)
    assert status == 0, output
    return installed


@pytest.fixture(scope="module")
def deb(package, tmp_path_factory):
    if not package.endswith(".deb"):
        pytest.skip("not a Debian package build")
    unpacked = tmp_path_factory.mktemp("deb")
    quiet(tool("dpkg-deb"), "-x", package, unpacked)
    return unpacked


class Given(NamedTuple):  # what a user is given: a plain install or the .deb, unpacked
    root: Path
    files: list
    program: Path
    docs: Path
    page: Path
    licence: str


@pytest.fixture(params=[pytest.param("installed", marks=pytest.mark.installed),
                        pytest.param("deb", marks=pytest.mark.deb)])
def given(request):
    root = request.getfixturevalue("prefix" if request.param == "installed" else "deb")
    if request.param == "installed":
        return Given(root, ["bin/fare", "share/doc/fare/LICENSE", "share/doc/fare/README", "share/man/man1/fare.1"],
                     root / "bin/fare", root / "share/doc/fare", root / "share/man/man1/fare.1", "LICENSE")
    return Given(root, ["usr/bin/fare", "usr/share/doc/fare/README", "usr/share/doc/fare/changelog.gz",
                        "usr/share/doc/fare/copyright", "usr/share/man/man1/fare.1.gz"],
                 root / "usr/bin/fare", root / "usr/share/doc/fare", root / "usr/share/man/man1/fare.1.gz",
                 "copyright")


def test_files(given):
    holds(given.root, *given.files)


def test_readme_is_a_users(given):
    """A README for someone who has the program: `man fare`, the licence's file, no build command,
    Markdown file or unreplaced variable; under 4 KiB, which Debian leaves uncompressed."""
    text = (given.docs / "README").read_bytes()
    if found := re.search(BUILD_COMMAND + rb"|\w+\.md\b|@[A-Z_]+@", text):
        raise Fail("README", "holds %r" % found.group(0))
    if b"man fare" not in text or given.licence.encode() not in text or len(text) > 4096:
        raise Fail("README", "names no `man fare` or no %s, or is over 4 KiB" % given.licence)


def test_program(given):
    same_run("the report", piped([given.program], table.TRIP.typed), 0, table.expected(table.TRIP))


class Manual(NamedTuple):
    """The manual page, plain or gzip'd, as installed with program; plain is it unpacked."""
    page: Path
    plain: Path
    version: str
    program: Path


@pytest.fixture
def manual(given, version, tmp_path):
    packed, plain = given.page.read_bytes(), tmp_path / "fare.1"
    plain.write_bytes(gzip.decompress(packed) if given.page.suffix == ".gz" else packed)
    return Manual(given.page, plain, version, given.program)


def groff_quiet(manual):
    quiet(tool("groff"), "-man", "-ww", "-z", manual.plain)


def mandoc_quiet(manual):
    quiet(tool("mandoc"), "-T", "lint", manual.plain)


def man_shows_it_with_the_version(manual):
    shown = man(manual.page)
    assert re.search(r"^ *fare - price a trip", shown, re.M), shown[:300]
    assert shown.splitlines()[-1].startswith("fare %s " % manual.version), "the footer"


def examples_print_what_it_says(manual):
    """Each "$ printf ... | fare", run with the program as fare, prints the lines under it up to the
    shell's prompt (blanks at line ends aside)."""
    examples = re.findall(r"^( +)\$ (printf .* \| fare)\n((?:\1.*\n)*?\1.* \$)$", man(manual.page), re.M)
    assert examples, "no piped example"
    path = dict(os.environ, PATH=str(manual.program.parent) + os.pathsep + os.environ["PATH"])
    for indent, command, lines in examples:
        printed = re.sub(r" +\n", "\n", piped(["sh", "-c", command], b"", env=path).stdout.decode())
        assert printed + "$" == re.sub("^" + indent, "", lines, flags=re.M), command


@pytest.mark.parametrize("check", [groff_quiet, mandoc_quiet, man_shows_it_with_the_version,
                                   examples_print_what_it_says])
def test_manual(manual, check):
    check(manual)


@pytest.mark.installed
def test_installed_manual_no_line_spread_at_manwidth_60_to_120(prefix, tmp_path):
    """No line is spread: justified, its gaps between words grew by two blanks or more on average
    over the same line of the page unjustified (.ad l)."""
    page, ragged, grown_any = prefix / "share/man/man1/fare.1", tmp_path / "ragged.1", False
    ragged.write_bytes(b".ad l\n" + page.read_bytes())
    for width in range(60, 121):
        shown = (man(name, width).splitlines() for name in (page, ragged))
        for line, left in itertools.zip_longest(*shown, fillvalue=""):
            grown, gaps = len(line.rstrip()) - len(left.rstrip()), len(left.split()) - 1
            grown_any |= grown > 0
            if line.split() != left.split() or grown >= 2 * gaps > 0:
                raise Fail("MANWIDTH=%d" % width, "a spread line: %r\nunjustified: %r" % (line, left))
    assert grown_any, "man -l justifies no line at any width"


@pytest.mark.deb
def test_deb_declares_what_it_needs(package):
    assert "libc6" in said(tool("dpkg-deb"), "-f", package, "Depends")[1]


@pytest.mark.deb
def test_deb_manual_page_is_the_one_installed(deb, prefix):
    packed = (deb / "usr/share/man/man1/fare.1.gz").read_bytes()
    assert gzip.decompress(packed) == (prefix / "share/man/man1/fare.1").read_bytes()


@pytest.mark.deb
def test_deb_lintian_no_error_no_warning_no_hardening_tag_but_no_bindnow(package):
    status, lintian = said(tool("lintian"), "--allow-root", "--fail-on", "error,warning", "--display-info",
                           "--show-overrides", package)
    if status or re.search(r"hardening-(?!no-bindnow)", lintian):
        raise Fail("lintian", lintian)


@pytest.mark.deb
@pytest.mark.parametrize("which", ["built", "packaged"])
def test_deb_hardening_check(build, deb, which):
    # Every protection but immediate binding, off on purpose, and control-flow protection, which the
    # linker drops because Debian 12's C library start files lack its marking.
    program = os.path.join(build, "fare") if which == "built" else deb / "usr/bin/fare"
    quiet(tool("hardening-check"), "--quiet", "--nobindnow", "--nocfprotection", program)


@pytest.fixture(scope="module")
def zipped(package, tmp_path_factory):
    """The zip's one folder, unpacked, named after the zip."""
    if not package.endswith(".zip"):
        pytest.skip("not a Windows build")
    unpacked = tmp_path_factory.mktemp("zip")
    zipfile.ZipFile(package).extractall(unpacked)
    return unpacked / os.path.basename(package)[:-len(".zip")]


@pytest.mark.zip
def test_zip_files(zipped):
    holds(zipped.parent, *(zipped.name + "/" + file for file in ("LICENSE.txt", "README.txt", "fare.exe")))


@pytest.mark.zip
def test_zip_exe_is_a_console_program_of_its_word_size(zipped):
    kind = "PE32+" if zipped.name.endswith("win64") else "PE32"
    if not (found := said(tool("file"), "-b", zipped / "fare.exe")[1]).startswith(kind + " executable (console)"):
        raise Fail("fare.exe", "is %s" % found)


@pytest.mark.zip
@pytest.mark.parametrize("text", ["README.txt", "LICENSE.txt"])
def test_zip_text_with_crlf(zipped, build, text):
    original = Path(build, "README-windows.txt") if text == "README.txt" else Path(SOURCE, "LICENSE")
    packed = (zipped / text).read_bytes()
    if re.search(rb"(?<!\r)\n", packed) or packed.replace(b"\r\n", b"\n") != original.read_bytes():
        raise Fail(text, "is not %s with CR LF line ends" % original.name)


@pytest.mark.zip
def test_zip_readme_is_a_windows_users(zipped):
    assert not windows_readme_fault((zipped / "README.txt").read_bytes())
