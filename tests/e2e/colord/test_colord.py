"""veltrane-lut install, uninstall and show, and the Linux program's hold on
the desktop's calibration, against a real colord: a fresh daemon on a
private system bus for every test (private_colord.py), its display devices
made as a desktop session makes them, carrying the X screen's output name
(Xvfb's output is "screen") or a monitor's EDID MD5.

What colord holds is read back through its own D-Bus interface and with
colormgr; the profile files with argyll's iccdump and iccvcgt; every expected
table comes from the pages (veltrane-render's grey grid).

Run with tests/e2e/colord/run.sh, as root (colord accepts changes without
polkit only from root; the refused caller is another user).
  VELTRANE_BUILD_DIR       build folder (default build/linux)
  VELTRANE_E2E_DISPLAYS    X display numbers to try, e.g. "200-209" (default 200-209)
"""

import hashlib
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(HERE, "..", "common"))
sys.path.insert(0, HERE)

import e2e_support as e2e  # noqa: E402
from calibration_files import (EXTREME, TUNED, header_id, iccdump_vcgt, iccvcgt_levels,  # noqa: E402
                               settings_text, sixteen_bit, value_args)
from calibration_files import page_table as render_table  # noqa: E402
from private_colord import PrivateColord, start_bus  # noqa: E402
from xrandr_edid import set_output_edid  # noqa: E402

BUILD_DIR = os.path.abspath(os.environ.get("VELTRANE_BUILD_DIR", os.path.join(ROOT, "build", "linux")))
LUT = os.path.join(BUILD_DIR, "tools", "veltrane-lut")
RENDER = os.path.join(BUILD_DIR, "tools", "veltrane-render")
PROGRAM = os.path.join(BUILD_DIR, "veltrane")

SCREEN_DEVICE = "xrandr-Test-screen"
OUR_FILE = "veltrane-xrandr-Test-screen.icc"

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="colord accepts changes without polkit only from root")


def page_table(values, tmp_path_factory):
    return render_table(RENDER, values, tmp_path_factory)


def run(args, env, check=True, user=None):
    command = args if user is None else ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *args]
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
    if check:
        assert result.returncode == 0, f"{args} gave {result.returncode}: {result.stdout}{result.stderr}"
    return result


def lut_env(tmp_path, bus_address, display=None):
    """The user's folders in tmp_path, the private bus, no stored settings."""
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = str(tmp_path / "config")
    env["XDG_DATA_HOME"] = str(tmp_path / "data")
    env["DBUS_SYSTEM_BUS_ADDRESS"] = bus_address
    env.pop("WAYLAND_DISPLAY", None)
    if display is None:
        env.pop("DISPLAY", None)
    else:
        env["DISPLAY"] = display
    return env


def our_file(tmp_path, name=OUR_FILE):
    return str(tmp_path / "data" / "icc" / name)


def file_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def icc_files(tmp_path):
    folder = tmp_path / "data" / "icc"
    return sorted(os.listdir(folder)) if folder.exists() else []


def open_folder(prefix, owner=None):
    """A folder other users can reach (pytest's own are root's alone)."""
    folder = tempfile.mkdtemp(prefix=prefix)
    os.chmod(folder, 0o755)
    if owner is not None:
        os.chown(folder, owner, owner)
    return folder


@pytest.fixture
def colord():
    # Its bus socket must be reachable by the refused caller, another user.
    folder = open_folder("veltrane-colord-")
    try:
        with PrivateColord(folder) as daemon:
            yield daemon
    finally:
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture
def screen(colord):
    """The display device of the X screen, as a session registers it."""
    return colord.create_device(SCREEN_DEVICE, {"XRANDR_name": "screen"})


def system_profile(colord, name):
    """A profile colord registered itself from its own folder: someone else's."""
    for path in colord.profiles():
        profile = colord.profile(path)
        if profile and profile["Filename"].endswith("/" + name):
            return path
    raise AssertionError(f"colord has no {name}")


def with_default(colord, device, profile):
    colord.add_profile(device, profile)
    colord.make_default(device, profile)


def shown_line(output, device_id):
    lines = [line for line in output.splitlines() if f"(colord device {device_id})" in line]
    assert len(lines) == 1, output
    return lines[0]


# ------------------------------------------------ install, replace, uninstall

def test_install_replace_uninstall_and_show(colord, screen, tmp_path, tmp_path_factory):
    env = lut_env(tmp_path, colord.address)
    other = system_profile(colord, "Bluish.icc")
    with_default(colord, screen, other)
    untouched = colord.create_device("xrandr-Other-HDMI-9", {"XRANDR_name": "HDMI-9"})

    shown = run([LUT, "show", *value_args(TUNED)], env).stdout
    assert "not ours, its table holds something else" in shown_line(shown, SCREEN_DEVICE)
    assert shown_line(shown, "xrandr-Other-HDMI-9").endswith(": no default profile")

    installed = run([LUT, "install", "--output", "screen", *value_args(TUNED)], env).stdout
    path = our_file(tmp_path)
    written_id, computed_id = header_id(file_bytes(path))
    assert written_id == computed_id
    profiles = colord.device(screen)["Profiles"]
    ours = profiles[0]
    profile = colord.profile(ours)
    assert profile["ProfileId"] == "icc-" + computed_id
    assert profile["HasVcgt"] is True
    assert profile["Filename"] == path
    assert profiles[1:] == [other]
    assert colord.profile_for_qualifiers(screen) == ours
    expected = sixteen_bit(page_table(TUNED, tmp_path_factory))
    assert iccdump_vcgt(path) == expected
    assert iccvcgt_levels(path, tmp_path) == expected
    assert "icc-" + computed_id in installed and "'veltrane-lut uninstall' makes the default again" in installed
    assert colord.device(untouched)["Profiles"] == []

    line = shown_line(run([LUT, "show", *value_args(TUNED)], env).stdout, SCREEN_DEVICE)
    assert f"({path}), ours, its table holds this calibration" in line, line
    line = shown_line(run([LUT, "show", *value_args(EXTREME)], env).stdout, SCREEN_DEVICE)
    assert "ours, its table holds something else" in line, line

    # A second install replaces ours and leaves the other tool's profile.
    replaced = run([LUT, "install", "--output", "screen", *value_args(EXTREME)], env).stdout
    profiles = colord.device(screen)["Profiles"]
    _, second_id = header_id(file_bytes(path))
    assert colord.profile(profiles[0])["ProfileId"] == "icc-" + second_id != "icc-" + computed_id
    assert profiles[1:] == [other]
    assert colord.find_profile("icc-" + computed_id) is None
    assert iccdump_vcgt(path) == sixteen_bit(page_table(EXTREME, tmp_path_factory))
    assert "replaces our earlier profile icc-" + computed_id in replaced

    uninstalled = run([LUT, "uninstall", "--output", "screen"], env).stdout
    assert colord.device(screen)["Profiles"] == [other]
    assert colord.profile_for_qualifiers(screen) == other
    assert colord.find_profile("icc-" + second_id) is None
    assert icc_files(tmp_path) == []
    assert f'the default profile is "{colord.profile(other)["Title"]}" again' in uninstalled
    assert "not ours" in shown_line(run([LUT, "show"], env).stdout, SCREEN_DEVICE)


def test_installing_the_same_values_again_changes_nothing(colord, screen, tmp_path):
    env = lut_env(tmp_path, colord.address)
    run([LUT, "install", *value_args(TUNED)], env)
    before, state = file_bytes(our_file(tmp_path)), colord.state()
    again = run([LUT, "install", *value_args(TUNED)], env).stdout
    assert "nothing changed" in again
    assert file_bytes(our_file(tmp_path)) == before
    assert colord.state() == state


# ------------------------------------------------------ choosing the device

MONITOR_EDID = bytes([0, 255, 255, 255, 255, 255, 255, 0]) + bytes(range(8, 128))


@pytest.fixture(scope="module")
def xvfb():
    server = e2e.Xvfb.first_free(e2e.display_numbers(range(200, 210)), 320, 240, 24)
    yield server
    server.stop()


@pytest.mark.parametrize("case", ["output with an EDID", "output without an EDID", "every display"])
def test_the_device_is_found_by_the_monitors_edid_then_by_the_output_name(case, colord, xvfb, tmp_path):
    by_name = colord.create_device("xrandr-by-name", {"XRANDR_name": "screen",
                                                      "OutputEdidMd5": hashlib.md5(b"another monitor").hexdigest()})
    by_edid = colord.create_device("xrandr-by-edid", {"XRANDR_name": "HDMI-9",
                                                      "OutputEdidMd5": hashlib.md5(MONITOR_EDID).hexdigest()})
    set_output_edid(xvfb.name, "screen", MONITOR_EDID if case == "output with an EDID" else None)
    try:
        output = [] if case == "every display" else ["--output", "screen"]
        run([LUT, "install", *output, *value_args(TUNED)], lut_env(tmp_path, colord.address, xvfb.name))
    finally:
        set_output_edid(xvfb.name, "screen", None)
    got = {name: len(colord.device(path)["Profiles"]) for name, path in
           (("by name", by_name), ("by EDID", by_edid))}
    expected = {"output with an EDID": {"by name": 0, "by EDID": 1},
                "output without an EDID": {"by name": 1, "by EDID": 0},
                "every display": {"by name": 1, "by EDID": 1}}[case]
    assert got == expected
    # One profile per display, each made for its device.
    names = {"by name": "veltrane-xrandr-by-name.icc", "by EDID": "veltrane-xrandr-by-edid.icc"}
    assert icc_files(tmp_path) == sorted(names[name] for name, count in expected.items() if count)


# --------------------------------------------------------------- the errors

@pytest.mark.parametrize("command", ["install", "uninstall"])
def test_an_unknown_output_names_the_devices_and_changes_nothing(command, colord, screen, tmp_path):
    env = lut_env(tmp_path, colord.address)
    run([LUT, "install"], env)
    state, files = colord.state(), icc_files(tmp_path)
    result = run([LUT, command, "--output", "HDMI-7"], env, check=False)
    assert result.returncode == 1
    assert "no display device is known for output 'HDMI-7'" in result.stderr, result.stderr
    assert "screen (colord device xrandr-Test-screen)" in result.stderr, result.stderr
    assert colord.state() == state and icc_files(tmp_path) == files


@pytest.mark.parametrize("command", ["install", "uninstall"])
@pytest.mark.parametrize("where", ["no system bus", "no colord on the bus"])
def test_without_colord_the_commands_point_to_the_profile(where, command, tmp_path):
    bus_pid = None
    if where == "no system bus":
        address, reason = "unix:path=" + str(tmp_path / "no-bus"), "no system bus"
    else:
        address, bus_pid = start_bus(str(tmp_path))
        reason = "colord is not running on the system bus"
    try:
        result = run([LUT, command], lut_env(tmp_path, address), check=False)
    finally:
        if bus_pid is not None:
            os.kill(bus_pid, signal.SIGTERM)
    assert result.returncode == 1
    assert "the desktop's colour settings cannot be reached here" in result.stderr, result.stderr
    assert reason in result.stderr, result.stderr
    assert "veltrane-lut icc" in result.stderr and "GNOME: Settings, Colour" in result.stderr
    assert icc_files(tmp_path) == []


def test_a_caller_colord_refuses_is_told_why_and_nothing_changes(colord, screen, tmp_path):
    nobody = 65534
    home = pathlib.Path(open_folder("veltrane-nobody-", owner=nobody))
    env = lut_env(home, colord.address)
    other = system_profile(colord, "Bluish.icc")
    with_default(colord, screen, other)
    state = colord.state()
    result = run([LUT, "install", *value_args(TUNED)], env, check=False, user=nobody)
    assert result.returncode == 1
    assert "colord refused to register the profile" in result.stderr, result.stderr
    assert "polkit" in result.stderr and "at the console" in result.stderr
    try:
        assert colord.state() == state
        assert icc_files(home) == []
    finally:
        shutil.rmtree(home, ignore_errors=True)


# -------------------------------------------------------------- the ghosts

def test_an_entry_colord_never_published_is_never_made_the_default(colord, screen, tmp_path):
    env = lut_env(tmp_path, colord.address)
    other = system_profile(colord, "Bluish.icc")
    with pytest.raises(Exception):
        colord.create_profile("icc-left-by-another-tool", str(tmp_path / "missing.icc"))
    ghost = colord.find_profile("icc-left-by-another-tool")
    assert ghost is not None and colord.profile(ghost) is None
    colord.add_profile(screen, other)
    with_default(colord, screen, ghost)  # colord accepts it
    assert colord.device(screen)["Profiles"][0] == ghost

    line = shown_line(run([LUT, "show"], env).stdout, SCREEN_DEVICE)
    assert f'default profile "{ghost}" cannot be used: colord lists it' in line, line

    installed = run([LUT, "install", *value_args(TUNED)], env).stdout
    ours = colord.device(screen)["Profiles"][0]
    assert colord.profile(ours)["HasVcgt"] is True
    assert f"before, it was {ghost}, an entry colord lists but never published" in installed

    uninstalled = run([LUT, "uninstall"], env).stdout
    assert colord.device(screen)["Profiles"][0] == other
    assert colord.profile_for_qualifiers(screen) == other
    assert f"passing over {ghost}" in uninstalled
    assert ghost in colord.profiles(), "someone else's entry stays"


@pytest.mark.parametrize("meanwhile", ["a failed registration left an entry", "the desktop registered it"])
def test_our_profile_id_already_in_colord(meanwhile, colord, screen, tmp_path):
    env = lut_env(tmp_path, colord.address)
    run([LUT, "install", *value_args(TUNED)], env)
    path = our_file(tmp_path)
    before = file_bytes(path)
    profile_id = "icc-" + header_id(before)[0]
    # The session that had registered it ended; then the id is taken again.
    colord.delete_profile(colord.find_profile(profile_id))
    if meanwhile == "a failed registration left an entry":
        with pytest.raises(Exception):
            colord.create_profile(profile_id, str(tmp_path / "missing.icc"))
        assert colord.profile(colord.find_profile(profile_id)) is None
    else:
        colord.create_profile(profile_id, path)

    run([LUT, "install", *value_args(TUNED)], env)
    default = colord.device(screen)["Profiles"][0]
    profile = colord.profile(default)
    assert profile is not None and profile["ProfileId"] == profile_id and profile["HasVcgt"] is True
    assert colord.profile_for_qualifiers(screen) == default
    assert file_bytes(path) == before
    assert [p for p in colord.profiles() if colord.profile(p) is None] == []


# ------------------------------------------------- the program and the hold

def program_env(tmp_path, colord_address, xvfb, values):
    env = lut_env(tmp_path, colord_address, xvfb.name)
    os.makedirs(tmp_path / "config" / "Kardo")
    (tmp_path / "config" / "Kardo" / "Orlith.conf").write_text(settings_text(values))
    return env


def start_program(xvfb, env, tmp_path):
    log = open(tmp_path / "program.stderr", "wb")
    process = subprocess.Popen([PROGRAM], env=env, stderr=log)
    deadline = time.monotonic() + 15
    while not e2e.find_windows(xvfb, "BaseForm", visible_only=True):
        assert process.poll() is None, f"the program ended with {process.returncode}"
        assert time.monotonic() < deadline, "the program's window did not appear"
        time.sleep(0.1)
    return process


def look_up(env):
    """What a session's look-up of the screen's profile gets, through colormgr."""
    return subprocess.run(["colormgr", "device-get-profile-for-qualifier", SCREEN_DEVICE, "*"], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=20)


def stored_red_gamma(tmp_path):
    return e2e.read_settings_values(str(tmp_path / "config" / "Kardo" / "Orlith.conf"))["MonRG"]


@pytest.mark.parametrize("how", ["Escape", "SIGTERM"])
def test_the_program_holds_our_profile_off_and_installs_the_saved_values(
        how, colord, screen, xvfb, tmp_path, tmp_path_factory):
    env = program_env(tmp_path, colord.address, xvfb, TUNED)
    other = system_profile(colord, "Bluish.icc")
    with_default(colord, screen, other)
    run([LUT, "install"], env)  # our profile of the stored values
    old = colord.device(screen)["Profiles"][0]
    old_id = colord.profile(old)["ProfileId"]

    process = start_program(xvfb, env, tmp_path)
    try:
        assert len(colord.device(screen)["ProfilingInhibitors"]) == 1
        looked_up = look_up(env)
        assert looked_up.returncode != 0 and "profiling" in looked_up.stdout, looked_up.stdout
        e2e.send_keys(xvfb, "Prior")  # red gamma + 0.01
        time.sleep(0.5)
        if how == "SIGTERM":
            process.send_signal(signal.SIGTERM)
        else:
            e2e.send_keys(xvfb, how)
        assert e2e.wait_for_exit(process, timeout=15) == 0
    finally:
        if process.poll() is None:
            process.kill()
    assert stored_red_gamma(tmp_path) == 221

    device = colord.device(screen)
    assert device["ProfilingInhibitors"] == []
    new_id = "icc-" + header_id(file_bytes(our_file(tmp_path)))[0]
    assert colord.profile(device["Profiles"][0])["ProfileId"] == new_id != old_id
    assert device["Profiles"][1:] == [other]
    assert colord.find_profile(old_id) is None
    assert iccdump_vcgt(our_file(tmp_path)) == \
        sixteen_bit(page_table({**TUNED, ("red", "gamma"): 2.21}, tmp_path_factory))
    looked_up = look_up(env)
    assert looked_up.returncode == 0 and new_id in looked_up.stdout, looked_up.stdout


def test_a_killed_program_leaves_no_inhibit_and_the_old_profile(colord, screen, xvfb, tmp_path):
    env = program_env(tmp_path, colord.address, xvfb, TUNED)
    run([LUT, "install"], env)
    profiles, before = colord.device(screen)["Profiles"], file_bytes(our_file(tmp_path))

    process = start_program(xvfb, env, tmp_path)
    assert len(colord.device(screen)["ProfilingInhibitors"]) == 1
    process.kill()
    process.wait(timeout=10)
    deadline = time.monotonic() + 5
    while colord.device(screen)["ProfilingInhibitors"] and time.monotonic() < deadline:
        time.sleep(0.05)
    assert colord.device(screen)["ProfilingInhibitors"] == []
    assert colord.device(screen)["Profiles"] == profiles
    assert colord.profile_for_qualifiers(screen) == profiles[0]
    assert file_bytes(our_file(tmp_path)) == before


def test_the_program_leaves_someone_elses_profile_alone(colord, screen, xvfb, tmp_path):
    env = program_env(tmp_path, colord.address, xvfb, TUNED)
    with_default(colord, screen, system_profile(colord, "Bluish.icc"))
    state = colord.state()
    process = start_program(xvfb, env, tmp_path)
    try:
        assert colord.device(screen)["ProfilingInhibitors"] == []
        e2e.send_keys(xvfb, "Prior")
        time.sleep(0.3)
        e2e.send_keys(xvfb, "Escape")
        assert e2e.wait_for_exit(process, timeout=15) == 0
    finally:
        if process.poll() is None:
            process.kill()
    assert stored_red_gamma(tmp_path) == 221
    assert colord.state() == state and icc_files(tmp_path) == []


def test_without_colord_the_program_runs_as_before(xvfb, tmp_path):
    env = program_env(tmp_path, "unix:path=" + str(tmp_path / "no-bus"), xvfb, TUNED)
    process = start_program(xvfb, env, tmp_path)
    try:
        e2e.send_keys(xvfb, "Prior")
        time.sleep(0.3)
        e2e.send_keys(xvfb, "Escape")
        assert e2e.wait_for_exit(process, timeout=15) == 0
    finally:
        if process.poll() is None:
            process.kill()
    assert stored_red_gamma(tmp_path) == 221
    errors = (tmp_path / "program.stderr").read_text()
    assert "colord" not in errors and "colour settings" not in errors, errors
    assert icc_files(tmp_path) == []

