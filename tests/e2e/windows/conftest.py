"""Fixtures of the Windows end-to-end suite: the program under test, the
headless reference renderer, and one session of a private Xvfb with a fresh
Wine prefix, shared by every test and removed when the suite ends.

tests/e2e/windows/run.sh builds both programs and passes them in:
  --windows-exe PATH       veltrane.exe
  --windows-render PATH    veltrane-render of a Linux build
  --windows-artifacts DIR  where screenshots of failed comparisons go
  --windows-displays LIST  X display numbers the suite may use
                           (default: $VELTRANE_E2E_DISPLAYS, else 91,92,93,94)
"""

import os
import sys
import tempfile

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "common"))
sys.path.insert(0, HERE)

from wine_session import SCREEN_HEIGHT, SCREEN_WIDTH, Reference, Session  # noqa: E402


def pytest_addoption(parser):
    group = parser.getgroup("veltrane-windows", "Veltrane's Windows program under Wine")
    group.addoption("--windows-exe", help="veltrane.exe to test")
    group.addoption("--windows-render", help="veltrane-render of a Linux build, which draws the reference pages")
    group.addoption("--windows-artifacts", help="folder for screenshots of failed comparisons")
    group.addoption("--windows-displays", default=os.environ.get("VELTRANE_E2E_DISPLAYS", "91,92,93,94"),
                    help="comma-separated X display numbers the suite may use")


def _existing_file(config, option):
    value = config.getoption(option)
    flag = "--" + option.replace("_", "-")
    if not value:
        raise pytest.UsageError(f"{flag} is required (tests/e2e/windows/run.sh passes it)")
    path = os.path.abspath(value)
    if not os.path.isfile(path):
        raise pytest.UsageError(f"{flag}: {path} does not exist")
    return path


@pytest.fixture(scope="session")
def exe(pytestconfig):
    return _existing_file(pytestconfig, "windows_exe")


@pytest.fixture(scope="session")
def reference(pytestconfig, tmp_path_factory):
    renderer = _existing_file(pytestconfig, "windows_render")
    # The pages' colours do not depend on the depth the program gets (Wine offers 32 bits per pixel).
    return Reference(renderer, SCREEN_WIDTH, SCREEN_HEIGHT, 32, str(tmp_path_factory.mktemp("reference")))


@pytest.fixture(scope="session")
def session(pytestconfig):
    displays = [int(d) for d in pytestconfig.getoption("windows_displays").split(",") if d.strip()]
    artifacts = pytestconfig.getoption("windows_artifacts") or tempfile.mkdtemp(prefix="veltrane-e2e-windows-")
    with Session(SCREEN_WIDTH, SCREEN_HEIGHT, displays, artifacts) as started:
        print(f"\nXvfb {started.display} at {SCREEN_WIDTH}x{SCREEN_HEIGHT}x24, Wine prefix {started.prefix}")
        yield started
