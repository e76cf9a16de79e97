"""End-to-end tests of the Linux program on a virtual X screen (pytest).

Every screenshot is compared, pixel for pixel and caption included, with what
veltrane-render draws for the same page, size and parameter values; the
fixtures (conftest.py) give each test its Xvfb, the program under test and
those reference pictures. tests/e2e/sdl/run.sh builds what is needed and
runs this folder; `-k` picks tests by name.
"""

import os
import signal
import subprocess
import time

import pytest

import e2e_support as e2e
from veltrane_run import NAMES, PAGE_COUNT, WIDTH, neutral


def test_start_escape_and_saved_file(veltrane):
    veltrane.start()
    veltrane.expect_screen(0, what="first page at start-up")
    # Created at start-up, as the registry key is, and still empty.
    assert os.path.isfile(veltrane.settings_path()), "settings file not created at start-up"
    assert veltrane.stored_values() == {}, "start-up wrote values"
    veltrane.finish()
    assert veltrane.stored_values() == {n: 100 for n in NAMES}, veltrane.stored_values()
    with open(veltrane.settings_path()) as f:
        names = [line.split("=")[0].strip() for line in f if "=" in line and not line.startswith("#")]
    assert names == NAMES, f"values written in the order {names}"
    leftovers = [n for n in os.listdir(os.path.dirname(veltrane.settings_path())) if n != "Orlith.conf"]
    assert not leftovers, f"temporary files left behind: {leftovers}"


def test_every_page_forward_and_back(veltrane):
    veltrane.start()
    veltrane.expect_screen(0)
    # Every unlisted key steps forward: a mix of them, wrapping from 20 to 0.
    forward_keys = ["space", "Return", "Right", "F5", "x", "1", "Tab", "Down", "BackSpace", "KP_Add"]
    page = 0
    for i in range(PAGE_COUNT):
        key = forward_keys[i % len(forward_keys)]
        veltrane.keys(key)
        page = (page + 1) % PAGE_COUNT
        veltrane.expect_screen(page, what=f"page {page} after {key}")
    assert page == 0
    # B goes back, wrapping from 0 to 20, Shift+B too.
    for i in range(PAGE_COUNT):
        key = "shift+b" if i % 5 == 4 else "b"
        veltrane.keys(key)
        page = (page - 1) % PAGE_COUNT
        veltrane.expect_screen(page, what=f"page {page} after {key}")
    # Lone modifiers and Alt change nothing.
    veltrane.keys("shift")
    veltrane.keys("ctrl")
    veltrane.keys("alt")
    veltrane.expect_unchanged(page, what="page after lone Shift, Ctrl, Alt")
    veltrane.finish()


def test_parameter_keys_caption_and_reset(veltrane):
    veltrane.start()
    veltrane.expect_screen(0)
    for _ in range(8):
        veltrane.keys("b")
    page = (0 - 8) % PAGE_COUNT  # 13, "Red (240-255)": corrected levels in every block
    veltrane.expect_screen(page)
    values = neutral()
    for key, parameter, sign in e2e.ADJUSTMENT_STEPS:
        veltrane.keys(key)
        values[parameter] = e2e.step_value(values[parameter], sign)
        veltrane.expect_screen(page, values, what=f"after {key}")
    # Ten steps down from 1.0 give 0.8999999999999999, shown as 0.90.
    for _ in range(10):
        veltrane.keys("End")
        values[("red", "contrast")] -= 0.01
    veltrane.expect_screen(page, values, what="after ten End presses")
    # The gamma check uses every parameter on every row.
    veltrane.keys("b")
    page -= 1
    veltrane.keys(*(["space"] * 8))
    page = (page + 8) % PAGE_COUNT
    assert page == 20
    veltrane.expect_screen(page, values, what="gamma check with adjusted values")
    veltrane.keys("r")
    veltrane.expect_screen(page, neutral(), what="after R")
    veltrane.keys("Prior", "ctrl+r")
    veltrane.expect_screen(page, neutral(), what="after Prior then Ctrl+R")
    values = neutral()
    for _ in range(10):
        veltrane.keys("Delete")
        values[("red", "brightness")] -= 0.01
    veltrane.expect_screen(page, values, what="after ten Delete presses")
    veltrane.finish()
    stored = veltrane.stored_values()
    # 0.8999999999999999 is saved as the nearest whole percent, 90.
    assert stored == {**{n: 100 for n in NAMES}, "MonRB": 90}, stored


def test_prepared_settings_take_effect(veltrane, reference, work_dir):
    text = ("# prepared by hand\n"
            "MonRG = 250\n"
            "MonGB=-40\n"
            "  MonBC   =   +120   # with a comment\n")
    veltrane.start(settings_text=text)
    values = neutral()
    values[("red", "gamma")] = 2.5
    values[("green", "brightness")] = -0.4
    values[("blue", "contrast")] = 1.2
    veltrane.expect_screen(0, values, what="page 0 with prepared settings")
    veltrane.keys("space")
    veltrane.expect_screen(1, values, what="page 1 with prepared settings")
    # The exporter reads the same file the same way.
    settings_copy = os.path.join(work_dir, "prepared.conf")
    with open(settings_copy, "w") as f:
        f.write(text)
    from_file = reference(1, extra=("--settings", settings_copy), values={})
    e2e.assert_images_equal(e2e.screenshot(veltrane.xvfb), from_file, what="exporter with --settings")
    veltrane.finish()
    expected = {n: 100 for n in NAMES}
    expected.update(MonRG=250, MonGB=-40, MonBC=120)
    assert veltrane.stored_values() == expected, veltrane.stored_values()


def test_corrupt_settings_file(veltrane):
    text = (b"\x00\xff\xfe garbage\n"
            b"MonRG = 99999999999\n"     # beyond 32 bits: missing
            b"MonGG = 1.5\n"             # not a whole number: missing
            b"MonBG = abc\n"
            b"MonRB = 120\n"             # the one good line
            b"MonGB\n"
            b"= 50\n"
            b"MonBB = 12 34\n"
            b"MonRC = 0x20\n")
    veltrane.start(settings_text=text)
    values = neutral()
    values[("red", "brightness")] = 1.2
    veltrane.expect_screen(0, values, what="page 0 with a corrupt settings file")
    veltrane.finish()
    expected = {n: 100 for n in NAMES}
    expected["MonRB"] = 120
    assert veltrane.stored_values() == expected, veltrane.stored_values()


def test_key_flood_is_one_step_per_press(veltrane):
    # Presses sent back to back pile up while a page is drawn; each of them
    # must still count once, and the page must show the last value.
    presses = 150
    veltrane.start()
    veltrane.expect_screen(0)
    e2e.send_keys(veltrane.xvfb, *(["Insert"] * presses), delay_ms=0)
    values = neutral()
    for _ in range(presses):
        values[("red", "brightness")] += 0.01
    veltrane.expect_screen(0, values, what=f"page 0 after {presses} Insert presses", timeout=20)
    veltrane.finish()
    assert veltrane.stored_values()["MonRB"] == 100 + presses, veltrane.stored_values()


def test_alt_f4_and_quit_signal_save(veltrane):
    veltrane.start()
    veltrane.expect_screen(0)
    veltrane.keys("Insert")
    values = neutral()
    values[("red", "brightness")] += 0.01
    veltrane.expect_screen(0, values)
    # With Alt held keys are system keys and do nothing; Alt+F4 closes.
    veltrane.keys("alt+space", "alt+Prior")
    veltrane.expect_unchanged(0, values, what="after Alt+Space and Alt+Page Up")
    veltrane.finish(keys=("alt+F4",))
    assert veltrane.stored_values()["MonRB"] == 101
    # A quit request from outside (SIGTERM) ends the run as a close does.
    veltrane.start(config_home=veltrane.config_home)
    veltrane.expect_screen(0, values)
    veltrane.keys("Insert")
    values[("red", "brightness")] += 0.01
    veltrane.expect_screen(0, values)
    veltrane.process.send_signal(signal.SIGTERM)
    veltrane.finish(keys=())
    assert veltrane.stored_values()["MonRB"] == 102


def test_unwritable_settings_report_three_messages(veltrane, work_dir, box_screen):
    blocker = os.path.join(work_dir, "not-a-folder")
    if not os.path.exists(blocker):
        with open(blocker, "w") as f:
            f.write("a file where the settings folder should be\n")
    veltrane.start(config_home=os.path.join(blocker, "config"), xvfb=box_screen)
    veltrane.expect_screen(0, what="page 0 without a settings folder")
    veltrane.keys("Escape")
    # Each message waits in a box for its OK where the box can be shown, and
    # is answered with Return; where it cannot (no X core fonts for SDL's
    # own box) the program says so on standard error and goes straight on.
    outcome = veltrane.answer_boxes("Setting", "veltrane: Setting: ", expected=3)
    print(outcome)
    veltrane.finish(keys=())
    assert outcome.shown_and_answered + outcome.unshown == 3, f"{outcome}; stderr: {veltrane.stderr()}"
    lines = [line for line in veltrane.stderr().splitlines() if line.startswith("veltrane: Setting: ")]
    assert lines == ["veltrane: Setting: Red: B=1.000000, C=1.000000, G=1.000000",
                     "veltrane: Setting: Green: B=1.000000, C=1.000000, G=1.000000",
                     "veltrane: Setting: Blue: B=1.000000, C=1.000000, G=1.000000"], veltrane.stderr()


def test_exporter_depths_and_errors(reference, work_dir):
    # The 24- and 32-bit surfaces give the same picture.
    for page in (8, 17, 20):
        e2e.assert_images_equal(reference(page, extra=("--bpp", "24")), reference(page),
                                what=f"page {page} at 24 bits per pixel")
    # The caption is the only difference --no-caption makes, in the top-left band.
    plain = reference(3, extra=("--no-caption",))
    with_caption = reference(3)
    result = e2e.compare_images(with_caption, plain)
    assert not result.equal, "the caption left no mark"
    e2e.assert_images_equal(with_caption, plain, masks=[(0, 0, WIDTH, 18)], what="outside the band")
    output = ["--output", os.path.join(work_dir, "bad.png")]
    for bad in (["--page", "21", *output], ["--bpp", "16", *output], ["--width", "0", *output],
                ["--red-gamma", "abc", *output], ["--blue-contrast", "1e999", *output],
                ["--settings", os.path.join(work_dir, "missing.conf"), *output],
                ["--page", "0"], ["--colour", "red", *output]):
        run = subprocess.run([reference.render_tool, *bad], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        assert run.returncode != 0, f"{bad} accepted"
        assert run.stderr.strip(), f"{bad} rejected without a message"
    # All 21 pages into a folder.
    folder = os.path.join(work_dir, "all-pages")
    subprocess.run([reference.render_tool, "--width", "64", "--height", "48", "--output", folder], check=True)
    assert sorted(os.listdir(folder)) == [f"page-{i:02d}.png" for i in range(PAGE_COUNT)]


def test_other_screen_size(veltrane, extra_xvfb):
    # A second screen of another shape: the layout follows the screen.
    small = extra_xvfb(1024, 600)
    veltrane.start(xvfb=small)
    for page in (0, 1, 2):
        if page:
            veltrane.keys("space")
        veltrane.expect_screen(page, what=f"page {page} at 1024x600")
    veltrane.keys("b", "b", "b")
    veltrane.expect_screen(20, what="page 20 at 1024x600")
    veltrane.finish()


@pytest.mark.parametrize("environment, names", [
    ({"DISPLAY": None, "WAYLAND_DISPLAY": None}, "neither DISPLAY nor WAYLAND_DISPLAY is set"),
    ({"DISPLAY": ":89x", "WAYLAND_DISPLAY": None}, 'the X display ":89x" named by DISPLAY cannot be opened'),
], ids=["no DISPLAY", "bad DISPLAY"])
def test_no_usable_display_ends_with_its_reason(veltrane, environment, names):
    # SDL would fall back to a driver without a screen and run unseen for ever.
    veltrane.start(env={**environment, "SDL_VIDEODRIVER": None})
    veltrane.finish(keys=(), expected_code=255)
    error = [line for line in veltrane.stderr().splitlines() if line.startswith("veltrane: Error: ")]
    assert len(error) == 1, veltrane.stderr()
    assert "cannot open a screen: " + names in error[0], error[0]
    assert "SDL could start none of its video drivers" in error[0], error[0]
    assert not os.path.exists(veltrane.settings_path()), "settings touched by a run that never started"


@pytest.mark.parametrize("driver", ["offscreen", "dummy"])
def test_video_driver_without_a_screen_is_refused(veltrane, driver):
    veltrane.start(env={"SDL_VIDEODRIVER": driver})
    outcome = veltrane.answer_boxes("Error", "veltrane: Error: ", expected=1)
    veltrane.finish(keys=(), expected_code=255)
    assert outcome.shown_and_answered + outcome.unshown == 1, f"{outcome}; stderr: {veltrane.stderr()}"
    assert (f'veltrane: Error: cannot open a screen: SDL\'s video driver "{driver}" shows nothing '
            "(chosen by SDL_VIDEODRIVER)") in veltrane.stderr()
    assert not os.path.exists(veltrane.settings_path()), "settings touched by a run that never started"


def test_missing_caption_font_is_said_on_the_first_page(veltrane, work_dir, box_screen):
    # A fontconfig that knows no fonts: the pages come without the caption.
    empty = os.path.join(work_dir, "no-fonts.conf")
    with open(empty, "w") as f:
        f.write('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig></fontconfig>\n')
    veltrane.start(env={"FONTCONFIG_FILE": empty, "FONTCONFIG_PATH": None}, xvfb=box_screen)
    screens = []

    def page_behind_the_box(box):
        # The box stands over the first page, which is already shown around it.
        rect = e2e.window_rect(veltrane.xvfb, box)
        assert rect is not None, "the box vanished before it could be looked at"
        expected = veltrane.reference(0, extra=("--no-caption",))
        e2e.wait_for_screen(veltrane.xvfb, expected, masks=[rect], what="first page around the box",
                            save_dir=veltrane.artifacts)
        screens.append(rect)

    outcome = veltrane.answer_boxes("No caption font", "veltrane: no usable font was found for the caption",
                                    expected=1, on_box=page_behind_the_box)
    print(outcome)
    assert outcome.shown_and_answered + outcome.unshown == 1, f"{outcome}; stderr: {veltrane.stderr()}"
    assert len(screens) == outcome.shown_and_answered
    veltrane.expect_screen(0, extra=("--no-caption",), what="first page without caption after the box")
    veltrane.keys("space")
    veltrane.expect_screen(1, extra=("--no-caption",), what="next page without caption")
    veltrane.finish()


def test_modifiers_are_read_again_when_the_window_gets_the_keyboard_back(veltrane):
    veltrane.start()
    veltrane.expect_screen(0)
    program_window = veltrane.window()
    values = neutral()
    # (held elsewhere before coming back, held here before leaving, the
    # parameter Page Up then raises)
    cases = [
        ("shift", None, ("blue", "gamma")),
        ("ctrl", None, ("green", "gamma")),
        (None, "ctrl", ("red", "gamma")),    # released elsewhere: no longer held
        (None, "shift", ("red", "gamma")),
    ]
    try:
        for held_elsewhere, held_here, parameter in cases:
            with e2e.PlainWindow(veltrane.xvfb) as other:
                if held_here:
                    e2e.key_down(veltrane.xvfb, held_here)
                e2e.focus_window(veltrane.xvfb, other.id)
                if held_here:
                    e2e.key_up(veltrane.xvfb, held_here)
                if held_elsewhere:
                    e2e.key_down(veltrane.xvfb, held_elsewhere)
                e2e.focus_window(veltrane.xvfb, program_window)
                time.sleep(0.3)  # the focus change reaches the program before the key
                veltrane.keys("Prior")
                if held_elsewhere:
                    e2e.key_up(veltrane.xvfb, held_elsewhere)
            values[parameter] += 0.01
            veltrane.expect_screen(0, values, what=f"Page Up after {held_elsewhere or held_here}")
    finally:
        # A key left down would hold on into the next tests on this screen.
        e2e.key_up(veltrane.xvfb, "shift")
        e2e.key_up(veltrane.xvfb, "ctrl")
    veltrane.finish()


def test_pointer_hidden_on_the_pages_until_the_mouse_moves(veltrane):
    veltrane.start()
    veltrane.expect_screen(0)

    def wait_for_pointer(visible, timeout):
        deadline = time.monotonic() + timeout
        while e2e.pointer_visible(veltrane.xvfb) != visible:
            if time.monotonic() > deadline:
                return False
            time.sleep(0.05)
        return True

    assert wait_for_pointer(False, 5), "the pointer shows over the first page"
    for x, y in ((100, 100), (1200, 700)):
        moved_at = time.monotonic()
        e2e.move_pointer(veltrane.xvfb, x, y)
        assert wait_for_pointer(True, 5), f"the pointer did not show when moved to {x},{y}"
        assert wait_for_pointer(False, 10), "the pointer did not hide again when the mouse stood still"
        still_for = time.monotonic() - moved_at
        assert still_for >= 0.9, f"the pointer hid {still_for:.2f} s after the move, before a second of stillness"
    # The pointer never changes the page.
    veltrane.expect_unchanged(0, what="page after the mouse moved")
    veltrane.finish()
