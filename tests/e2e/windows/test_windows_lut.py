"""End to end: veltrane-lut.exe under Wine, and veltrane.exe's handover of
the gamma ramp.

On Xvfb: the profile and the .cal file equal the Linux tool's for the same
values, byte for byte but for the moment they were made, and argyll reads
them back; the values come from the registry, a settings file or the
options; bad paths give a clear error and leave nothing behind.

On Xorg with the dummy driver, whose XFree86-VidModeExtension ramp Wine's
GetDeviceGammaRamp and SetDeviceGammaRamp drive (read here from outside Wine
with XF86VidModeGetGammaRamp): apply, reset and show; a ramp Wine refuses;
and veltrane.exe started with our table in the ramp, or another tool's. The
ramp outlives the programs: every test there starts and ends at identity."""

import os
import re
import subprocess
import time

import pytest

import e2e_support as e2e
from calibration_files import (NAMES, cal_levels, header_id, iccdump_vcgt, page_table, read_cal, settings_text,
                               sixteen_bit, value_args)
from vidmode_ramps import VidModeRamp
from wine_session import registry_values

APP_KEY = r"HKCU\Software\Kardo\Orlith"
MAKER_KEY = r"HKCU\Software\Kardo"

# A black lifted by a brightness above 1.0 is a ramp Wine refuses: these
# values stay below, so the same ones serve the files and the ramp.
TUNED = {("red", "gamma"): 2.2, ("green", "gamma"): 1.8, ("blue", "contrast"): 0.93,
         ("green", "brightness"): 0.98}
EXTREME = {("red", "gamma"): -3.0, ("green", "contrast"): 0.0, ("blue", "brightness"): 40.0,
           ("blue", "gamma"): 0.0}
# The ICC header's creation date (bytes 24-35) and profile ID (84-99).
PROFILE_MASKS = [(24, 36), (84, 100)]


def windows_path(path):
    """A path of this machine as a Windows program under Wine names it (drive Z:)."""
    return "Z:" + str(path).replace("/", "\\")


def masked_profile(data):
    data = bytearray(data)
    for start, end in PROFILE_MASKS:
        data[start:end] = bytes(end - start)
    return bytes(data)


def masked_cal(data):
    return b"\n".join(b'CREATED "-"' if line.startswith(b"CREATED ") else line for line in data.split(b"\n"))


def run(*args, env=None):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=60)


def linux_export(linux_lut, command, path, args, tmp_path):
    """The Linux tool's file for the same values, with no stored settings."""
    env = dict(os.environ, XDG_CONFIG_HOME=str(tmp_path / "linux-config"))
    env.pop("DISPLAY", None)
    result = run(linux_lut, command, str(path), *args, env=env)
    assert result.returncode == 0, result.stderr
    return path.read_bytes()


def lut(session, lut_exe, *args):
    return session.run(lut_exe, *args)


@pytest.fixture
def empty_registry(session):
    session.wine("reg", "delete", MAKER_KEY, "/f")
    yield
    session.wine("reg", "delete", MAKER_KEY, "/f")


# ------------------------------------------------------------ the files, on Xvfb

@pytest.mark.parametrize("values", [TUNED, EXTREME, {}], ids=["tuned", "extreme", "neutral"])
def test_profile_and_cal_equal_the_linux_tools_and_argyll_reads_them(
        values, session, lut_exe, linux_lut, render, empty_registry, tmp_path, tmp_path_factory):
    for command in ("icc", "cal"):
        made = tmp_path / f"windows.{command}"
        result = lut(session, lut_exe, command, windows_path(made), *value_args(values))
        assert result.returncode == 0, result.stderr
        assert f"Wrote the {'profile' if command == 'icc' else 'calibration'} " in result.stdout, result.stdout
        reference = linux_export(linux_lut, command, tmp_path / f"linux.{command}", value_args(values), tmp_path)
        mask = masked_profile if command == "icc" else masked_cal
        assert mask(made.read_bytes()) == mask(reference), f"{command}: the Windows tool's file differs"

    profile = str(tmp_path / "windows.icc")
    recorded, computed = header_id((tmp_path / "windows.icc").read_bytes())
    assert recorded == computed, "the profile's id is not the MD5 of its contents"
    expected = sixteen_bit(page_table(render, values, tmp_path_factory))
    header = run("iccdump", "-v1", profile).stdout
    assert re.search(r"Version\s*=\s*2\.4", header), header
    assert re.search(r"Device Class\s*=\s*Display", header), header
    assert iccdump_vcgt(profile) == expected
    extracted = str(tmp_path / "extracted.cal")
    assert run("iccvcgt", "-x", profile, extracted).returncode == 0
    assert cal_levels(read_cal(extracted)[3]) == expected
    assert cal_levels(read_cal(str(tmp_path / "windows.cal"))[3]) == expected


def test_values_come_from_the_registry_then_a_settings_file_then_the_options(
        session, lut_exe, linux_lut, empty_registry, tmp_path):
    # As the program stores them: signed hundredths as REG_DWORD; a value of
    # another type counts as missing (1.0), as it does for the program.
    session.wine("reg", "add", APP_KEY, "/v", "MonRG", "/t", "REG_DWORD", "/d", "220", "/f")
    session.wine("reg", "add", APP_KEY, "/v", "MonBC", "/t", "REG_DWORD", "/d", str(-40 & 0xFFFFFFFF), "/f")
    session.wine("reg", "add", APP_KEY, "/v", "MonGG", "/t", "REG_SZ", "/d", "180", "/f")
    stored = {("red", "gamma"): 2.2, ("blue", "contrast"): -0.4}
    registry_before = registry_values(session, APP_KEY)
    settings = tmp_path / "office.conf"
    settings.write_text(settings_text({("green", "contrast"): 0.8}) + "MonBG = 2.2\n")

    cases = [
        ([], stored),
        (["--red-gamma", "1.5"], {**stored, ("red", "gamma"): 1.5}),
        (["--settings", windows_path(settings)], {("green", "contrast"): 0.8}),
        (["--settings", windows_path(settings), "--blue-gamma", "2.4"],
         {("green", "contrast"): 0.8, ("blue", "gamma"): 2.4}),
    ]
    for args, values in cases:
        made = tmp_path / "windows.cal"
        result = lut(session, lut_exe, "cal", windows_path(made), *args)
        assert result.returncode == 0, f"{args}: {result.stderr}"
        reference = linux_export(linux_lut, "cal", tmp_path / "linux.cal", value_args(values), tmp_path)
        assert masked_cal(made.read_bytes()) == masked_cal(reference), args
        if "--settings" in args:
            assert "line 2: `MonBG = 2.2`: values are whole hundredths" in result.stderr, result.stderr
    shown = lut(session, lut_exe, "show").stdout
    assert r"Values from the registry key HKEY_CURRENT_USER\Software\Kardo\Orlith:" in shown, shown
    assert "red B=1 C=1 G=2.2, green B=1 C=1 G=1, blue B=1 C=-0.4 G=1" in shown, shown
    assert registry_values(session, APP_KEY) == registry_before, "the tool changed the registry"


def test_without_stored_values_nothing_is_created(session, lut_exe, empty_registry, tmp_path):
    result = lut(session, lut_exe, "show")
    assert "Values from no stored settings in the registry (all values 1.0)" in result.stdout, result.stdout
    assert registry_values(session, MAKER_KEY) is None, "a registry key was created"


def test_bad_paths_fail_clearly_and_leave_nothing(session, lut_exe, empty_registry, tmp_path):
    folder = tmp_path / "out"
    folder.mkdir()
    kept = folder / "kept.icc"
    kept.write_bytes(b"old contents")
    cases = [
        (["icc", windows_path(folder / "missing" / "x.icc")], "does not exist"),
        (["cal", windows_path(folder)], "it is a folder"),
        (["icc", windows_path(kept), "--description", "caf\u00e9"], "ASCII"),
        (["cal", windows_path(folder / "x.cal"), "--settings", windows_path(tmp_path / "none.conf")],
         "does not exist"),
    ]
    for args, reason in cases:
        result = lut(session, lut_exe, *args)
        assert result.returncode == 1, f"{args}: exit {result.returncode}"
        assert reason in result.stderr, f"{args}: {result.stderr}"
    assert sorted(os.listdir(folder)) == ["kept.icc"], "a partial or temporary file was left"
    assert kept.read_bytes() == b"old contents"

    # A name outside the code page reaches the file system as it was typed.
    result = lut(session, lut_exe, "icc", windows_path(folder / "caf\u00e9.icc"))
    assert result.returncode == 0, result.stderr
    assert sorted(os.listdir(folder)) == ["caf\u00e9.icc", "kept.icc"]


def test_an_existing_file_is_replaced_whole_and_a_link_stays_a_link(
        session, lut_exe, linux_lut, empty_registry, tmp_path):
    folder = tmp_path / "out"
    folder.mkdir()
    (folder / "real.cal").write_bytes(b"old contents")
    (folder / "link.cal").symlink_to("real.cal")
    for name in ("real.cal", "link.cal"):
        result = lut(session, lut_exe, "cal", windows_path(folder / name), "--red-gamma", "2.2")
        assert result.returncode == 0, result.stderr
    reference = linux_export(linux_lut, "cal", tmp_path / "linux.cal", ["--red-gamma", "2.2"], tmp_path)
    assert masked_cal((folder / "real.cal").read_bytes()) == masked_cal(reference)
    assert os.readlink(folder / "link.cal") == "real.cal"
    assert sorted(os.listdir(folder)) == ["link.cal", "real.cal"], "a temporary file was left"


# ------------------------------------------------ the gamma ramp, on Xorg

def ramp_levels(ramp):
    """A ramp's entries at 8 bits, the precision the X server keeps."""
    return [[entry >> 8 for entry in channel] for channel in ramp]


def identity_levels():
    return [list(range(256))] * 3


def identity_ramp():
    channel = [k * 257 for k in range(256)]
    return (channel, list(channel), list(channel))


@pytest.fixture
def ramp(xorg_session):
    xorg_session.wine("reg", "delete", MAKER_KEY, "/f")
    with VidModeRamp(xorg_session.display) as vidmode:
        vidmode.set_ramp(identity_ramp())
        yield vidmode
        vidmode.set_ramp(identity_ramp())
    xorg_session.wine("reg", "delete", MAKER_KEY, "/f")


def shown_state(session, lut_exe, *args):
    result = lut(session, lut_exe, "show", *args)
    assert result.returncode == 0, result.stderr
    states = [line.split(": ")[-1] for line in result.stdout.splitlines() if "entries:" in line]
    assert len(states) == 1, result.stdout  # Wine has one ramp per X screen
    return states[0]


def test_apply_reset_and_show_on_the_x_servers_ramp(xorg_session, lut_exe, render, ramp, tmp_path_factory):
    print(f"XF86VidMode ramp size: {ramp.size()}")
    assert shown_state(xorg_session, lut_exe, *value_args(TUNED)) == "identity"

    applied = lut(xorg_session, lut_exe, "apply", *value_args(TUNED))
    assert applied.returncode == 0, applied.stderr
    assert "Display 1, primary (\\\\.\\DISPLAY1): loaded this calibration, 256 entries" in applied.stdout
    table = page_table(render, TUNED, tmp_path_factory)
    assert ramp_levels(ramp.ramp()) == table
    print("entries as the X server keeps them (red, levels 250-255):", ramp.ramp()[0][250:])
    assert shown_state(xorg_session, lut_exe, *value_args(TUNED)) == "this calibration"
    assert shown_state(xorg_session, lut_exe, *value_args(EXTREME)) == "something else"

    reset = lut(xorg_session, lut_exe, "reset", "--display", "1")
    assert reset.returncode == 0, reset.stderr
    assert ramp_levels(ramp.ramp()) == identity_levels()
    assert shown_state(xorg_session, lut_exe, *value_args(TUNED)) == "identity"

    by_name = lut(xorg_session, lut_exe, "apply", "--display", "\\\\.\\DISPLAY1", *value_args(TUNED))
    assert by_name.returncode == 0, by_name.stderr
    assert ramp_levels(ramp.ramp()) == table


@pytest.mark.parametrize("args, reason", [
    (["--red-brightness", "1.05"], "lifts black"),   # level 0 becomes 12: Wine's "low-biased" ramp
    (["--green-contrast", "0"], "too far from identity"),  # flat
], ids=["lifted black", "flat"])
def test_a_ramp_wine_refuses_is_explained_and_leaves_the_ramp(args, reason, xorg_session, lut_exe, ramp):
    result = lut(xorg_session, lut_exe, "apply", *args)
    assert result.returncode == 1
    assert "the ramp of 256 entries could not be set" in result.stderr, result.stderr
    assert reason in result.stderr and "veltrane-lut install" in result.stderr, result.stderr
    assert ramp_levels(ramp.ramp()) == identity_levels()


def test_an_unknown_display_is_refused_and_the_displays_named(xorg_session, lut_exe, ramp):
    result = lut(xorg_session, lut_exe, "apply", "--display", "2", "--red-gamma", "2.2")
    assert result.returncode == 1
    assert "no display is named '2'; the displays are: \\\\.\\DISPLAY1" in result.stderr, result.stderr
    assert ramp_levels(ramp.ramp()) == identity_levels()


# ------------------------------------------------ veltrane.exe and the ramp

def store_in_registry(session, values):
    session.wine("reg", "delete", MAKER_KEY, "/f")
    for key, value in values.items():
        added = session.wine("reg", "add", APP_KEY, "/v", NAMES[key], "/t", "REG_DWORD", "/d",
                             str(round(value * 100) & 0xFFFFFFFF), "/f")
        assert added.returncode == 0, added.stderr


def start_program(session, exe):
    process = session.start(exe)
    deadline = time.monotonic() + 60
    while not session.windows_named("^BaseForm$"):
        assert process.poll() is None, f"veltrane.exe ended with {process.returncode}"
        assert time.monotonic() < deadline, "veltrane.exe's window did not appear"
        time.sleep(0.2)
    time.sleep(0.5)  # its first page is up; the ramp was handled before the window was shown
    return process


def end_program(session, process):
    try:
        session.keys("Prior")  # red gamma + 0.01
        time.sleep(0.5)
        session.keys("Escape")
        assert e2e.wait_for_exit(process, timeout=30) == 0
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def test_program_runs_with_identity_and_leaves_the_newly_tuned_table(
        xorg_session, exe, lut_exe, linux_lut, render, ramp, tmp_path, tmp_path_factory):
    store_in_registry(xorg_session, TUNED)
    applied = lut(xorg_session, lut_exe, "apply")  # our table, for the stored values
    assert applied.returncode == 0, applied.stderr
    assert ramp_levels(ramp.ramp()) == page_table(render, TUNED, tmp_path_factory)

    process = start_program(xorg_session, exe)
    try:
        assert ramp_levels(ramp.ramp()) == identity_levels(), "the ramp must be identity while the program runs"
    finally:
        end_program(xorg_session, process)

    tuned = {**TUNED, ("red", "gamma"): 2.21}
    assert registry_values(xorg_session, APP_KEY)["MonRG"] == ("REG_DWORD", 221)
    assert ramp_levels(ramp.ramp()) == page_table(render, tuned, tmp_path_factory)
    assert shown_state(xorg_session, lut_exe) == "this calibration"
    # The values the program wrote are the ones the tool reads.
    made = tmp_path / "after.cal"
    assert lut(xorg_session, lut_exe, "cal", windows_path(made)).returncode == 0
    reference = linux_export(linux_lut, "cal", tmp_path / "linux.cal", value_args(tuned), tmp_path)
    assert masked_cal(made.read_bytes()) == masked_cal(reference)


@pytest.mark.parametrize("loaded", ["other tool", "other values"])
def test_program_leaves_a_ramp_it_did_not_load(loaded, xorg_session, exe, lut_exe, ramp):
    store_in_registry(xorg_session, TUNED)
    if loaded == "other tool":
        # A gamma of 0.8 on red, as another loader would set it.
        curve = [round(65535 * (k / 255) ** 0.8) for k in range(256)]
        ramp.set_ramp((curve, identity_ramp()[1], identity_ramp()[2]))
    else:
        # Our table, for values other than the stored ones.
        assert lut(xorg_session, lut_exe, "apply", "--red-gamma", "1.6").returncode == 0
    before = ramp.ramp()
    assert ramp_levels(before) != identity_levels()

    process = start_program(xorg_session, exe)
    try:
        assert ramp.ramp() == before, "changed while running"
    finally:
        end_program(xorg_session, process)
    assert registry_values(xorg_session, APP_KEY)["MonRG"] == ("REG_DWORD", 221)
    assert ramp.ramp() == before, "changed at exit"


# -------------------------------- install, for Windows' own calibration loader

MONITOR_PROFILES_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\ICM\mntr"


def colour_folder(session):
    return os.path.join(session.prefix, "drive_c", "windows", "system32", "spool", "drivers", "color")


def ours_in(session):
    return sorted(name for name in os.listdir(colour_folder(session)) if name.startswith("Veltrane "))


def monitor_associations(session):
    """The profile names Wine's older association calls keep for monitors."""
    query = session.wine("reg", "query", MONITOR_PROFILES_KEY)
    if query.returncode != 0:
        return []
    return sorted(line.strip().split("    ")[0] for line in query.stdout.splitlines() if "    REG_" in line)


def profile_line(session, lut_exe, *args):
    shown = lut(session, lut_exe, "show", *args)
    assert shown.returncode == 0, shown.stderr
    lines = shown.stdout.split("Display profiles:\n")[1].splitlines()
    assert len(lines) == 1 and lines[0].startswith("  Display 1: "), shown.stdout
    return lines[0][len("  Display 1: "):]


@pytest.fixture
def nothing_installed(session, lut_exe, empty_registry):
    """No profile of ours before or after; torn down before the registry
    (which records what install replaced) is emptied."""
    assert not ours_in(session)
    yield
    lut(session, lut_exe, "uninstall")


def test_install_makes_ours_the_default_and_uninstall_puts_everything_back(
        session, lut_exe, linux_lut, nothing_installed, tmp_path):
    files_before = sorted(os.listdir(colour_folder(session)))
    associations_before = monitor_associations(session)
    default_before = profile_line(session, lut_exe)
    assert ", not ours" in default_before

    installed = lut(session, lut_exe, "install", "--red-gamma", "2.2")
    assert installed.returncode == 0, installed.stderr
    assert ("through the older association call (AssociateColorProfileWithDeviceW), because this is Wine"
            in installed.stdout), installed.stdout
    assert "Use Windows display calibration" in installed.stdout
    [first] = ours_in(session)
    with open(os.path.join(colour_folder(session), first), "rb") as f:
        reference = linux_export(linux_lut, "icc", tmp_path / "linux.icc", ["--red-gamma", "2.2"], tmp_path)
        assert masked_profile(f.read()) == masked_profile(reference), "the installed profile is not the icc export"
    assert monitor_associations(session) == sorted(associations_before + [first])
    # GetICMProfileW names it as the display's profile.
    assert profile_line(session, lut_exe, "--red-gamma", "2.2") == (
        'default profile "Veltrane calibration: red B=1 C=1 G=2.2, green B=1 C=1 G=1, blue B=1 C=1 G=1" '
        f"(c:\\windows\\system32\\spool\\drivers\\color\\{first}), ours, its table holds this calibration")

    # Tuned again: ours is replaced, nothing else changes.
    again = lut(session, lut_exe, "install", "--display", "1", "--red-gamma", "1.8")
    assert again.returncode == 0, again.stderr
    [second] = ours_in(session)
    assert second != first
    assert monitor_associations(session) == sorted(associations_before + [second])

    removed = lut(session, lut_exe, "uninstall")
    assert removed.returncode == 0, removed.stderr
    assert f"Took {second} away from Display 1" in removed.stdout, removed.stdout
    assert sorted(os.listdir(colour_folder(session))) == files_before
    assert monitor_associations(session) == associations_before
    assert profile_line(session, lut_exe) == default_before
    nothing = lut(session, lut_exe, "uninstall")
    assert nothing.returncode == 0 and "No profile of Veltrane's is installed for Display 1" in nothing.stdout


def test_install_on_an_unknown_display_changes_nothing(session, lut_exe, nothing_installed):
    result = lut(session, lut_exe, "install", "--display", "7")
    assert result.returncode == 1
    assert "no display is named '7'; the displays are: Display 1" in result.stderr, result.stderr
    assert not ours_in(session)


@pytest.mark.parametrize("default", ["ours", "not ours"])
def test_program_installs_the_saved_values_where_our_profile_is_the_default(
        default, session, exe, lut_exe, nothing_installed):
    store_in_registry(session, {("red", "gamma"): 2.2})
    if default == "ours":
        assert lut(session, lut_exe, "install").returncode == 0
    files_before = ours_in(session)
    associations_before = monitor_associations(session)

    process = start_program(session, exe)
    end_program(session, process)

    assert registry_values(session, APP_KEY)["MonRG"] == ("REG_DWORD", 221)
    if default == "ours":
        [installed] = ours_in(session)
        assert installed not in files_before
        assert profile_line(session, lut_exe) == (
            'default profile "Veltrane calibration: red B=1 C=1 G=2.21, green B=1 C=1 G=1, blue B=1 C=1 G=1" '
            f"(c:\\windows\\system32\\spool\\drivers\\color\\{installed}), ours, its table holds this calibration")
    else:
        assert ours_in(session) == files_before == []
        assert monitor_associations(session) == associations_before


def test_help_names_every_subcommand_and_option(session, lut_exe):
    top = lut(session, lut_exe, "--help")
    assert top.returncode == 0, top.stderr
    assert top.stdout.startswith("Takes Veltrane's calibration out of the program")
    assert "Usage: veltrane-lut [OPTIONS] SUBCOMMAND" in top.stdout, top.stdout
    for name in ("icc", "cal", "install", "uninstall", "apply", "reset", "show", "--settings FILE", "--version",
                 *(f"--{c}-{p} X" for c in ("red", "green", "blue") for p in ("brightness", "contrast", "gamma"))):
        assert f"  {name} " in top.stdout, f"--help does not list {name}"
    for command, option in (("apply", "--display N|NAME"), ("reset", "--display N|NAME"),
                            ("install", "--display N|NAME"), ("uninstall", "--display N|NAME"),
                            ("install", "--description TEXT"),
                            ("icc", "--description TEXT"), ("icc", "OUT"), ("cal", "OUT")):
        sub = lut(session, lut_exe, command, "--help")
        assert sub.returncode == 0 and f"  {option} " in sub.stdout, f"{command} --help: {sub.stdout}"
