"""Shared fixtures of the install, package and command-line tests.

They run against a configured and built linux preset (VELTRANE_LINUX_BUILD_DIR,
default build/linux) and, for the Windows zip, a built and tested windows
preset (VELTRANE_WINDOWS_BUILD_DIR, default build/windows)."""

import os
import re
import subprocess
import sys

import pytest

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e", "common"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))


def _build_dir(variable, default):
    path = os.environ.get(variable, os.path.join(SOURCE_DIR, default))
    return os.path.abspath(path)


@pytest.fixture(scope="session")
def source_dir():
    return SOURCE_DIR


@pytest.fixture(scope="session")
def project_version():
    """The version from the top-level project() call: the one every program,
    package and file name must carry."""
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt")) as f:
        match = re.search(r"project\(\s*veltrane\s+VERSION\s+([0-9.]+)", f.read())
    assert match, "no project(veltrane VERSION ...) in CMakeLists.txt"
    return match.group(1)


@pytest.fixture(scope="session")
def linux_build():
    path = _build_dir("VELTRANE_LINUX_BUILD_DIR", "build/linux")
    if not os.path.isfile(os.path.join(path, "CPackConfig.cmake")):
        pytest.fail(f"{path} is not a configured linux build: run cmake --preset linux and "
                    "cmake --build --preset linux first")
    return path


@pytest.fixture(scope="session")
def windows_build():
    path = _build_dir("VELTRANE_WINDOWS_BUILD_DIR", "build/windows")
    if not os.path.isfile(os.path.join(path, "CPackConfig.cmake")):
        pytest.fail(f"{path} is not a configured windows build: run cmake --preset windows and "
                    "cmake --build --preset windows first")
    return path


@pytest.fixture(scope="session")
def web_build():
    path = _build_dir("VELTRANE_WEB_BUILD_DIR", "build/web")
    if not os.path.isfile(os.path.join(path, "CPackConfig.cmake")):
        pytest.fail(f"{path} is not a configured web build: run cmake --preset web and "
                    "cmake --build --preset web first")
    return path


@pytest.fixture(scope="session")
def built_programs(linux_build):
    """The Linux programs this build made, by name. veltrane-lut is one of
    them once its target exists."""
    candidates = {
        "veltrane": os.path.join(linux_build, "veltrane"),
        "veltrane-render": os.path.join(linux_build, "tools", "veltrane-render"),
        "veltrane-lut": os.path.join(linux_build, "tools", "veltrane-lut"),
    }
    programs = {name: path for name, path in candidates.items() if os.path.isfile(path)}
    for required in ("veltrane", "veltrane-render"):
        assert required in programs, f"{required} was not built in {linux_build}"
    return programs


def run(command, **kwargs):
    """Runs a command, capturing text output; never raises on a non-zero exit."""
    kwargs.setdefault("stdout", subprocess.PIPE)
    kwargs.setdefault("stderr", subprocess.PIPE)
    kwargs.setdefault("text", True)
    kwargs.setdefault("timeout", 300)
    return subprocess.run(command, **kwargs)


def cpack(build_dir, generator, folder, file_name):
    """Builds the package of `build_dir` with CPack's `generator` into
    `folder` and returns the path of `file_name` there, which must exist."""
    result = run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"),
                  "-G", generator, "-B", folder])
    assert result.returncode == 0, result.stdout + result.stderr
    path = os.path.join(folder, file_name)
    assert os.path.isfile(path), f"no {file_name} in {os.listdir(folder)}"
    return path
