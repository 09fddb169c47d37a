"""What a user gets from an install and from the packages, checked as the user
would find them; the install and cpack run before, as the tests' fixtures.

usage: python3 package_test.py installed PREFIX VERSION
       python3 package_test.py deb PACKAGE VERSION PREFIX BUILT_FARE
       python3 package_test.py zip PACKAGE SOURCE_DIR

installed: the prefix holds exactly the program, the manual page, the README
and the licence; the program holds the table's first dialogue; the manual
page passes groff and mandoc without a word, and man -l shows it with
"fare VERSION" in its footer and piped examples that the program bears out.
deb: the same of the unpacked Debian package, whose manual page is the one
installed in PREFIX; lintian finds no error or warning; hardening-check
finds every protection in the built and the packaged program but immediate
binding, off on purpose, and control-flow protection, which the linker drops
because Debian 12's C library start files lack its marking.
zip: a Windows zip holds exactly fare.exe, of the word size in its name, and
the README and licence with CR LF line ends.
"""
import functools
import gzip
import os
import re
import subprocess
import sys
import tempfile
import zipfile

import dialogues as table
import launch
import pipe_test
from verdict import Fail, run

SCRATCH = tempfile.TemporaryDirectory()  # removed when the checks end


def said(*command, env=None):
    """Status and output (standard error after standard output)."""
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, check=False)
    return done.returncode, done.stdout.decode(errors="replace")


def quiet(*command):
    """A check that the command succeeds without a word."""
    def check():
        if (outcome := said(*command)) != (0, ""):
            raise Fail(os.path.basename(command[0]), "status %d: %s" % outcome)
    return check


def holds_exactly(root, expected):
    def check():
        found = sorted(os.path.relpath(os.path.join(folder, name), root)
                       for folder, _, names in os.walk(root) for name in names)
        if found != sorted(expected):
            raise Fail("its files", "%s, not %s" % (found, sorted(expected)))
    return check


def holds_dialogue(program):
    row = table.DIALOGUES[0]
    return lambda: pipe_test.same_run("the report", launch.piped([program], table.typed(row)),
                                      0, table.expected(row), b"")


def manual(what, page, version, program):
    """Checks of a manual page, plain or gzip'd, and of what man -l shows."""
    with open(page, "rb") as packed:
        text = gzip.decompress(packed.read()) if page.endswith(".gz") else packed.read()
    plain = os.path.join(SCRATCH.name, os.path.basename(page) + ".1")
    with open(plain, "wb") as file:
        file.write(text)
    shown = said("man", "-l", page, env=dict(os.environ, MANWIDTH="80"))[1]

    def shows_it():
        if not re.search(r"^ *fare - price a trip", shown, re.M):
            raise Fail("man -l", "does not show it: %r" % shown[:300])
        if not shown.splitlines()[-1].startswith("fare %s " % version):
            raise Fail("its footer", "%r names no fare %s" % (shown.splitlines()[-1], version))

    def examples_hold():
        # Each "$ printf ... | fare", with this program as fare and no
        # terminal, prints the lines under it up to the shell's prompt
        # (blanks at line ends aside).
        examples = re.findall(r"^( +)\$ (printf .* \| fare)\n((?:\1.*\n)*?\1.* \$)$", shown, re.M)
        if not examples:
            raise Fail("its examples", "no piped example found")
        path = dict(os.environ, PATH=os.path.dirname(program) + os.pathsep + os.environ["PATH"])
        for indent, command, lines in examples:
            printed = launch.piped(["sh", "-c", command], b"", env=path).stdout.decode()
            printed = re.sub(r" +\n", "\n", printed) + "$"
            if printed != re.sub("^" + indent, "", lines, flags=re.M):
                raise Fail(command, "prints\n%s\ninstead of\n%s" % (printed, lines))

    return [(what + ": groff -man -ww -z", quiet("groff", "-man", "-ww", "-z", plain)),
            (what + ": mandoc -T lint", quiet("mandoc", "-T", "lint", plain)),
            (what + ": man -l shows it", shows_it),
            (what + ": its piped examples print what it shows", examples_hold)]


def installed(prefix, version):
    files = ["bin/fare", "share/doc/fare/LICENSE", "share/doc/fare/README.md", "share/man/man1/fare.1"]
    program = os.path.join(prefix, "bin/fare")
    return ([("the prefix holds exactly its files", holds_exactly(prefix, files)),
             ("installed bin/fare", holds_dialogue(program))]
            + manual("installed fare.1", os.path.join(prefix, "share/man/man1/fare.1"), version, program))


def deb(package, version, prefix, built):
    unpacked = os.path.join(SCRATCH.name, "deb")
    subprocess.run(["dpkg-deb", "-x", package, unpacked], check=True)
    files = ["usr/bin/fare", "usr/share/doc/fare/README.md", "usr/share/doc/fare/changelog.gz",
             "usr/share/doc/fare/copyright", "usr/share/man/man1/fare.1.gz"]
    program, page = os.path.join(unpacked, "usr/bin/fare"), os.path.join(unpacked, "usr/share/man/man1/fare.1.gz")
    lintian = functools.cache(lambda: said("lintian", "--allow-root", "--fail-on", "error,warning",
                                           "--display-info", "--show-overrides", package))

    def same_page():
        with gzip.open(page) as packed, open(os.path.join(prefix, "share/man/man1/fare.1"), "rb") as plain:
            if packed.read() != plain.read():
                raise Fail("its manual page", "is not the installed one")

    def lintian_clean():
        if lintian()[0]:
            raise Fail("lintian", lintian()[1])

    def no_hardening_tag():  # but the one for immediate binding
        if tags := re.findall(r".*hardening-(?!no-bindnow).*", lintian()[1]):
            raise Fail("lintian", "\n".join(tags))

    hardening = ["hardening-check", "--quiet", "--nobindnow", "--nocfprotection"]
    return ([("the .deb holds exactly its files", holds_exactly(unpacked, files)),
             ("the .deb's usr/bin/fare", holds_dialogue(program)),
             ("the .deb's manual page is the installed one", same_page)]
            + manual("the .deb's fare.1.gz", page, version, program)
            + [("lintian: no error, no warning", lintian_clean),
               ("lintian: no hardening tag but hardening-no-bindnow", no_hardening_tag),
               ("hardening-check: the built fare", quiet(*hardening, built)),
               ("hardening-check: the .deb's fare", quiet(*hardening, program))])


def windows_zip(package, source):
    name = os.path.basename(package)[:-len(".zip")]
    archive = zipfile.ZipFile(package)

    def word_size():
        kind = subprocess.run(["file", "-b", "-"], input=archive.read(name + "/fare.exe"),
                              stdout=subprocess.PIPE, check=True).stdout.decode()
        wanted = "PE32+ executable (console)" if name.endswith("win64") else "PE32 executable (console)"
        if not kind.startswith(wanted):
            raise Fail("fare.exe", "is %s" % kind)

    def crlf(text, original):
        def check():
            packed = archive.read("%s/%s" % (name, text))
            if re.search(rb"(?<!\r)\n", packed):
                raise Fail(text, "has a line without CR LF")
            with open(os.path.join(source, original), "rb") as file:
                if packed.replace(b"\r\n", b"\n") != file.read():
                    raise Fail(text, "is not %s" % original)
        return check

    def holds():
        if (found := sorted(archive.namelist())) != [name + "/" + f for f in ("LICENSE.txt", "README.txt", "fare.exe")]:
            raise Fail("its files", found)

    return [(name + ".zip holds exactly its files", holds),
            (name + ".zip: fare.exe is a %s console program" % name[-5:], word_size),
            (name + ".zip: README.txt is README.md with CR LF line ends", crlf("README.txt", "README.md")),
            (name + ".zip: LICENSE.txt is LICENSE with CR LF line ends", crlf("LICENSE.txt", "LICENSE"))]


if __name__ == "__main__":
    kinds = {"installed": installed, "deb": deb, "zip": windows_zip}
    sys.exit(run(kinds[sys.argv[1]](*sys.argv[2:])))
