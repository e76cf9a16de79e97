"""veltrane-render --settings: a file it cannot use is a clear message and a
non-zero exit, never a silent default or a wait on a FIFO; lines it cannot use
are named and the rest is drawn.

Run as: python3 -m pytest tests/e2e/sdl/test_render_settings.py
  VELTRANE_BUILD_DIR  build folder (default build/linux; built here)
"""

import os
import subprocess

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))


@pytest.fixture(scope="module")
def render():
    folder = os.path.join(ROOT, os.environ.get("VELTRANE_BUILD_DIR", "build/linux"))
    subprocess.run(["cmake", "--build", folder, "--target", "veltrane-render"], check=True, stdout=subprocess.DEVNULL)
    tool = os.path.join(folder, "tools", "veltrane-render")

    def run(settings, output):
        return subprocess.run([tool, "--settings", settings, "--page", "0", "--width", "16", "--height", "8",
                               "--no-caption", "--output", output],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=20)
    return run


def make_fifo(path):
    os.mkfifo(path)


def make_folder(path):
    os.mkdir(path)


def make_device_link(path):
    os.symlink("/dev/null", path)


def make_oversized(path):
    with open(path, "wb") as f:
        f.write(b"#" * (1024 * 1024 + 1))


def make_unreadable(path):
    # A link to itself cannot be read by anyone, root included.
    os.symlink(os.path.basename(path), path)


@pytest.mark.parametrize("make, says", [
    (make_fifo, "is a FIFO, not a regular file"),
    (make_folder, "is a folder"),
    (make_device_link, "is a character device, not a regular file"),
    (make_oversized, "more than a settings file can be"),
    (make_unreadable, "Too many levels of symbolic links"),
])
def test_a_file_it_cannot_use_stops_it_with_a_reason(render, tmp_path, make, says):
    settings = str(tmp_path / "Orlith.conf")
    make(settings)
    output = str(tmp_path / "page.png")
    result = render(settings, output)  # the timeout fails a run that blocks
    assert result.returncode != 0, result.stderr
    assert says in result.stderr, result.stderr
    assert not os.path.exists(output), "a picture was written with values not asked for"


def test_unusable_lines_are_named_and_the_rest_is_drawn(render, tmp_path):
    settings = tmp_path / "Orlith.conf"
    settings.write_bytes(b"\xef\xbb\xbfMonRB = 120\nMonGG = 2.2\n")
    plain = tmp_path / "plain.conf"
    plain.write_text("MonRB = 120\n")
    result = render(str(settings), str(tmp_path / "a.png"))
    assert result.returncode == 0, result.stderr
    assert result.stderr == (f"veltrane-render: {settings}: line 2: `MonGG = 2.2`: "
                             "values are whole hundredths, such as 220; it is not used\n")
    assert render(str(plain), str(tmp_path / "b.png")).returncode == 0
    assert (tmp_path / "a.png").read_bytes() == (tmp_path / "b.png").read_bytes(), \
        "the line behind the byte-order mark was not read"
