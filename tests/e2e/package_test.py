"""What a user gets from an install (its prefix), the Debian package and a
Windows zip, made beforehand by the tests' fixtures. hardening-check must find
every protection but immediate binding, off on purpose, and control-flow
protection, which the linker drops because Debian 12's C library start files
lack its marking.

usage: python3 package_test.py installed PREFIX VERSION
       python3 package_test.py deb PACKAGE VERSION PREFIX BUILT_FARE
       python3 package_test.py zip PACKAGE SOURCE_DIR BUILD_DIR
"""
import gzip
import itertools
import os
import re
import subprocess
import sys
import tempfile
import zipfile

import dialogues as table
import docs_test
import launch
import pipe_test
from verdict import Fail, run


def said(*command, env=None):  # status and output, standard error included
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, check=False)
    return done.returncode, done.stdout.decode(errors="replace")


def quiet(*command):  # a check: the command succeeds without a word
    def check():
        if (outcome := said(*command)) != (0, ""):
            raise Fail(command[0], "status %d: %s" % outcome)
    return check


def holds(root, *expected):
    def check():
        found = sorted(os.path.relpath(os.path.join(folder, name), root)
                       for folder, _, names in os.walk(root) for name in names)
        if found != list(expected):
            raise Fail("its files", "%s, not %s" % (found, list(expected)))
    return check


def reports(program):  # the table's first dialogue, piped, without a terminal
    return pipe_test.checks([program], rows=table.DIALOGUES[:1])[0][1]


def manual(what, page, version, program):
    """The page, plain or gzip'd, passes groff and mandoc without a word; man -l
    shows it with "fare VERSION" in its footer, and each of its examples
    "$ printf ... | fare", run with program as fare, prints the lines under it
    up to the shell's prompt (blanks at line ends aside)."""
    plain = os.path.join(SCRATCH, os.path.basename(page) + ".1")
    with open(page, "rb") as packed, open(plain, "wb") as out:
        out.write(gzip.decompress(packed.read()) if page.endswith(".gz") else packed.read())
    shown = said("man", "-l", page, env=dict(os.environ, MANWIDTH="80"))[1]

    def shows_it():
        if not re.search(r"^ *fare - price a trip", shown, re.M):
            raise Fail("man -l", "does not show it: %r" % shown[:300])
        if not shown.splitlines()[-1].startswith("fare %s " % version):
            raise Fail("its footer", "%r names no fare %s" % (shown.splitlines()[-1], version))

    def examples_hold():
        examples = re.findall(r"^( +)\$ (printf .* \| fare)\n((?:\1.*\n)*?\1.* \$)$", shown, re.M)
        if not examples:
            raise Fail("its examples", "no piped example found")
        path = dict(os.environ, PATH=os.path.dirname(program) + os.pathsep + os.environ["PATH"])
        for indent, command, lines in examples:
            printed = re.sub(r" +\n", "\n", launch.piped(["sh", "-c", command], b"", env=path).stdout.decode())
            if printed + "$" != re.sub("^" + indent, "", lines, flags=re.M):
                raise Fail(command, "prints\n%s\ninstead of\n%s" % (printed, lines))

    return [(what + ": groff -man -ww -z", quiet("groff", "-man", "-ww", "-z", plain)),
            (what + ": mandoc -T lint", quiet("mandoc", "-T", "lint", plain)),
            (what + ": man -l shows it", shows_it),
            (what + ": its piped examples print what it shows", examples_hold)]


def user_readme(folder, licence):
    """A README for someone who has the program: `man fare`, the licence's file, no build command,
    Markdown file or unreplaced variable; under 4 KiB, which Debian leaves uncompressed."""
    def check():
        with open(os.path.join(folder, "README"), "rb") as file:
            text = file.read()
        if found := re.search(docs_test.BUILD_COMMAND + rb"|\w+\.md\b|@[A-Z_]+@", text):
            raise Fail("README", "holds %r" % found.group(0))
        if b"man fare" not in text or licence.encode() not in text or len(text) > 4096:
            raise Fail("README", "names no `man fare` or no %s, or is over 4 KiB" % licence)
    return check


def unspread(page):
    """At every MANWIDTH from 60 to 120 no line is spread: justified, its gaps between words grew
    by two blanks or more on average over the same line of the page unjustified (.ad l)."""
    def check():
        ragged, grown_any = os.path.join(SCRATCH, "ragged.1"), False
        with open(page, "rb") as source, open(ragged, "wb") as out:
            out.write(b".ad l\n" + source.read())
        for width in range(60, 121):
            shown = (said("man", "-l", name, env=dict(os.environ, MANWIDTH=str(width)))[1].splitlines()
                     for name in (page, ragged))
            for line, left in itertools.zip_longest(*shown, fillvalue=""):
                grown, gaps = len(line.rstrip()) - len(left.rstrip()), len(left.split()) - 1
                grown_any |= grown > 0
                if line.split() != left.split() or grown >= 2 * gaps > 0:
                    raise Fail("MANWIDTH=%d" % width, "a spread line: %r\nunjustified: %r" % (line, left))
        if not grown_any:
            raise Fail("man -l", "justifies no line at any width")
    return check


def installed(prefix, version):
    program = os.path.join(prefix, "bin/fare")
    return ([("the prefix holds exactly its files", holds(prefix, "bin/fare", "share/doc/fare/LICENSE",
                                                          "share/doc/fare/README", "share/man/man1/fare.1")),
             ("installed bin/fare", reports(program)),
             ("the installed README is a user's", user_readme(prefix + "/share/doc/fare", "LICENSE"))]
            + manual("installed fare.1", os.path.join(prefix, "share/man/man1/fare.1"), version, program)
            + [("installed fare.1: no line spread at MANWIDTH 60 to 120",
                unspread(os.path.join(prefix, "share/man/man1/fare.1")))])


def deb(package, version, prefix, built):
    unpacked = os.path.join(SCRATCH, "deb")
    subprocess.run(["dpkg-deb", "-x", package, unpacked], check=True)
    program, page = unpacked + "/usr/bin/fare", unpacked + "/usr/share/man/man1/fare.1.gz"
    status, lintian = said("lintian", "--allow-root", "--fail-on", "error,warning", "--display-info",
                           "--show-overrides", package)

    def installed_page():
        with gzip.open(page) as packed, open(prefix + "/share/man/man1/fare.1", "rb") as plain:
            if packed.read() != plain.read():
                raise Fail("its manual page", "is not the installed one")

    def declares_dependencies():
        if "libc6" not in (depends := said("dpkg-deb", "-f", package, "Depends")[1]):
            raise Fail("its Depends", "%r names no libc6" % depends)

    def lintian_clean():
        if status or re.search(r"hardening-(?!no-bindnow)", lintian):
            raise Fail("lintian", lintian)

    hardening = ("hardening-check", "--quiet", "--nobindnow", "--nocfprotection")
    return ([("the .deb holds exactly its files",
              holds(unpacked, "usr/bin/fare", "usr/share/doc/fare/README", "usr/share/doc/fare/changelog.gz",
                    "usr/share/doc/fare/copyright", "usr/share/man/man1/fare.1.gz")),
             ("the .deb's usr/bin/fare", reports(program)),
             ("the .deb declares what it needs", declares_dependencies),
             ("the .deb's README is a user's", user_readme(unpacked + "/usr/share/doc/fare", "copyright")),
             ("the .deb's manual page is the installed one", installed_page)]
            + manual("the .deb's fare.1.gz", page, version, program)
            + [("lintian: no error, no warning, no hardening tag but hardening-no-bindnow", lintian_clean),
               ("hardening-check: the built fare", quiet(*hardening, built)),
               ("hardening-check: the .deb's fare", quiet(*hardening, program))])


def windows_zip(package, source, build):
    name = os.path.basename(package)[:-len(".zip")]
    unpacked = os.path.join(SCRATCH, "zip")
    zipfile.ZipFile(package).extractall(unpacked)
    kind = "PE32+" if name.endswith("win64") else "PE32"

    def word_size():
        if not (found := said("file", "-b", unpacked + "/" + name + "/fare.exe")[1]).startswith(
                kind + " executable (console)"):
            raise Fail("fare.exe", "is %s" % found)

    def crlf(text, original):
        def check():
            with open("%s/%s/%s" % (unpacked, name, text), "rb") as file:
                packed = file.read()
            with open(original, "rb") as file:
                if re.search(rb"(?<!\r)\n", packed) or packed.replace(b"\r\n", b"\n") != file.read():
                    raise Fail(text, "is not %s with CR LF line ends" % os.path.basename(original))
        return check

    return [(name + ".zip holds exactly its files", holds(unpacked, *(name + "/" + file for file in (
                "LICENSE.txt", "README.txt", "fare.exe")))),
            (name + ".zip: fare.exe is a %s console program" % kind, word_size),
            ] + [(name + ".zip: %s is %s with CR LF line ends" % (text, os.path.basename(original)),
                  crlf(text, original))
                 for text, original in (("README.txt", os.path.join(build, "README-windows.txt")),
                                        ("LICENSE.txt", os.path.join(source, "LICENSE")))]


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as SCRATCH:
        status = run({"installed": installed, "deb": deb, "zip": windows_zip}[sys.argv[1]](*sys.argv[2:]))
    sys.exit(status)
