"""Fixtures of the Linux program's end-to-end tests (pytest).

Settings come from the environment, so that every module of this folder and
tests/e2e/sdl/run.sh agree without command-line options:
  VELTRANE_BUILD_DIR      build folder holding veltrane and tools/veltrane-render
                          (default build/linux)
  VELTRANE_E2E_DISPLAY    X display number of the suite's own Xvfb (default 95)
  VELTRANE_E2E_DISPLAYS   further display numbers for extra screens, comma
                          separated (default the four after the main one)
  VELTRANE_E2E_ARTIFACTS  folder for the images of failed comparisons
                          (default: none are kept)

Fixtures:
  build_dir, program_path, render_tool   the programs under test
  xvfb                    the suite's 1366x768x24 screen, one for the session
  extra_xvfb              a factory: extra_xvfb(width, height, font_path=None)
                          starts another screen on a free extra display,
                          stopped after the test
  box_screen              parametrized: the xvfb screen with the X core fonts
                          this machine has, then a screen with only the
                          server's built-in fonts, where SDL's own message
                          box cannot be shown
  work_dir                a scratch folder for the session, removed at its end
  reference               veltrane-render's pictures (veltrane_run.Reference)
  veltrane                a veltrane_run.ProgramRun on the xvfb screen; a run
                          the test leaves running is killed after it
"""

import os
import shutil
import sys
import tempfile

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e_support as e2e  # noqa: E402
import veltrane_run  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))


def _main_display() -> int:
    return int(os.environ.get("VELTRANE_E2E_DISPLAY", "95"))


def _extra_displays():
    return e2e.display_numbers([_main_display() + i for i in range(1, 5)])


@pytest.fixture(scope="session")
def build_dir():
    folder = os.environ.get("VELTRANE_BUILD_DIR", "build/linux")
    return folder if os.path.isabs(folder) else os.path.join(ROOT, folder)


@pytest.fixture(scope="session")
def program_path(build_dir):
    path = os.path.join(build_dir, "veltrane")
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is missing: build it first (tests/e2e/sdl/run.sh does)")
    return path


@pytest.fixture(scope="session")
def render_tool(build_dir):
    path = os.path.join(build_dir, "tools", "veltrane-render")
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is missing: build it first (tests/e2e/sdl/run.sh does)")
    return path


@pytest.fixture(scope="session")
def work_dir():
    folder = tempfile.mkdtemp(prefix="veltrane-e2e-")
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="session")
def artifacts():
    return os.environ.get("VELTRANE_E2E_ARTIFACTS") or None


@pytest.fixture(scope="session")
def xvfb():
    e2e.require_tools("Xvfb", "xdotool", "xwininfo", "import", "convert")
    screen = e2e.Xvfb(_main_display(), veltrane_run.WIDTH, veltrane_run.HEIGHT, 24).start()
    yield screen
    screen.stop()


@pytest.fixture
def extra_xvfb():
    started = []

    def start(width, height, depth=24, font_path=None):
        screen = e2e.Xvfb.first_free(_extra_displays(), width, height, depth, font_path)
        started.append(screen)
        return screen

    yield start
    for screen in started:
        screen.stop()


@pytest.fixture(params=["machine fonts", "built-in fonts only"])
def box_screen(request, xvfb, extra_xvfb):
    if request.param == "machine fonts":
        return xvfb
    return extra_xvfb(veltrane_run.WIDTH, veltrane_run.HEIGHT, font_path="built-ins")


@pytest.fixture(scope="session")
def reference(render_tool, work_dir):
    return veltrane_run.Reference(render_tool, work_dir)


@pytest.fixture
def veltrane(program_path, xvfb, work_dir, reference, artifacts):
    run = veltrane_run.ProgramRun(program_path, xvfb, work_dir, reference, artifacts)
    yield run
    run.stop()
