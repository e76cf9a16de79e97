"""The Linux program on headless sway 1.7 (pytest): every page pixel on one
output pixel at whole and fractional scales, across live changes of scale
and mode, with the keys, the close request and a compositor that goes away;
and the warning of the X11 route through XWayland at a scale. Screenshots
come from our screencopy client at the output's physical size and are
compared pixel for pixel, caption included, with veltrane-render's picture
at that size. One compositor start per scale, several pages per start."""

import subprocess
import time

import pytest

import e2e_support as e2e
from conftest import TUNED_SETTINGS, run_command
from veltrane_run import NAMES, neutral
import wayland_session as ws

WIDTH, HEIGHT = 1280, 800
PAGES = (0, 8, 17, 18, 19, 20)
TUNED_VALUES = {"MonRG": 180, "MonGB": -20, "MonBC": 130, "MonBG": 90, "MonRB": 110}


class WithPointer:
    """The compositor's screenshots with the pointer drawn in."""

    def __init__(self, sway):
        self.sway = sway

    def screenshot(self):
        return self.sway.screenshot(cursor=True)


def step_to(session, shown, page):
    while shown < page:
        session.keys("space")
        shown += 1
    return shown


@pytest.mark.parametrize("scale", ["1", "1.25", "1.5", "1.75", "2", "3"])
def test_every_page_exact_at_scale(scale, screencopy, program_path, start_program, tuned_settings, artifacts):
    with ws.Sway(screencopy, float(scale)) as sway:
        code, out, err = run_command(program_path, sway, "--list-displays")
        assert (code, out) == (0, f"0: HEADLESS-1 {WIDTH}x{HEIGHT} at 0,0, scale {scale} (primary)\n"), err

        run = start_program(sway, TUNED_SETTINGS)
        shown = 0
        for page in PAGES:
            shown = step_to(sway, shown, page)
            e2e.wait_for_screen(sway, tuned_settings.page(page, WIDTH, HEIGHT), timeout=10,
                                what=f"page {page} at scale {scale}", save_dir=artifacts)
        sway.keys("Escape")
        assert run.wait_for_exit() == 0, run.stderr()
        assert "warning" not in run.stderr(), run.stderr()
        assert run.stored_values() == {**{n: 100 for n in NAMES}, **TUNED_VALUES}


def test_live_changes_of_scale_and_mode_are_shown(screencopy, start_program, tuned_settings, artifacts):
    with ws.Sway(screencopy, 1) as sway:
        run = start_program(sway, TUNED_SETTINGS)
        e2e.wait_for_screen(sway, tuned_settings.page(0, WIDTH, HEIGHT), what="page 0 at scale 1",
                            save_dir=artifacts)
        step_to(sway, 0, 17)
        e2e.wait_for_screen(sway, tuned_settings.page(17, WIDTH, HEIGHT), what="page 17 at scale 1",
                            save_dir=artifacts)
        # The page's size in pixels stays; how the window's logical pixels
        # meet them does not, so the page must be presented again.
        for scale in (2, 1.75, 3, 1.25):
            sway.set_scale(scale)
            e2e.wait_for_screen(sway, tuned_settings.page(17, WIDTH, HEIGHT), timeout=3,
                                what=f"page 17 after a live change to scale {scale}", save_dir=artifacts)
        # A new mode: the page is drawn again at the new size in pixels.
        sway.swaymsg("output", "HEADLESS-1", "mode", "1024x768")
        e2e.wait_for_screen(sway, tuned_settings.page(17, 1024, 768), timeout=3,
                            what="page 17 after a live change of mode to 1024x768 at 1.25", save_dir=artifacts)
        sway.set_scale(1.75)
        e2e.wait_for_screen(sway, tuned_settings.page(17, 1024, 768), timeout=3,
                            what="page 17 at 1024x768, scale 1.75", save_dir=artifacts)
        sway.keys("space")
        e2e.wait_for_screen(sway, tuned_settings.page(18, 1024, 768), timeout=5,
                            what="page 18 at 1024x768, scale 1.75", save_dir=artifacts)
        sway.keys("Escape")
        assert run.wait_for_exit() == 0, run.stderr()


def test_keys_close_request_and_lost_compositor(screencopy, start_program, reference, artifacts):
    sway = ws.Sway(screencopy, 1.5).start()
    try:
        run = start_program(sway)
        values = neutral()
        e2e.wait_for_screen(sway, reference(0, values, WIDTH, HEIGHT), what="page 0", save_dir=artifacts)
        for key, parameter, sign in [("Prior", ("red", "gamma"), 1), ("ctrl+Home", ("green", "contrast"), 1),
                                     ("shift+Delete", ("blue", "brightness"), -1),
                                     ("shift+ctrl+End", ("blue", "contrast"), -1)]:
            sway.keys(key)
            values[parameter] = values[parameter] + sign * 0.01
            e2e.wait_for_screen(sway, reference(0, values, WIDTH, HEIGHT), what=f"page 0 after {key}",
                                save_dir=artifacts)
        # The compositor's close request (what a window's close button sends).
        sway.swaymsg("kill")
        assert run.wait_for_exit() == 0, run.stderr()
        assert run.stored_values() == {**{n: 100 for n in NAMES}, "MonRG": 101, "MonGC": 101, "MonBB": 99,
                                       "MonBC": 99}

        # The compositor goes away in the middle of a run.
        run = start_program(sway)
        e2e.wait_for_screen(sway, reference(0, neutral(), WIDTH, HEIGHT), what="page 0, second run",
                            save_dir=artifacts)
        sway.keys("Insert")
        values = neutral()
        values[("red", "brightness")] = 1.01
        e2e.wait_for_screen(sway, reference(0, values, WIDTH, HEIGHT), what="page 0 after Insert",
                            save_dir=artifacts)
    finally:
        sway.stop()
    assert run.wait_for_exit() == 0, run.stderr()
    assert "veltrane: the Wayland compositor closed the connection" in run.stderr(), run.stderr()
    assert "the values are saved" in run.stderr(), run.stderr()
    assert run.stored_values() == {**{n: 100 for n in NAMES}, "MonRB": 101}


def test_pointer_hidden_on_the_pages_until_the_mouse_moves(screencopy, virtual_pointer, start_program, reference,
                                                            artifacts):
    # At 1.75 the last column is the edge strip's, which takes no input: the
    # pointer there is still over SDL's window and hides as everywhere else.
    with ws.Sway(screencopy, 1.75) as sway:
        pointer = sway.pointer(virtual_pointer)
        try:
            run = start_program(sway)
            page = reference(0, neutral(), WIDTH, HEIGHT)
            for x, y in [(300, 300), (WIDTH - 1, 500)]:
                pointer.move(x, y)
                deadline = time.monotonic() + 5
                while e2e.compare_images(sway.screenshot(cursor=True), page).equal:
                    assert time.monotonic() < deadline, f"no pointer shown after a move to {x},{y}"
                    time.sleep(0.05)
                # Hidden again once the mouse has been still for a second.
                e2e.wait_for_screen(WithPointer(sway), page, timeout=4,
                                    what=f"page 0 with the pointer still at {x},{y}", save_dir=artifacts)
            sway.keys("Escape")
            assert run.wait_for_exit() == 0, run.stderr()
        finally:
            pointer.close()


def test_display_choice_on_wayland(screencopy, program_path):
    with ws.Sway(screencopy, 2) as sway:
        code, out, err = run_command(program_path, sway, "--display", "1")
        assert code == 2 and out == "", (code, out, err)
        assert "there is no display 1: the only display is 0" in err, err


def test_x11_route_through_xwayland_warns_of_the_scale(screencopy, program_path, start_program):
    with ws.Sway(screencopy, 2, xwayland=True) as sway:
        # Both DISPLAY and WAYLAND_DISPLAY are set: the native route is taken.
        code, out, err = run_command(program_path, sway, "--list-displays")
        assert (code, out) == (0, f"0: HEADLESS-1 {WIDTH}x{HEIGHT} at 0,0, scale 2 (primary)\n"), err
        code, out, err = run_command(program_path, sway, "--list-displays", env={"SDL_VIDEODRIVER": "x11"})
        assert (code, out) == (0, "0: XWAYLAND0 640x400 at 0,0 (primary)\n"), (code, out, err)

        run = start_program(sway, env={"SDL_VIDEODRIVER": "x11"})
        warning = ("veltrane: warning: the X screen is 640x400 but the Wayland output HEADLESS-1 has "
                   "1280x800 pixels at scale 2: the compositor scales every pixel of this program")
        end = time.monotonic() + 10
        while warning not in run.stderr() and time.monotonic() < end and run.process.poll() is None:
            time.sleep(0.1)
        assert warning in run.stderr(), run.stderr()
        assert 'unset SDL_VIDEODRIVER (it asks for "x11")' in run.stderr(), run.stderr()
        assert run.process.poll() is None, "the program did not go on after the warning: " + run.stderr()


def test_lut_ramp_commands_through_xwayland_point_to_the_profile(screencopy, lut_tool, tmp_path):
    with ws.Sway(screencopy, 1, xwayland=True) as sway:
        environment = sway.env()
        environment["XDG_CONFIG_HOME"] = str(tmp_path)
        # show also asks colord; a machine's own colord would answer it.
        environment["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + str(tmp_path / "no-system-bus")
        for command in (["apply"], ["reset"], ["show"], ["apply", "--output", "XWAYLAND0"]):
            result = subprocess.run([lut_tool, *command], env=environment, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True, timeout=30)
            assert result.returncode == 1, (command, result.stdout, result.stderr)
            assert (f"the X11 display {sway.x_display} is XWayland, whose gamma ramps do not reach the screen "
                    "on a Wayland session") in result.stderr, result.stderr
            assert "veltrane-lut icc FILE.icc" in result.stderr and "colour settings" in result.stderr, result.stderr
            assert "ramp" not in result.stdout.lower(), (command, result.stdout)
        # The profile is still written there.
        result = subprocess.run([lut_tool, "icc", str(tmp_path / "out.icc")], env=environment,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=30)
        assert result.returncode == 0 and (tmp_path / "out.icc").stat().st_size > 0, result.stderr
