"""veltrane-lut from the command line: its profile and .cal file read back
by readers we did not write (argyll's iccdump and iccvcgt) and by a small
CGATS reader here; its errors; and, on a virtual X screen, the gamma ramps it
loads, resets and reports, and the Linux program's handover of the ramps.

Every expected table comes from the pages themselves: veltrane-render draws
the grey 16 x 16 grid at 16 x 16 pixels, where pixel (k % 16, k // 16) shows
the level each channel gets for input level k.

Run with pytest (python3-pytest): tests/e2e/lut/run.sh builds what it needs.
  VELTRANE_BUILD_DIR       build folder (default build/linux)
  VELTRANE_E2E_DISPLAYS    X display numbers to try, e.g. "180-189" (default 180-189)
"""

import os
import re
import signal
import subprocess
import sys
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(HERE, "..", "common"))
sys.path.insert(0, HERE)

import e2e_support as e2e  # noqa: E402
from calibration_files import (EXTREME, TUNED, cal_levels, header_id, iccdump_vcgt, read_cal,  # noqa: E402
                               settings_text, sixteen_bit, value_args)
from calibration_files import page_table as render_table  # noqa: E402
from xrandr_ramps import XDisplayRamps  # noqa: E402

BUILD_DIR = os.path.abspath(os.environ.get("VELTRANE_BUILD_DIR", os.path.join(ROOT, "build", "linux")))
LUT = os.path.join(BUILD_DIR, "tools", "veltrane-lut")
RENDER = os.path.join(BUILD_DIR, "tools", "veltrane-render")
PROGRAM = os.path.join(BUILD_DIR, "veltrane")


def page_table(values, tmp_path_factory):
    return render_table(RENDER, values, tmp_path_factory)


def run(args, env=None, check=True):
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
    if check:
        assert result.returncode == 0, f"{args} gave {result.returncode}: {result.stderr}"
    return result


def isolated_env(tmp_path, display=None):
    """No stored settings unless a test writes them; DISPLAY only when given;
    no system bus, so no colord a machine may run joins in."""
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = str(tmp_path / "config")
    env["XDG_DATA_HOME"] = str(tmp_path / "data")
    env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + str(tmp_path / "no-system-bus")
    env.pop("WAYLAND_DISPLAY", None)
    if display is None:
        env.pop("DISPLAY", None)
    else:
        env["DISPLAY"] = display
    return env


# ------------------------------------------------------------------ the files

@pytest.mark.parametrize("values", [TUNED, EXTREME, {}], ids=["tuned", "extreme", "neutral"])
def test_profile_read_by_argyll(values, tmp_path, tmp_path_factory):
    profile = str(tmp_path / "display.icc")
    run([LUT, "icc", profile, *value_args(values)], env=isolated_env(tmp_path))
    expected = sixteen_bit(page_table(values, tmp_path_factory))

    header = run(["iccdump", "-v1", profile]).stdout
    assert re.search(r"Version\s*=\s*2\.4", header), header
    assert re.search(r"Device Class\s*=\s*Display", header), header
    assert iccdump_vcgt(profile) == expected
    with open(profile, "rb") as f:
        written_id, computed_id = header_id(f.read())
    assert written_id == computed_id and written_id != "0" * 32

    extracted = str(tmp_path / "extracted.cal")
    run(["iccvcgt", "-x", profile, extracted])
    _, keywords, _, rows = read_cal(extracted)
    assert len(rows) == 256
    assert cal_levels(rows) == expected
    assert "Veltrane" in keywords.get("DESCRIPTION", ""), keywords


def test_profile_description_names_the_values_or_the_given_text(tmp_path):
    profile = str(tmp_path / "display.icc")
    run([LUT, "icc", profile, "--red-gamma", "2.2", "--blue-contrast", "0.93"], env=isolated_env(tmp_path))
    dump = run(["iccdump", "-v3", "-t", "desc", profile]).stdout
    assert "Veltrane calibration: red B=1 C=1 G=2.2, green B=1 C=1 G=1, blue B=1 C=0.93 G=1" in \
        "".join(re.findall(r"0x[0-9a-f]{4}: (.*)", dump.split("Unicode")[0]))
    run([LUT, "icc", profile, "--description", "Office left screen"], env=isolated_env(tmp_path))
    assert "Office left screen" in run(["iccdump", "-v3", "-t", "desc", profile]).stdout


@pytest.mark.parametrize("values", [TUNED, EXTREME], ids=["tuned", "extreme"])
def test_cal_file_read_back_here_and_by_argyll(values, tmp_path, tmp_path_factory):
    cal = str(tmp_path / "display.cal")
    run([LUT, "cal", cal, *value_args(values)], env=isolated_env(tmp_path))
    table = page_table(values, tmp_path_factory)

    first, keywords, fields, rows = read_cal(cal)
    assert first == "CAL"
    assert keywords["DEVICE_CLASS"] == "DISPLAY" and keywords["COLOR_REP"] == "RGB"
    assert fields == ["RGB_I", "RGB_R", "RGB_G", "RGB_B"]
    assert [round(row[0] * 65535) for row in rows] == [k * 257 for k in range(256)]
    assert cal_levels(rows) == sixteen_bit(table)
    assert [[round(row[c + 1] * 255) for row in rows] for c in range(3)] == table

    # argyll loads our .cal into a profile's vcgt: it reads the file as we meant it.
    base = str(tmp_path / "base.icc")
    merged = str(tmp_path / "merged.icc")
    run([LUT, "icc", base], env=isolated_env(tmp_path))
    run(["iccvcgt", "-i", base, cal, merged])
    assert iccdump_vcgt(merged) == sixteen_bit(table)


def test_values_come_from_the_stored_settings_then_the_options(tmp_path, tmp_path_factory):
    env = isolated_env(tmp_path)
    stored = {("red", "gamma"): 2.2, ("blue", "brightness"): 0.95}
    os.makedirs(tmp_path / "config" / "Kardo")
    (tmp_path / "config" / "Kardo" / "Orlith.conf").write_text(settings_text(stored))
    other = tmp_path / "other.conf"
    other.write_text(settings_text({("green", "contrast"): 0.8}))

    cases = [
        ([], stored),
        (["--red-gamma", "1.5"], {**stored, ("red", "gamma"): 1.5}),
        (["--settings", str(other)], {("green", "contrast"): 0.8}),
        (["--settings", str(other), "--blue-gamma", "2.4"], {("green", "contrast"): 0.8, ("blue", "gamma"): 2.4}),
    ]
    for args, values in cases:
        cal = str(tmp_path / "out.cal")
        run([LUT, "cal", cal, *args], env=env)
        assert cal_levels(read_cal(cal)[3]) == sixteen_bit(page_table(values, tmp_path_factory)), args
    # The options may also come before the subcommand.
    run([LUT, "--red-gamma", "1.5", "cal", cal], env=env)
    assert cal_levels(read_cal(cal)[3]) == sixteen_bit(page_table({**stored, ("red", "gamma"): 1.5},
                                                                  tmp_path_factory))


@pytest.mark.parametrize("command", ["icc", "cal"])
def test_unwritable_paths_fail_clearly_and_leave_nothing(command, tmp_path):
    env = isolated_env(tmp_path)
    folder = tmp_path / "out"
    folder.mkdir()
    existing = folder / "kept.file"
    existing.write_bytes(b"old contents")
    cases = [
        (str(folder / "missing" / "x"), "No such file or directory"),
        (str(folder), "it is a folder"),
    ]
    for path, reason in cases:
        result = run([LUT, command, path], env=env, check=False)
        assert result.returncode != 0, path
        assert path in result.stderr and reason in result.stderr, result.stderr
    if command == "icc":
        result = run([LUT, "icc", str(existing), "--description", "caf\u00e9"], env=env, check=False)
        assert result.returncode != 0 and "ASCII" in result.stderr, result.stderr
    assert sorted(os.listdir(folder)) == ["kept.file"]
    assert existing.read_bytes() == b"old contents"


@pytest.mark.parametrize("command", [["apply"], ["reset"], ["show"], ["apply", "--output", "screen"]])
def test_without_x11_the_ramp_commands_point_to_the_profile(command, tmp_path):
    result = run([LUT, *command], env=isolated_env(tmp_path), check=False)
    assert result.returncode != 0
    assert "cannot be reached here" in result.stderr
    assert "veltrane-lut icc" in result.stderr and "colour settings" in result.stderr


# ------------------------------------------------------- the ramps, on Xvfb

@pytest.fixture(scope="module")
def xvfb():
    server = e2e.Xvfb.first_free(e2e.display_numbers(range(180, 190)), 320, 240, 24)
    yield server
    server.stop()


@pytest.fixture
def ramps(xvfb):
    with XDisplayRamps(xvfb.name) as display:
        # Xvfb starts with whatever its memory held: begin every test from identity.
        for crtc in display.crtcs():
            display.set_ramp(crtc, identity(len(display.ramp(crtc)[0])))
        yield display


def identity(size):
    channel = [(2 * i * 65535 + (size - 1)) // (2 * (size - 1)) for i in range(size)]
    return (channel, list(channel), list(channel))


def resampled(table, size):
    """The table at each ramp entry's nearest 8-bit level, in 16 bits."""
    levels = [(2 * i * 255 + (size - 1)) // (2 * (size - 1)) for i in range(size)]
    return tuple([table[c][k] * 257 for k in levels] for c in range(3))


def show_states(output):
    return re.findall(r"CRTC \d+ \(([^)]*)\), (\d+) entries: (.+)", output)


def test_apply_reset_and_show(xvfb, ramps, tmp_path, tmp_path_factory):
    env = isolated_env(tmp_path, xvfb.name)
    crtcs = ramps.crtcs()
    assert crtcs
    sizes = {len(ramps.ramp(c)[0]) for c in crtcs}
    print("ramp sizes seen:", sorted(sizes))

    assert [s[2] for s in show_states(run([LUT, "show", *value_args(TUNED)], env=env).stdout)] == \
        ["identity"] * len(crtcs)

    applied = run([LUT, "apply", *value_args(TUNED)], env=env).stdout
    table = page_table(TUNED, tmp_path_factory)
    for crtc in crtcs:
        ramp = ramps.ramp(crtc)
        assert ramp == resampled(table, len(ramp[0])), f"CRTC {crtc}"
    assert "loaded this calibration" in applied
    shown = run([LUT, "show", *value_args(TUNED)], env=env).stdout
    assert [s[2] for s in show_states(shown)] == ["this calibration"] * len(crtcs)
    assert "Veltrane calibration: red B=1 C=1 G=2.2" in shown
    assert re.search(r"128 -> +%d +%d +%d" % (table[0][128], table[1][128], table[2][128]), shown), shown
    # The same ramps, seen with other values, hold something else.
    assert [s[2] for s in show_states(run([LUT, "show", *value_args(EXTREME)], env=env).stdout)] == \
        ["something else"] * len(crtcs)

    run([LUT, "reset", "--output", "screen"], env=env)
    for crtc in crtcs:
        ramp = ramps.ramp(crtc)
        assert ramp == identity(len(ramp[0]))
    assert [s[2] for s in show_states(run([LUT, "show", *value_args(TUNED)], env=env).stdout)] == \
        ["identity"] * len(crtcs)

    run(["xrandr", "--output", "screen", "--gamma", "0.8:0.9:1.0"], env=env)
    assert [s[2] for s in show_states(run([LUT, "show", *value_args(TUNED)], env=env).stdout)] == \
        ["something else"] * len(crtcs)


def test_unknown_output_is_refused_and_names_the_outputs(xvfb, ramps, tmp_path):
    before = ramps.ramps()
    result = run([LUT, "apply", "--output", "HDMI-9", "--red-gamma", "2.2"],
                 env=isolated_env(tmp_path, xvfb.name), check=False)
    assert result.returncode != 0
    assert "HDMI-9" in result.stderr and "screen" in result.stderr, result.stderr
    assert ramps.ramps() == before


# ------------------------------------------- the Linux program and the ramps

def interrupt_as_in_a_terminal():
    """In the child before the program starts: Ctrl+C's signal at its default.
    A run started in the background (nohup, `&` in a script) passes SIGINT
    on ignored, and the program rightly keeps ignoring it then."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def start_program(xvfb, env):
    log = open(env["XDG_CONFIG_HOME"] + ".stderr", "wb")
    process = subprocess.Popen([PROGRAM], env=env, stderr=log, preexec_fn=interrupt_as_in_a_terminal)
    deadline = time.monotonic() + 15
    while not e2e.find_windows(xvfb, "BaseForm", visible_only=True):
        assert process.poll() is None, f"the program ended with {process.returncode}"
        assert time.monotonic() < deadline, "the program's window did not appear"
        time.sleep(0.1)
    return process


def stored(env):
    return e2e.read_settings_values(os.path.join(env["XDG_CONFIG_HOME"], "Kardo", "Orlith.conf"))


def program_env(tmp_path, xvfb, values):
    env = isolated_env(tmp_path, xvfb.name)
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "Kardo"))
    with open(os.path.join(env["XDG_CONFIG_HOME"], "Kardo", "Orlith.conf"), "w") as f:
        f.write(settings_text(values))
    return env


def end_program(xvfb, process, how):
    if how == "SIGTERM":
        process.send_signal(signal.SIGTERM)
    elif how == "SIGINT":
        process.send_signal(signal.SIGINT)
    else:
        e2e.send_keys(xvfb, how)
    assert e2e.wait_for_exit(process, timeout=15) == 0


@pytest.mark.parametrize("how", ["Escape", "alt+F4", "SIGTERM", "SIGINT"])
def test_program_shows_identity_while_running_and_loads_the_new_table_at_exit(
        how, xvfb, ramps, tmp_path, tmp_path_factory):
    env = program_env(tmp_path, xvfb, TUNED)
    run([LUT, "apply"], env=env)  # our table for the stored values
    crtcs = ramps.crtcs()

    process = start_program(xvfb, env)
    try:
        for crtc in crtcs:
            ramp = ramps.ramp(crtc)
            assert ramp == identity(len(ramp[0])), "the ramp must be identity while the program runs"
        # Page Up raises the red gamma by 0.01; the key is handled before the exit request.
        e2e.send_keys(xvfb, "Prior")
        time.sleep(0.5)
        end_program(xvfb, process, how)
    finally:
        if process.poll() is None:
            process.kill()
    assert stored(env)["MonRG"] == 221
    table = page_table({**TUNED, ("red", "gamma"): 2.21}, tmp_path_factory)
    for crtc in crtcs:
        ramp = ramps.ramp(crtc)
        assert ramp == resampled(table, len(ramp[0])), f"CRTC {crtc} after {how}"
    assert [s[2] for s in show_states(run([LUT, "show"], env=env).stdout)] == ["this calibration"] * len(crtcs)


@pytest.mark.parametrize("loaded", ["other tool", "identity", "other values"])
def test_program_leaves_ramps_it_did_not_load(loaded, xvfb, ramps, tmp_path):
    env = program_env(tmp_path, xvfb, TUNED)
    if loaded == "other tool":
        run(["xrandr", "--output", "screen", "--gamma", "0.8:0.9:1.0"], env=env)
    elif loaded == "other values":
        run([LUT, "apply", *value_args(EXTREME)], env=env)
    before = ramps.ramps()

    process = start_program(xvfb, env)
    try:
        time.sleep(0.5)
        assert ramps.ramps() == before, "changed while running"
        e2e.send_keys(xvfb, "Prior")
        time.sleep(0.3)
        end_program(xvfb, process, "Escape")
    finally:
        if process.poll() is None:
            process.kill()
    assert stored(env)["MonRG"] == 221
    assert ramps.ramps() == before, "changed at exit"
