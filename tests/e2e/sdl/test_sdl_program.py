"""End-to-end tests of the Linux program on a virtual X screen.

Every screenshot is compared, pixel for pixel and caption included, with what
veltrane-render draws for the same page, size and parameter values. The values
are computed here by the same steps the program takes (1.0 + 0.01, ...) and
handed over as repr() text, so both sides hold the identical doubles.

Usage: test_sdl_program.py --build-dir DIR [--display N] [--artifacts DIR]
"""

import argparse
import os
import signal
import subprocess
import shutil
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e_support as e2e  # noqa: E402

WIDTH, HEIGHT = 1366, 768
PAGE_COUNT = 21
NAMES = ["MonRG", "MonGG", "MonBG", "MonRB", "MonGB", "MonBB", "MonRC", "MonGC", "MonBC"]
# (channel, parameter) of each stored name, in the file's order.
STORED = {"MonRG": ("red", "gamma"), "MonGG": ("green", "gamma"), "MonBG": ("blue", "gamma"),
          "MonRB": ("red", "brightness"), "MonGB": ("green", "brightness"),
          "MonBB": ("blue", "brightness"), "MonRC": ("red", "contrast"),
          "MonGC": ("green", "contrast"), "MonBC": ("blue", "contrast")}


def neutral():
    return {(c, p): 1.0 for c in ("red", "green", "blue") for p in ("brightness", "contrast", "gamma")}


class Suite:
    def __init__(self, build_dir, display, artifacts):
        self.program = os.path.join(build_dir, "veltrane")
        self.render_tool = os.path.join(build_dir, "tools", "veltrane-render")
        self.xvfb = e2e.Xvfb(display, WIDTH, HEIGHT, 24)
        self.artifacts = artifacts
        self.work = tempfile.mkdtemp(prefix="veltrane-e2e-")
        self.cache = {}
        self.process = None
        self.stderr_path = None
        self.config_home = None

    # ------------------------------------------------------------ helpers
    def render(self, page, values=None, width=WIDTH, height=HEIGHT, extra=()):
        values = neutral() if values is None else values
        args = ["--page", str(page), "--width", str(width), "--height", str(height), *extra]
        for (channel, parameter), value in sorted(values.items()):
            args += [f"--{channel}-{parameter}", repr(value)]
        key = tuple(args)
        if key not in self.cache:
            path = os.path.join(self.work, f"expected-{len(self.cache)}.png")
            subprocess.run([self.render_tool, *args, "--output", path], check=True)
            self.cache[key] = e2e.load_png(path)
        return self.cache[key]

    def start(self, settings_text=None, config_home=None):
        self.config_home = config_home or tempfile.mkdtemp(prefix="config-", dir=self.work)
        if settings_text is not None:
            os.makedirs(os.path.join(self.config_home, "Kardo"), exist_ok=True)
            with open(self.settings_path(), "wb") as f:
                f.write(settings_text if isinstance(settings_text, bytes) else settings_text.encode())
        env = self.xvfb.env()
        env["XDG_CONFIG_HOME"] = self.config_home
        self.stderr_path = os.path.join(self.work, f"stderr-{time.monotonic_ns()}.txt")
        with open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen([self.program], env=env, stderr=err)
        return self.process

    def settings_path(self):
        return os.path.join(self.config_home, "Kardo", "Orlith.conf")

    def stored_values(self):
        values = {}
        with open(self.settings_path()) as f:
            for line in f:
                line = line.split("#", 1)[0]
                if "=" in line:
                    name, value = (part.strip() for part in line.split("=", 1))
                    values[name] = int(value)
        return values

    def stderr(self):
        with open(self.stderr_path) as f:
            return f.read()

    def expect_screen(self, page, values=None, what=None, timeout=10.0):
        what = what or f"page {page}"
        e2e.wait_for_screen(self.xvfb, self.render(page, values), timeout=timeout, what=what,
                            save_dir=self.artifacts)

    def expect_unchanged(self, page, values=None, what="screen"):
        time.sleep(0.4)
        e2e.assert_images_equal(e2e.screenshot(self.xvfb), self.render(page, values), what=what)

    def keys(self, *keys):
        e2e.send_keys(self.xvfb, *keys)

    def finish(self, keys=("Escape",), expected_code=0):
        if keys:
            self.keys(*keys)
        code = e2e.wait_for_exit(self.process)
        self.process = None
        assert code == expected_code, f"exit code {code}, expected {expected_code}; stderr: {self.stderr()}"

    def stop_leftover(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process = None

    # -------------------------------------------------------------- tests
    def test_start_escape_and_saved_file(self):
        self.start()
        self.expect_screen(0, what="first page at start-up")
        # Created at start-up, as the registry key is, and still empty.
        assert os.path.isfile(self.settings_path()), "settings file not created at start-up"
        assert self.stored_values() == {}, "start-up wrote values"
        self.finish()
        assert self.stored_values() == {n: 100 for n in NAMES}, self.stored_values()
        with open(self.settings_path()) as f:
            names = [line.split("=")[0].strip() for line in f if "=" in line and not line.startswith("#")]
        assert names == NAMES, f"values written in the order {names}"
        leftovers = [n for n in os.listdir(os.path.dirname(self.settings_path())) if n != "Orlith.conf"]
        assert not leftovers, f"temporary files left behind: {leftovers}"

    def test_every_page_forward_and_back(self):
        self.start()
        self.expect_screen(0)
        # Every unlisted key steps forward: a mix of them, wrapping from 20 to 0.
        forward_keys = ["space", "Return", "Right", "F5", "x", "1", "Tab", "Down", "BackSpace", "KP_Add"]
        page = 0
        for i in range(PAGE_COUNT):
            key = forward_keys[i % len(forward_keys)]
            self.keys(key)
            page = (page + 1) % PAGE_COUNT
            self.expect_screen(page, what=f"page {page} after {key}")
        assert page == 0
        # B goes back, wrapping from 0 to 20, Shift+B too.
        for i in range(PAGE_COUNT):
            key = "shift+b" if i % 5 == 4 else "b"
            self.keys(key)
            page = (page - 1) % PAGE_COUNT
            self.expect_screen(page, what=f"page {page} after {key}")
        # Lone modifiers and Alt change nothing.
        self.keys("shift")
        self.keys("ctrl")
        self.keys("alt")
        self.expect_unchanged(page, what="page after lone Shift, Ctrl, Alt")
        self.finish()

    def test_parameter_keys_caption_and_reset(self):
        self.start()
        self.expect_screen(0)
        for _ in range(8):
            self.keys("b")
        page = (0 - 8) % PAGE_COUNT  # 13, "Red (240-255)": corrected levels in every block
        self.expect_screen(page)
        values = neutral()
        steps = [
            ("Prior", ("red", "gamma"), +1), ("Next", ("red", "gamma"), -1),
            ("Home", ("red", "contrast"), +1), ("End", ("red", "contrast"), -1),
            ("Insert", ("red", "brightness"), +1), ("Delete", ("red", "brightness"), -1),
            ("ctrl+Prior", ("green", "gamma"), +1), ("ctrl+End", ("green", "contrast"), -1),
            ("ctrl+Insert", ("green", "brightness"), +1),
            ("shift+Prior", ("blue", "gamma"), +1), ("shift+Home", ("blue", "contrast"), +1),
            ("shift+Delete", ("blue", "brightness"), -1),
            ("shift+ctrl+Next", ("blue", "gamma"), -1),  # Shift wins over Ctrl
        ]
        for key, parameter, sign in steps:
            self.keys(key)
            values[parameter] = values[parameter] + 0.01 if sign > 0 else values[parameter] - 0.01
            self.expect_screen(page, values, what=f"after {key}")
        # Ten steps down from 1.0 give 0.8999999999999999, shown as 0.90.
        for _ in range(10):
            self.keys("End")
            values[("red", "contrast")] -= 0.01
        self.expect_screen(page, values, what="after ten End presses")
        # The gamma check uses every parameter on every row.
        self.keys("b")
        page -= 1
        self.keys(*(["space"] * 8))
        page = (page + 8) % PAGE_COUNT
        assert page == 20
        self.expect_screen(page, values, what="gamma check with adjusted values")
        self.keys("r")
        self.expect_screen(page, neutral(), what="after R")
        self.keys("Prior", "ctrl+r")
        self.expect_screen(page, neutral(), what="after Prior then Ctrl+R")
        values = neutral()
        for _ in range(10):
            self.keys("Delete")
            values[("red", "brightness")] -= 0.01
        self.expect_screen(page, values, what="after ten Delete presses")
        self.finish()
        stored = self.stored_values()
        # 0.8999999999999999 is saved as the nearest whole percent, 90.
        assert stored == {**{n: 100 for n in NAMES}, "MonRB": 90}, stored

    def test_prepared_settings_take_effect(self):
        text = ("# prepared by hand\n"
                "MonRG = 250\n"
                "MonGB=-40\n"
                "  MonBC   =   +120   # with a comment\n")
        self.start(settings_text=text)
        values = neutral()
        values[("red", "gamma")] = 2.5
        values[("green", "brightness")] = -0.4
        values[("blue", "contrast")] = 1.2
        self.expect_screen(0, values, what="page 0 with prepared settings")
        self.keys("space")
        self.expect_screen(1, values, what="page 1 with prepared settings")
        # The exporter reads the same file the same way.
        settings_copy = os.path.join(self.work, "prepared.conf")
        with open(settings_copy, "w") as f:
            f.write(text)
        from_file = self.render(1, extra=("--settings", settings_copy), values={})
        e2e.assert_images_equal(e2e.screenshot(self.xvfb), from_file, what="exporter with --settings")
        self.finish()
        expected = {n: 100 for n in NAMES}
        expected.update(MonRG=250, MonGB=-40, MonBC=120)
        assert self.stored_values() == expected, self.stored_values()

    def test_corrupt_settings_file(self):
        text = (b"\x00\xff\xfe garbage\n"
                b"MonRG = 99999999999\n"     # beyond 32 bits: missing
                b"MonGG = 1.5\n"             # not a whole number: missing
                b"MonBG = abc\n"
                b"MonRB = 120\n"             # the one good line
                b"MonGB\n"
                b"= 50\n"
                b"MonBB = 12 34\n"
                b"MonRC = 0x20\n")
        self.start(settings_text=text)
        values = neutral()
        values[("red", "brightness")] = 1.2
        self.expect_screen(0, values, what="page 0 with a corrupt settings file")
        self.finish()
        expected = {n: 100 for n in NAMES}
        expected["MonRB"] = 120
        assert self.stored_values() == expected, self.stored_values()

    def test_key_flood_is_one_step_per_press(self):
        # Presses sent back to back pile up while a page is drawn; each of
        # them must still count once, and the page must show the last value.
        presses = 150
        self.start()
        self.expect_screen(0)
        e2e.send_keys(self.xvfb, *(["Insert"] * presses), delay_ms=0)
        values = neutral()
        for _ in range(presses):
            values[("red", "brightness")] += 0.01
        self.expect_screen(0, values, what=f"page 0 after {presses} Insert presses", timeout=20)
        self.finish()
        assert self.stored_values()["MonRB"] == 100 + presses, self.stored_values()

    def test_alt_f4_and_quit_signal_save(self):
        self.start()
        self.expect_screen(0)
        self.keys("Insert")
        values = neutral()
        values[("red", "brightness")] += 0.01
        self.expect_screen(0, values)
        # With Alt held keys are system keys and do nothing; Alt+F4 closes.
        self.keys("alt+space", "alt+Prior")
        self.expect_unchanged(0, values, what="after Alt+Space and Alt+Page Up")
        self.finish(keys=("alt+F4",))
        assert self.stored_values()["MonRB"] == 101
        # A quit request from outside (SIGTERM) ends the run as a close does.
        self.start(config_home=self.config_home)
        self.expect_screen(0, values)
        self.keys("Insert")
        values[("red", "brightness")] += 0.01
        self.expect_screen(0, values)
        self.process.send_signal(signal.SIGTERM)
        self.finish(keys=())
        assert self.stored_values()["MonRB"] == 102

    def test_unwritable_settings_report_three_messages(self):
        blocker = os.path.join(self.work, "not-a-folder")
        with open(blocker, "w") as f:
            f.write("a file where the settings folder should be\n")
        self.start(config_home=os.path.join(blocker, "config"))
        self.expect_screen(0, what="page 0 without a settings folder")
        self.keys("Escape")
        # Each message waits in a box for its OK where the box can be shown;
        # Return answers it. Where it cannot (no zenity, no X11 fonts for
        # SDL's own box) the run goes straight on; standard error always has
        # the three texts.
        deadline = time.monotonic() + 20
        answered = 0
        while self.process.poll() is None and time.monotonic() < deadline:
            for window in e2e.find_windows(self.xvfb, "^Setting$")[:1]:
                subprocess.run(["xdotool", "windowfocus", window, "key", "Return"], env=self.xvfb.env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                answered += 1
            time.sleep(0.2)
        print(f"    message boxes answered: {answered}", flush=True)
        self.finish(keys=())
        lines = [line for line in self.stderr().splitlines() if line.startswith("veltrane: Setting: ")]
        assert lines == ["veltrane: Setting: Red: B=1.000000, C=1.000000, G=1.000000",
                         "veltrane: Setting: Green: B=1.000000, C=1.000000, G=1.000000",
                         "veltrane: Setting: Blue: B=1.000000, C=1.000000, G=1.000000"], self.stderr()

    def test_exporter_depths_and_errors(self):
        # The 24- and 32-bit surfaces give the same picture.
        for page in (8, 17, 20):
            e2e.assert_images_equal(self.render(page, extra=("--bpp", "24")), self.render(page),
                                    what=f"page {page} at 24 bits per pixel")
        # The caption is the only difference --no-caption makes, in the top-left band.
        plain = self.render(3, extra=("--no-caption",))
        with_caption = self.render(3)
        result = e2e.compare_images(with_caption, plain)
        assert not result.equal, "the caption left no mark"
        e2e.assert_images_equal(with_caption, plain, masks=[(0, 0, WIDTH, 18)], what="outside the band")
        output = ["--output", os.path.join(self.work, "bad.png")]
        for bad in (["--page", "21", *output], ["--bpp", "16", *output], ["--width", "0", *output],
                    ["--red-gamma", "abc", *output], ["--blue-contrast", "1e999", *output],
                    ["--settings", os.path.join(self.work, "missing.conf"), *output],
                    ["--page", "0"], ["--colour", "red", *output]):
            run = subprocess.run([self.render_tool, *bad], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True)
            assert run.returncode != 0, f"{bad} accepted"
            assert run.stderr.strip(), f"{bad} rejected without a message"
        # All 21 pages into a folder.
        folder = os.path.join(self.work, "all-pages")
        subprocess.run([self.render_tool, "--width", "64", "--height", "48", "--output", folder], check=True)
        assert sorted(os.listdir(folder)) == [f"page-{i:02d}.png" for i in range(PAGE_COUNT)]

    def test_other_screen_size(self):
        # A second screen of another shape: the layout follows the screen.
        self.xvfb.stop()
        small = e2e.Xvfb(self.xvfb.display, 1024, 600, 24).start()
        try:
            env = small.env()
            env["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="config-", dir=self.work)
            self.stderr_path = os.path.join(self.work, "stderr-small.txt")
            with open(self.stderr_path, "wb") as err:
                self.process = subprocess.Popen([self.program], env=env, stderr=err)
            for page in (0, 1, 2):
                if page:
                    e2e.send_keys(small, "space")
                e2e.wait_for_screen(small, self.render(page, width=1024, height=600), timeout=10,
                                    what=f"page {page} at 1024x600", save_dir=self.artifacts)
            e2e.send_keys(small, "b", "b", "b")
            e2e.wait_for_screen(small, self.render(20, width=1024, height=600), timeout=10,
                                what="page 20 at 1024x600", save_dir=self.artifacts)
            e2e.send_keys(small, "Escape")
            code = e2e.wait_for_exit(self.process)
            self.process = None
            assert code == 0, f"exit code {code}"
        finally:
            self.stop_leftover()
            small.stop()
            self.xvfb.start()

    # ------------------------------------------------------------- runner
    def run(self, only=None):
        tests = [name for name in dir(self) if name.startswith("test_")]
        tests.sort(key=lambda n: Suite.__dict__[n].__code__.co_firstlineno)
        if only:
            tests = [t for t in tests if any(o in t for o in only)]
        passed = failed = 0
        with self.xvfb:
            for name in tests:
                started = time.monotonic()
                try:
                    getattr(self, name)()
                    passed += 1
                    print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
                except Exception as error:  # noqa: BLE001 - every failure is reported and counted
                    failed += 1
                    print(f"FAIL {name}: {error}", flush=True)
                    if not isinstance(error, AssertionError):
                        traceback.print_exc()
                finally:
                    self.stop_leftover()
        print(f"{passed} passed, {failed} failed")
        return failed == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--display", type=int, default=95)
    parser.add_argument("--artifacts", default=None, help="where to save the images of a failed comparison")
    parser.add_argument("only", nargs="*", help="run only the tests whose names contain these words")
    args = parser.parse_args()
    e2e.require_tools("Xvfb", "xdotool", "import", "convert")
    suite = Suite(args.build_dir, args.display, args.artifacts)
    try:
        ok = suite.run(args.only)
    finally:
        # Failed comparisons are kept in the artifacts folder; the scratch folder goes.
        shutil.rmtree(suite.work, ignore_errors=True)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
