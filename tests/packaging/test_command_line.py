"""The Linux program's command line as a user meets it: help, version and
mistakes without any display; --list-displays, --display 0 and a display that
does not exist on a virtual X screen.

The X displays tried are VELTRANE_E2E_DISPLAYS ("96-99" or "96,97"), else 96
to 99; the first free one is used. SDL sees one monitor on Xvfb, whatever its
set-up, so choosing among several is covered by the display choice's unit
tests, not here."""

import os
import re
import tempfile

import pytest

from conftest import run

WIDTH, HEIGHT = 1366, 768


def without_display():
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    # A video driver that cannot exist: any attempt to open the display fails
    # loudly instead of finding some other screen.
    env["SDL_VIDEODRIVER"] = "none-in-this-test"
    return env


@pytest.fixture(scope="module")
def program(built_programs):
    return built_programs["veltrane"]


@pytest.mark.parametrize("arguments, code, out_pattern, err_pattern", [
    (["--help"], 0, r"(?s)^Usage: veltrane \[OPTIONS\]$(?=.*--version)(?=.*--display N)(?=.*--list-displays)", r"^$"),
    (["--version"], 0, r"^veltrane \d+\.\d+\.\d+\n$", r"^$"),
    (["--bogus"], 2, r"^$", r"--bogus(?s:.*)--help"),
    (["--display"], 2, r"^$", r"--display"),
    (["--display", "two"], 2, r"^$", r"two"),
    (["--display", "0", "--list-displays"], 2, r"^$", r"cannot be used together"),
], ids=["help", "version", "unknown-option", "display-without-number", "display-not-a-number",
        "display-and-list"])
def test_without_a_display(program, arguments, code, out_pattern, err_pattern):
    result = run([program, *arguments], env=without_display(), timeout=30)
    assert result.returncode == code, result.stderr
    assert re.search(out_pattern, result.stdout, re.M), result.stdout
    assert re.search(err_pattern, result.stderr, re.M), result.stderr


def test_version_is_the_project_version(program, project_version):
    assert run([program, "--version"], env=without_display()).stdout == f"veltrane {project_version}\n"


def test_no_display_at_all_is_a_start_up_failure(program):
    # The program's own start-up failure (-1), not the usage error: the command line was fine.
    result = run([program, "--list-displays"], env=without_display(), timeout=30)
    assert result.returncode == 255
    assert "veltrane: Error: cannot open a screen: " in result.stderr, result.stderr
    assert result.stdout == ""


@pytest.fixture(scope="module")
def xvfb():
    import e2e_support as e2e
    server = e2e.Xvfb.first_free(e2e.display_numbers(range(96, 100)), WIDTH, HEIGHT, 24)
    yield server
    server.stop()


def test_list_displays_on_xvfb(program, xvfb):
    result = run([program, "--list-displays"], env=xvfb.env(), timeout=30)
    assert result.returncode == 0, result.stderr
    assert re.fullmatch(rf"0: \S.* {WIDTH}x{HEIGHT} at 0,0 \(primary\)\n", result.stdout), result.stdout


def test_display_that_does_not_exist_opens_nothing(program, xvfb):
    import e2e_support as e2e
    result = run([program, "--display", "1"], env=xvfb.env(), timeout=30)
    assert result.returncode == 2
    assert result.stderr == "veltrane: there is no display 1: the only display is 0 (see --list-displays)\n"
    assert result.stdout == ""
    assert e2e.find_windows(xvfb, "BaseForm") == []


def test_display_0_shows_the_first_page_full_screen(program, built_programs, xvfb, tmp_path):
    import subprocess

    import e2e_support as e2e
    expected_path = str(tmp_path / "page-0.png")
    rendered = run([built_programs["veltrane-render"], "--page", "0", "--width", str(WIDTH),
                    "--height", str(HEIGHT), "--output", expected_path])
    assert rendered.returncode == 0, rendered.stderr
    env = xvfb.env()
    env["XDG_CONFIG_HOME"] = tempfile.mkdtemp(dir=tmp_path)
    process = subprocess.Popen([program, "--display", "0"], env=env, stderr=subprocess.PIPE, text=True)
    try:
        e2e.wait_for_screen(xvfb, e2e.load_png(expected_path), timeout=20, what="page 0 on display 0")
        e2e.send_keys(xvfb, "Escape")
        assert e2e.wait_for_exit(process, timeout=10) == 0, process.stderr.read()
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
