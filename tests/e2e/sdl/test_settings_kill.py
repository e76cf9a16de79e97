"""A save survives being killed.

SIGKILL lands at random moments while the settings file is being saved, and
after every kill the file must hold either the old or the new complete text,
the previous copy (Orlith.conf.bak) must be complete too, and the next start
must leave no temporary file behind.

Two kinds of trials:
- the Linux program itself on Xvfb: Insert (one step of red brightness) and
  Escape, then a kill spread over the moments the save was measured to take;
- a small driver linking the same settings store, which saves in a loop, so
  every kill falls inside a save; it makes hundreds of trials affordable.

Run as: python3 -m pytest tests/e2e/sdl/test_settings_kill.py
  VELTRANE_BUILD_DIR          build folder (default build/linux; built here)
  VELTRANE_E2E_DISPLAYS       X display numbers to try, e.g. "120-129" (default the four after VELTRANE_E2E_DISPLAY, 96-99)
  VELTRANE_KILL_PROGRAM_TRIALS  trials with the program (default 50)
  VELTRANE_KILL_DRIVER_TRIALS   trials with the driver (default 300)
"""

import os
import random
import re
import signal
import stat
import subprocess
import sys
import tempfile
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e", "common"))
import e2e_support as e2e  # noqa: E402

TEMPORARY = re.compile(r"^\.Orlith\.conf\.tmp-[A-Za-z0-9]{6}$")
RED_BRIGHTNESS = re.compile(r"^MonRB = (-?\d+)$", re.MULTILINE)


def build_dir():
    return os.path.join(ROOT, os.environ.get("VELTRANE_BUILD_DIR", "build/linux"))


def display_numbers():
    """The screens this module may start: the extra displays of the suite
    (VELTRANE_E2E_DISPLAYS), else the four after the main one, which the
    suite's own screen holds."""
    main = int(os.environ.get("VELTRANE_E2E_DISPLAY", "95"))
    return e2e.display_numbers([main + i for i in range(1, 5)])


@pytest.fixture(scope="module")
def programs():
    folder = build_dir()
    subprocess.run(["cmake", "--build", folder, "--target", "veltrane", "veltrane_settings_save_driver"],
                   check=True, stdout=subprocess.DEVNULL)
    return {"program": os.path.join(folder, "veltrane"),
            "driver": os.path.join(folder, "tests", "xdg", "veltrane_settings_save_driver")}


def with_red_brightness(text, value):
    """The same text with the MonRB line's value replaced."""
    assert len(RED_BRIGHTNESS.findall(text)) == 1, text
    return RED_BRIGHTNESS.sub(f"MonRB = {value}", text)


def red_brightness(text):
    found = RED_BRIGHTNESS.findall(text)
    return int(found[0]) if len(found) == 1 else None


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode()
    except FileNotFoundError:
        return None


def temporaries(folder):
    return sorted(n for n in os.listdir(folder) if TEMPORARY.match(n))


# A hand-written file with a comment and one line the reader cannot use: the
# kill must not lose them either.
SEED = ("# tuned by hand\n"
        "MonRG = 100\nMonGG = 2.2\nMonBG = 100\nMonRB = 100\nMonGB = 100\nMonBB = 100\n"
        "MonRC = 100\nMonGC = 100\nMonBC = 100\n")


def test_killed_driver_saves_leave_a_whole_file(programs, tmp_path):
    trials = int(os.environ.get("VELTRANE_KILL_DRIVER_TRIALS", "300"))
    folder = tmp_path / "Kardo"
    folder.mkdir()
    path = str(folder / "Orlith.conf")
    with open(path, "w") as f:
        f.write(SEED)
    # One save shows what every later text looks like: only MonRB moves.
    subprocess.run([programs["driver"], "start", path], check=True)
    template = None
    rng = random.Random(7)
    outcomes = {"killed with temporary files": 0, "killed cleanly": 0}
    previous = red_brightness(read(path))
    for trial in range(trials):
        process = subprocess.Popen([programs["driver"], "save-forever", path], stderr=subprocess.PIPE)
        # Past the start-up and into the saves, one of which takes some milliseconds.
        time.sleep(rng.uniform(0.005, 0.120))
        process.send_signal(signal.SIGKILL)
        process.wait()
        assert process.returncode == -signal.SIGKILL, process.stderr.read().decode()
        process.stderr.close()

        text = read(path)
        value = red_brightness(text or "")
        assert value is not None and value >= previous, f"trial {trial}: torn or lost file:\n{text!r}"
        if template is None and value != 100:
            template = with_red_brightness(text, "{}")
            assert "# tuned by hand\n" in text and "# MonGG = 2.2\n" in text, text
        if template is not None:
            assert text == template.replace("{}", str(value)), f"trial {trial}: not a whole file:\n{text!r}"
        backup = read(path + ".bak")
        if backup is not None and template is not None and red_brightness(backup) != 100:
            assert backup == template.replace("{}", str(red_brightness(backup))), \
                f"trial {trial}: torn copy:\n{backup!r}"
        previous = value

        left = temporaries(folder)
        outcomes["killed with temporary files" if left else "killed cleanly"] += 1
        subprocess.run([programs["driver"], "start", path], check=True)
        assert temporaries(folder) == [], f"trial {trial}: the next start left {temporaries(folder)}"
        assert read(path) == text, f"trial {trial}: the next start changed the file"
    print(f"\n    driver: {trials} kills, {outcomes}, MonRB reached {previous}")
    assert previous > 100, "no save ever completed: the kills never fell inside a save"


class ProgramRun:
    def __init__(self, program, xvfb, config_home, stderr=subprocess.DEVNULL):
        self.xvfb = xvfb
        env = xvfb.env()
        env["XDG_CONFIG_HOME"] = config_home
        self.process = subprocess.Popen([program], env=env, stderr=stderr)

    def wait_for_window(self, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError(f"the program ended early with {self.process.returncode}")
            windows = e2e.find_windows(self.xvfb, "^BaseForm$", visible_only=True)
            if windows:
                return windows[0]
            time.sleep(0.01)
        raise AssertionError("the program's window did not appear")

    def insert_and_escape(self, window):
        subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "--delay", "0", "Insert", "Escape"],
                       env=self.xvfb.env(), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def measure_save(program, xvfb, config_home, path):
    """Runs the program to its end once and returns, counted from the moment
    the keys were sent, when a temporary file first appeared and when the file
    was replaced."""
    folder = os.path.dirname(path)
    run = ProgramRun(program, xvfb, config_home)
    window = run.wait_for_window()
    before = os.stat(path).st_ino
    run.insert_and_escape(window)
    sent = time.monotonic()
    first_temporary = replaced = None
    while run.process.poll() is None or replaced is None:
        now = time.monotonic() - sent
        if first_temporary is None and temporaries(folder):
            first_temporary = now
        if replaced is None and os.stat(path).st_ino != before:
            replaced = now
        if now > 10:
            run.process.kill()
            raise AssertionError("the program did not save within 10 s")
    assert run.process.wait() == 0
    return first_temporary if first_temporary is not None else replaced, replaced


def test_killed_program_saves_leave_a_whole_file(programs, tmp_path):
    trials = int(os.environ.get("VELTRANE_KILL_PROGRAM_TRIALS", "50"))
    e2e.require_tools("Xvfb", "xdotool")
    config_home = str(tmp_path)
    folder = tmp_path / "Kardo"
    folder.mkdir()
    path = str(folder / "Orlith.conf")
    with open(path, "w") as f:
        f.write(SEED)
    xvfb = e2e.Xvfb.first_free(display_numbers(), 320, 200, 24)
    try:
        # When does the save happen after the keys? A few runs to their end.
        windows = [measure_save(programs["program"], xvfb, config_home, path) for _ in range(3)]
        start = max(0.0, min(w[0] for w in windows) - 0.010)
        end = max(w[1] for w in windows) + 0.005
        print(f"\n    program: the save took place {[(round(a * 1000, 1), round(b * 1000, 1)) for a, b in windows]}"
              f" ms after the keys; kills spread over {start * 1000:.1f}..{end * 1000:.1f} ms")

        rng = random.Random(11)
        longest_save = max(b - a for a, b in windows) + 0.002
        outcomes = {"old": 0, "new": 0, "temporary file present at the kill": 0}
        for trial in range(trials):
            old_text = read(path)
            old_backup = read(path + ".bak")
            new_text = with_red_brightness(old_text, red_brightness(old_text) + 1)

            run = ProgramRun(programs["program"], xvfb, config_home)
            window = run.wait_for_window()
            # The window shows after the settings were read: the start is over.
            assert temporaries(folder) == [], f"trial {trial}: the start left {temporaries(folder)}"
            run.insert_and_escape(window)
            if trial % 2 == 0:
                # At a moment spread over when the save was measured to happen.
                time.sleep(rng.uniform(start, end))
            else:
                # The save's moment wanders by more than the save lasts, so
                # every other kill waits for its temporary file to appear.
                deadline = time.monotonic() + 10
                while not temporaries(folder) and run.process.poll() is None and time.monotonic() < deadline:
                    pass
                time.sleep(rng.uniform(0, min(longest_save, 0.004)))
            during_save = bool(temporaries(folder))
            run.process.send_signal(signal.SIGKILL)
            run.process.wait()

            text = read(path)
            assert text in (old_text, new_text), f"trial {trial}: torn file:\n{text!r}"
            outcomes["new" if text == new_text else "old"] += 1
            outcomes["temporary file present at the kill"] += during_save
            backup = read(path + ".bak")
            assert backup in (old_backup, old_text), f"trial {trial}: torn copy:\n{backup!r}"
            if text == new_text:
                assert backup == old_text, f"trial {trial}: replaced without a copy of the previous file"
        # The last start clears what the last kill left.
        run = ProgramRun(programs["program"], xvfb, config_home)
        run.wait_for_window()
        assert temporaries(folder) == []
        run.process.kill()
        run.process.wait()
        print(f"    program: {trials} kills, {outcomes}")
        assert "# tuned by hand\n" in read(path) and "# MonGG = 2.2\n" in read(path)
    finally:
        xvfb.stop()


def test_a_fifo_in_place_of_the_file_neither_blocks_nor_is_replaced(programs, tmp_path):
    """The settings are not read from a FIFO (that would wait for a writer);
    the save writes into it, as every file the programs write: a reader gets
    the values, and with none the save gives up after a short wait and says so."""
    e2e.require_tools("Xvfb", "xdotool")
    folder = tmp_path / "Kardo"
    folder.mkdir()
    fifo = folder / "Orlith.conf"
    os.mkfifo(fifo)
    xvfb = e2e.Xvfb.first_free(display_numbers(), 320, 200, 24)
    try:
        # Nobody reads: the save fails, and standard error says why before
        # the boxes show the values (answering the boxes is the main suite's part).
        errors = tmp_path / "stderr.txt"
        with open(errors, "wb") as err:
            run = ProgramRun(programs["program"], xvfb, str(tmp_path), stderr=err)
        try:
            window = run.wait_for_window()  # a blocking read would never get here
            run.insert_and_escape(window)
            deadline = time.monotonic() + 15
            while "could not be saved" not in errors.read_text() and time.monotonic() < deadline:
                time.sleep(0.05)
        finally:
            run.process.kill()
            run.process.wait()
        text = errors.read_text()
        assert f"veltrane: {fifo} is a FIFO, not a regular file; it is not read, as if it were missing" in text, text
        assert "veltrane: Setting: Red: B=1.010000, C=1.000000, G=1.000000\n\n" \
               f"These values could not be saved: cannot write {fifo}: no program opened the FIFO for reading " \
               "within 2 seconds" in text, text
        assert stat.S_ISFIFO(os.lstat(fifo).st_mode), "the FIFO was replaced"
        assert sorted(os.listdir(folder)) == ["Orlith.conf"]

        # A reader gets the saved values, and the program ends normally.
        reader = subprocess.Popen(["timeout", "30", "cat", str(fifo)], stdout=subprocess.PIPE)
        run = ProgramRun(programs["program"], xvfb, str(tmp_path))
        try:
            run.insert_and_escape(run.wait_for_window())
            assert run.process.wait(timeout=15) == 0
        finally:
            run.process.kill()
            run.process.wait()
        received = reader.communicate(timeout=30)[0].decode()
        assert red_brightness(received) == 101, received
        assert stat.S_ISFIFO(os.lstat(fifo).st_mode), "the FIFO was replaced"
        assert sorted(os.listdir(folder)) == ["Orlith.conf"]
    finally:
        xvfb.stop()
