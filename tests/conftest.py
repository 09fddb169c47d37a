"""The checks' options (--fare, --check) and fixtures: the program under
test and its build, fresh pseudo-terminals, and this process adopting
orphans. A check whose every test skipped exits 77, which CTest takes for
skipped. The helpers the checks import are in launch.py."""
import os

import pytest

import launch


def pytest_addoption(parser):
    parser.addoption("--fare", action="append", help="the program under test, after its emulator if any, one "
                     "word a --fare (default: build-dev/fare); the program's folder is the build")
    parser.addoption("--check", help="the name CTest runs this check under, whose programs tests/tools.txt lists")


def pytest_configure(config):
    launch.CHECK = config.getoption("--check")


def pytest_sessionfinish(session, exitstatus):
    stats = session.config.pluginmanager.get_plugin("terminalreporter").stats
    if exitstatus == pytest.ExitCode.OK and stats.get("skipped") and not stats.get("passed"):
        session.exitstatus = 77  # what CTest's SKIP_RETURN_CODE says


@pytest.fixture(scope="session")
def command(request):
    """The command that runs the program under test: [EMULATOR...] PROGRAM."""
    command = request.config.getoption("--fare") or [os.path.join(launch.SOURCE, "build-dev", "fare")]
    command[-1] = os.path.abspath(command[-1])
    if not os.path.exists(command[-1]):
        raise launch.Fail("--fare", "no program at %s" % command[-1])
    # A kernel without 32-bit support cannot start the 32-bit wine (wine.py).
    if "WINEPREFIX" in os.environ and os.path.exists(note := os.environ["WINEPREFIX"] + ".skipped"):
        with open(note, encoding="utf-8") as why:
            pytest.skip(why.read().strip())
    return command


@pytest.fixture(scope="session")
def build(command):  # the build folder of the program under test
    return os.path.dirname(command[-1])


@pytest.fixture
def new_terminal():
    """Makes fresh pseudo-terminals (launch.Terminal), closed after the test."""
    made = []
    yield lambda change=None: made.append(launch.Terminal(change)) or made[-1]
    for terminal in made:
        terminal.close()


@pytest.fixture
def orphans():
    """This process adopts the orphans of its descendants during the test."""
    launch.adopt_orphans()
    yield
    launch.adopt_orphans(False)
