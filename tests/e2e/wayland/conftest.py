"""Fixtures of the Linux program's end-to-end tests on real Wayland
compositors (pytest). Settings from the environment, as in tests/e2e/sdl:
  VELTRANE_BUILD_DIR           build folder (default build/linux)
  VELTRANE_E2E_DISPLAYS        X display numbers for Weston's Xvfb, comma
                               separated (default 190-193)
  VELTRANE_E2E_ARTIFACTS       folder for the images of failed comparisons
  VELTRANE_E2E_RUNTIME_PREFIX  prefix of the compositors' private
                               XDG_RUNTIME_DIRs (default /tmp/veltrane-wayland-)
  VELTRANE_E2E_SOCKET_PREFIX   prefix of Weston's socket names

Fixtures:
  program_path, render_tool, lut_tool   the programs under test
  screencopy                  our capture client, built once per session
  virtual_pointer             our pointer device for headless sway, the same
  work_dir                    a scratch folder, removed at the end
  reference                   veltrane-render's pictures (veltrane_run.Reference)
  tuned_settings              a settings file with values away from 1.0, and
                              veltrane-render's pictures drawn from it
  start_program               starts veltrane on a compositor with its own
                              settings folder; runs left over are killed
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "common"))
sys.path.insert(0, os.path.join(HERE, "..", "sdl"))
import e2e_support as e2e  # noqa: E402
import veltrane_run  # noqa: E402
import wayland_session as ws  # noqa: E402

# Values away from 1.0 in every kind of parameter, so a page that skipped the
# correction or took the wrong channel would show it.
TUNED_SETTINGS = "MonRG = 180\nMonGB = -20\nMonBC = 130\nMonBG = 90\nMonRB = 110\n"


def extra_displays():
    return e2e.display_numbers(range(190, 194))


@pytest.fixture(scope="session")
def build_dir():
    folder = os.environ.get("VELTRANE_BUILD_DIR", "build/linux")
    return folder if os.path.isabs(folder) else os.path.join(ws.ROOT, folder)


@pytest.fixture(scope="session")
def program_path(build_dir):
    path = os.path.join(build_dir, "veltrane")
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is missing: build it first (tests/e2e/wayland/run.sh does)")
    return path


@pytest.fixture(scope="session")
def render_tool(build_dir):
    path = os.path.join(build_dir, "tools", "veltrane-render")
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is missing: build it first (tests/e2e/wayland/run.sh does)")
    return path


@pytest.fixture(scope="session")
def lut_tool(build_dir):
    path = os.path.join(build_dir, "tools", "veltrane-lut")
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is missing: build it first (tests/e2e/wayland/run.sh does)")
    return path


@pytest.fixture(scope="session")
def work_dir():
    folder = tempfile.mkdtemp(prefix="veltrane-wayland-e2e-")
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="session")
def artifacts():
    return os.environ.get("VELTRANE_E2E_ARTIFACTS") or None


@pytest.fixture(scope="session")
def screencopy(work_dir):
    return ws.build_screencopy(os.path.join(work_dir, "screencopy"))


@pytest.fixture(scope="session")
def virtual_pointer(work_dir):
    return ws.build_virtual_pointer(os.path.join(work_dir, "virtual-pointer"))


@pytest.fixture(scope="session")
def reference(render_tool, work_dir):
    return veltrane_run.Reference(render_tool, work_dir)


class TunedSettings:
    def __init__(self, reference, work_dir):
        self.reference = reference
        self.path = os.path.join(work_dir, "tuned.conf")
        with open(self.path, "w") as f:
            f.write(TUNED_SETTINGS)

    def page(self, page, width, height):
        """veltrane-render's picture of `page` at width x height with these values."""
        return self.reference(page, {}, width, height, ("--settings", self.path))


@pytest.fixture(scope="session")
def tuned_settings(reference, work_dir):
    return TunedSettings(reference, work_dir)


class WaylandRun:
    """One run of the program on a compositor session."""

    def __init__(self, program, session, work_dir, settings_text, env):
        self.session = session
        self.config_home = tempfile.mkdtemp(prefix="config-", dir=work_dir)
        if settings_text is not None:
            os.makedirs(os.path.dirname(self.settings_path()))
            with open(self.settings_path(), "w") as f:
                f.write(settings_text)
        environment = session.env()
        environment["XDG_CONFIG_HOME"] = self.config_home
        for name, value in (env or {}).items():
            if value is None:
                environment.pop(name, None)
            else:
                environment[name] = value
        self.stderr_path = os.path.join(work_dir, f"stderr-{time.monotonic_ns()}.txt")
        with open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen([program], env=environment, stderr=err)

    def settings_path(self):
        return os.path.join(self.config_home, "Kardo", "Orlith.conf")

    def stored_values(self):
        return e2e.read_settings_values(self.settings_path())

    def stderr(self):
        with open(self.stderr_path, errors="replace") as f:
            return f.read()

    def wait_for_exit(self, timeout=10.0):
        code = e2e.wait_for_exit(self.process, timeout)
        self.process = None
        return code

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def start_program(program_path, work_dir):
    runs = []

    def start(session, settings_text=None, env=None):
        run = WaylandRun(program_path, session, work_dir, settings_text, env)
        runs.append(run)
        return run

    yield start
    for run in runs:
        run.kill()


def run_command(program_path, session, *args, env=None):
    """The program run to its end with `args`: (exit code, stdout, stderr)."""
    environment = session.env()
    environment.update(env or {})
    result = subprocess.run([program_path, *args], env=environment, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, timeout=30)
    return result.returncode, result.stdout, result.stderr
