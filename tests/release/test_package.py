"""What a user gets: the package of the build's version that cpack makes
(the .deb; on Windows the zip), found beside one of an older version as
after a version bump; a plain install into a fresh prefix. hardening-check
must find every protection but immediate binding, off on purpose, and
control-flow protection, which the linker drops because Debian 12's C
library start files lack its marking. The markers say which CTest check
runs which test: cpack (release.package.cpack, which the deb and zip checks
need first), installed, deb and zip."""
import glob
import gzip
import itertools
import os
import re
import shutil
import subprocess
import zipfile
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


def holds(root, *expected):
    assert sorted(os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, names in os.walk(root) for name in names) == list(expected)


@pytest.fixture(scope="module")
def version(build):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as cache:
        return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache.read(), re.M)[1]


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
                          os.path.join(build, "CPackConfig.cmake"), "-B", str(tmp_path),
                          env=dict(os.environ, PATH=str(tmp_path)))
    assert status != 0 and "dpkg-dev" in output, output


@pytest.fixture(scope="module")
def package(build, version):
    """The package the build made of its version, or a skip: found beside one
    of an older version, as a build folder holds after a version bump."""
    packages = [os.path.join(build, name) for name in PACKAGES]
    older = [name.replace("*", "older") % "0.0.0" for name in packages]
    for name in older:
        open(name, "wb").close()  # noqa: SIM115
    try:
        found = [path for name in packages for path in glob.glob(name % version)]
        if len(found) > 1:
            raise Fail("the package of fare " + version, "more than one: %s" % found)
        yield found[0] if found else pytest.skip("this build made no package")
    finally:
        for name in older:
            os.remove(name)


@pytest.fixture(scope="module")
def prefix(build, tmp_path_factory):
    """A fresh prefix that the build installed into."""
    installed = str(tmp_path_factory.mktemp("installed"))
    status, output = said(shutil.which("cmake"), "--install", build, "--prefix", installed)
    assert status == 0, output
    return installed


@pytest.fixture(scope="module")
def deb(package, tmp_path_factory):
    if not package.endswith(".deb"):
        pytest.skip("not a Debian package build")
    unpacked = str(tmp_path_factory.mktemp("deb"))
    quiet(tool("dpkg-deb"), "-x", package, unpacked)
    return unpacked


class Manual(NamedTuple):
    """The manual page, plain or gzip'd, as installed with program; page is it plain."""
    page: str
    plain: str
    version: str
    program: str

    def shown(self):  # as man -l shows it, 80 columns wide
        return said(tool("man"), "-l", self.page, env=dict(os.environ, MANWIDTH="80"))[1]


def groff_quiet(manual):
    quiet(tool("groff"), "-man", "-ww", "-z", manual.plain)


def mandoc_quiet(manual):
    quiet(tool("mandoc"), "-T", "lint", manual.plain)


def man_shows_it_with_the_version(manual):
    shown = manual.shown()
    assert re.search(r"^ *fare - price a trip", shown, re.M), shown[:300]
    assert shown.splitlines()[-1].startswith("fare %s " % manual.version), "the footer"


def examples_print_what_it_says(manual):
    """Each "$ printf ... | fare", run with the program as fare, prints the lines under it up to the
    shell's prompt (blanks at line ends aside)."""
    examples = re.findall(r"^( +)\$ (printf .* \| fare)\n((?:\1.*\n)*?\1.* \$)$", manual.shown(), re.M)
    assert examples, "no piped example"
    path = dict(os.environ, PATH=os.path.dirname(manual.program) + os.pathsep + os.environ["PATH"])
    for indent, command, lines in examples:
        printed = re.sub(r" +\n", "\n", piped(["sh", "-c", command], b"", env=path).stdout.decode())
        assert printed + "$" == re.sub("^" + indent, "", lines, flags=re.M), command


MANUAL_CHECKS = [groff_quiet, mandoc_quiet, man_shows_it_with_the_version, examples_print_what_it_says]


def manual(page, version, program, scratch):
    plain = os.path.join(scratch, "fare.1")
    with open(page, "rb") as packed, open(plain, "wb") as out:
        out.write(gzip.decompress(packed.read()) if page.endswith(".gz") else packed.read())
    return Manual(page, plain, version, program)


def user_readme(folder, licence):
    """A README for someone who has the program: `man fare`, the licence's file, no build command,
    Markdown file or unreplaced variable; under 4 KiB, which Debian leaves uncompressed."""
    with open(os.path.join(folder, "README"), "rb") as file:
        text = file.read()
    if found := re.search(BUILD_COMMAND + rb"|\w+\.md\b|@[A-Z_]+@", text):
        raise Fail("README", "holds %r" % found.group(0))
    if b"man fare" not in text or licence.encode() not in text or len(text) > 4096:
        raise Fail("README", "names no `man fare` or no %s, or is over 4 KiB" % licence)


class Given(NamedTuple):  # what a user is given: a plain install or the .deb, unpacked
    root: str
    files: list
    program: str
    docs: str
    page: str
    licence: str


@pytest.fixture(params=[pytest.param("installed", marks=pytest.mark.installed),
                        pytest.param("deb", marks=pytest.mark.deb)])
def given(request):
    root = request.getfixturevalue("prefix" if request.param == "installed" else "deb")
    if request.param == "installed":
        return Given(root, ["bin/fare", "share/doc/fare/LICENSE", "share/doc/fare/README", "share/man/man1/fare.1"],
                     root + "/bin/fare", root + "/share/doc/fare", root + "/share/man/man1/fare.1", "LICENSE")
    return Given(root, ["usr/bin/fare", "usr/share/doc/fare/README", "usr/share/doc/fare/changelog.gz",
                        "usr/share/doc/fare/copyright", "usr/share/man/man1/fare.1.gz"],
                 root + "/usr/bin/fare", root + "/usr/share/doc/fare", root + "/usr/share/man/man1/fare.1.gz",
                 "copyright")


def test_files(given):
    holds(given.root, *given.files)


def test_readme_is_a_users(given):
    user_readme(given.docs, given.licence)


def test_program(given):
    same_run("the report", piped([given.program], table.TRIP.typed), 0, table.expected(table.TRIP))


@pytest.mark.parametrize("check", MANUAL_CHECKS)
def test_manual(given, version, check, tmp_path):
    check(manual(given.page, version, given.program, str(tmp_path)))


@pytest.mark.installed
def test_installed_manual_no_line_spread_at_manwidth_60_to_120(prefix, tmp_path):
    """No line is spread: justified, its gaps between words grew by two blanks or more on average
    over the same line of the page unjustified (.ad l)."""
    page, ragged, grown_any = prefix + "/share/man/man1/fare.1", str(tmp_path / "ragged.1"), False
    with open(page, "rb") as source, open(ragged, "wb") as out:
        out.write(b".ad l\n" + source.read())
    for width in range(60, 121):
        shown = (said(tool("man"), "-l", name, env=dict(os.environ, MANWIDTH=str(width)))[1].splitlines()
                 for name in (page, ragged))
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
    with gzip.open(deb + "/usr/share/man/man1/fare.1.gz") as packed, \
            open(prefix + "/share/man/man1/fare.1", "rb") as plain:
        assert packed.read() == plain.read()


@pytest.mark.deb
def test_deb_lintian_no_error_no_warning_no_hardening_tag_but_no_bindnow(package):
    status, lintian = said(tool("lintian"), "--allow-root", "--fail-on", "error,warning", "--display-info",
                           "--show-overrides", package)
    if status or re.search(r"hardening-(?!no-bindnow)", lintian):
        raise Fail("lintian", lintian)


@pytest.mark.deb
@pytest.mark.parametrize("which", ["built", "packaged"])
def test_deb_hardening_check(build, deb, which):
    program = os.path.join(build, "fare") if which == "built" else deb + "/usr/bin/fare"
    quiet(tool("hardening-check"), "--quiet", "--nobindnow", "--nocfprotection", program)


@pytest.fixture(scope="module")
def zipped(package, tmp_path_factory):
    """The zip's folder, unpacked, and its name."""
    if not package.endswith(".zip"):
        pytest.skip("not a Windows build")
    unpacked = str(tmp_path_factory.mktemp("zip"))
    zipfile.ZipFile(package).extractall(unpacked)
    name = os.path.basename(package)[:-len(".zip")]
    return os.path.join(unpacked, name), name


@pytest.mark.zip
def test_zip_files(zipped):
    holds(os.path.dirname(zipped[0]), *(zipped[1] + "/" + file for file in ("LICENSE.txt", "README.txt", "fare.exe")))


@pytest.mark.zip
def test_zip_exe_is_a_console_program_of_its_word_size(zipped):
    kind = "PE32+" if zipped[1].endswith("win64") else "PE32"
    if not (found := said(tool("file"), "-b", zipped[0] + "/fare.exe")[1]).startswith(kind + " executable (console)"):
        raise Fail("fare.exe", "is %s" % found)


@pytest.mark.zip
@pytest.mark.parametrize("text", ["README.txt", "LICENSE.txt"])
def test_zip_text_with_crlf(zipped, build, text):
    original = os.path.join(build, "README-windows.txt") if text == "README.txt" else os.path.join(SOURCE, "LICENSE")
    with open(os.path.join(zipped[0], text), "rb") as file:
        packed = file.read()
    with open(original, "rb") as file:
        if re.search(rb"(?<!\r)\n", packed) or packed.replace(b"\r\n", b"\n") != file.read():
            raise Fail(text, "is not %s with CR LF line ends" % os.path.basename(original))


@pytest.mark.zip
def test_zip_readme_is_a_windows_users(zipped):
    with open(os.path.join(zipped[0], "README.txt"), "rb") as file:
        assert not windows_readme_fault(file.read())
