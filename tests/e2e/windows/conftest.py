"""Fixtures of the Windows end-to-end suite: the programs under test, the
Linux builds they are compared with, one session of a private Xvfb with a
fresh Wine prefix shared by every test, and, for the tests of the gamma
ramp, a second session on Xorg with the dummy driver (whose
XFree86-VidModeExtension Wine's GDI gamma functions drive); both are
removed when the suite ends.

tests/e2e/windows/run.sh builds the programs and passes them in:
  --windows-exe PATH       veltrane.exe
  --windows-lut PATH       veltrane-lut.exe
  --windows-render PATH    veltrane-render of a Linux build
  --linux-lut PATH         veltrane-lut of a Linux build, the reference for the exported files
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

import e2e_support as e2e  # noqa: E402
from wine_session import SCREEN_HEIGHT, SCREEN_WIDTH, Reference, Session  # noqa: E402

DEFAULT_DISPLAYS = [91, 92, 93, 94]
# Xorg's dummy driver wants a width it can lay out; 1366 is not one.
XORG_WIDTH, XORG_HEIGHT = 1024, 768


def pytest_addoption(parser):
    group = parser.getgroup("veltrane-windows", "Veltrane's Windows program under Wine")
    group.addoption("--windows-exe", help="veltrane.exe to test")
    group.addoption("--windows-lut", help="veltrane-lut.exe to test")
    group.addoption("--windows-render", help="veltrane-render of a Linux build, which draws the reference pages")
    group.addoption("--linux-lut", help="veltrane-lut of a Linux build, whose files the Windows tool's must equal")
    group.addoption("--windows-artifacts", help="folder for screenshots of failed comparisons")
    group.addoption("--windows-displays", default=os.environ.get("VELTRANE_E2E_DISPLAYS", "91,92,93,94"),
                    help="X display numbers the suite may use, as VELTRANE_E2E_DISPLAYS lists them (91-94, 91,92)")


def _existing_file(config, option):
    value = config.getoption(option)
    flag = "--" + option.replace("_", "-")
    if not value:
        raise pytest.UsageError(f"{flag} is required (tests/e2e/windows/run.sh passes it)")
    path = os.path.abspath(value)
    if not os.path.isfile(path):
        raise pytest.UsageError(f"{flag}: {path} does not exist")
    return path


def _display_numbers(config):
    return e2e.parse_display_numbers(config.getoption("windows_displays"), DEFAULT_DISPLAYS)


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
    displays = _display_numbers(pytestconfig)
    artifacts = pytestconfig.getoption("windows_artifacts") or tempfile.mkdtemp(prefix="veltrane-e2e-windows-")
    with Session(SCREEN_WIDTH, SCREEN_HEIGHT, displays, artifacts) as started:
        print(f"\nXvfb {started.display} at {SCREEN_WIDTH}x{SCREEN_HEIGHT}x24, Wine prefix {started.prefix}")
        yield started


@pytest.fixture(scope="session")
def lut_exe(pytestconfig):
    return _existing_file(pytestconfig, "windows_lut")


@pytest.fixture(scope="session")
def linux_lut(pytestconfig):
    return _existing_file(pytestconfig, "linux_lut")


@pytest.fixture(scope="session")
def render(pytestconfig):
    return _existing_file(pytestconfig, "windows_render")


@pytest.fixture(scope="session")
def xorg_session(pytestconfig):
    if os.geteuid() != 0:
        pytest.skip("the gamma ramp's tests start Xorg with the dummy driver, which needs root")
    displays = _display_numbers(pytestconfig)
    artifacts = pytestconfig.getoption("windows_artifacts") or tempfile.mkdtemp(prefix="veltrane-e2e-windows-")
    with Session(XORG_WIDTH, XORG_HEIGHT, displays, artifacts, server=e2e.XorgDummy) as started:
        print(f"\nXorg (dummy driver) {started.display} at {XORG_WIDTH}x{XORG_HEIGHT}x24, "
              f"Wine prefix {started.prefix}")
        yield started
