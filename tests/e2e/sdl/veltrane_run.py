"""One run of the Linux program under test, and the reference pictures it is
compared with. The fixtures in conftest.py hand these to the tests.

- Reference: veltrane-render's picture of a page at a size and with given
  parameter values, cached per set of arguments. The values are computed by
  the tests with the same steps the program takes (1.0 + 0.01, ...) and
  handed over as repr() text, so both sides hold the identical doubles.
- ProgramRun: starts the program on an Xvfb with its own settings folder
  ($XDG_CONFIG_HOME) and a file for its standard error; sends keys, compares
  the screen, answers the program's message boxes, ends the run and reads
  the saved settings.
"""

import os
import re
import subprocess
import tempfile
import time
from dataclasses import dataclass
from typing import Optional

import e2e_support as e2e

WIDTH, HEIGHT = 1366, 768
PAGE_COUNT = 21
NAMES = ["MonRG", "MonGG", "MonBG", "MonRB", "MonGB", "MonBB", "MonRC", "MonGC", "MonBC"]
# What the program prints when a box it tried to show could not be shown.
UNSHOWN_BOX = re.compile(r'^veltrane: the box "(.*)" could not be shown: ')


neutral = e2e.neutral


class Reference(e2e.Reference):
    """veltrane-render's picture at this suite's screen size by default."""

    def __init__(self, render_tool: str, work: str):
        super().__init__(render_tool, work, WIDTH, HEIGHT)


@dataclass
class BoxOutcome:
    shown_and_answered: int  # boxes that appeared and were closed with Return
    unshown: int             # boxes the program said it could not show
    messages: int            # the messages printed on standard error meanwhile

    def __str__(self):
        return (f"{self.messages} messages: {self.shown_and_answered} boxes answered, "
                f"{self.unshown} could not be shown")


class ProgramRun:
    def __init__(self, program: str, xvfb: e2e.Xvfb, work: str, reference: Reference,
                 artifacts: Optional[str] = None):
        self.program = program
        self.xvfb = xvfb
        self.work = work
        self.reference = reference
        self.artifacts = artifacts
        self.process: Optional[subprocess.Popen] = None
        self.stderr_path: Optional[str] = None
        self.config_home: Optional[str] = None

    # ----------------------------------------------------------- the process
    def start(self, settings_text=None, config_home=None, env=None, xvfb=None):
        """Starts the program. `settings_text` (str or bytes) is written as its
        settings file first; `env` adds to or, with None values, removes from
        the environment; `xvfb` picks another screen than the run's own."""
        if xvfb is not None:
            self.xvfb = xvfb
        self.config_home = config_home or tempfile.mkdtemp(prefix="config-", dir=self.work)
        if settings_text is not None:
            os.makedirs(os.path.dirname(self.settings_path()), exist_ok=True)
            with open(self.settings_path(), "wb") as f:
                f.write(settings_text if isinstance(settings_text, bytes) else settings_text.encode())
        environment = self.xvfb.env()
        environment["XDG_CONFIG_HOME"] = self.config_home
        for name, value in (env or {}).items():
            if value is None:
                environment.pop(name, None)
            else:
                environment[name] = value
        self.stderr_path = os.path.join(self.work, f"stderr-{time.monotonic_ns()}.txt")
        with open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen([self.program], env=environment, stderr=err)
        return self.process

    def stop(self):
        """Kills a run the test left running."""
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process = None

    def finish(self, keys=("Escape",), expected_code=0, timeout=10.0):
        if keys:
            self.keys(*keys)
        code = e2e.wait_for_exit(self.process, timeout)
        self.process = None
        assert code == expected_code, f"exit code {code}, expected {expected_code}; stderr: {self.stderr()}"

    def stderr(self) -> str:
        with open(self.stderr_path, errors="replace") as f:
            return f.read()

    # ------------------------------------------------------------ settings
    def settings_path(self) -> str:
        return os.path.join(self.config_home, "Kardo", "Orlith.conf")

    def stored_values(self) -> dict:
        return e2e.read_settings_values(self.settings_path())

    # ------------------------------------------------------ keys and screen
    def keys(self, *keys):
        e2e.send_keys(self.xvfb, *keys)

    def expect_screen(self, page, values=None, what=None, timeout=10.0, width=None, height=None, extra=()):
        expected = self.reference(page, values, width or self.xvfb.width, height or self.xvfb.height, extra)
        return e2e.wait_for_screen(self.xvfb, expected, timeout=timeout, what=what or f"page {page}",
                                   save_dir=self.artifacts)

    def expect_unchanged(self, page, values=None, what="screen"):
        time.sleep(0.4)
        expected = self.reference(page, values, self.xvfb.width, self.xvfb.height)
        e2e.assert_images_equal(e2e.screenshot(self.xvfb), expected, what=what)

    def window(self, timeout=10.0) -> str:
        """The id of the program's full-screen window."""
        deadline = time.monotonic() + timeout
        while True:
            found = e2e.find_windows(self.xvfb, "^BaseForm$", visible_only=True)
            if found:
                return found[0]
            if time.monotonic() > deadline:
                raise AssertionError("the program's window did not appear")
            time.sleep(0.1)

    # ---------------------------------------------------------- message boxes
    def answer_boxes(self, title: str, message_prefix: str, expected: int, timeout=30.0,
                     on_box=None) -> BoxOutcome:
        """Answers each box titled `title` with Return until `expected`
        messages have been dealt with: shown in a box and answered, or named
        on standard error as not shown (SDL's X11 box needs X core fonts, and
        there may be no display at all). The program prints each message,
        starting with `message_prefix`, before it shows its box, so a box
        seen while n messages are printed is the n-th; that keeps count even
        when a closed box's window id is reused by the next one. `on_box(id)`
        is called once for each box before it is answered."""
        box_pattern = "^" + re.escape(title) + "$"
        answered = set()
        seen = set()
        deadline = time.monotonic() + timeout

        def messages():
            return sum(1 for line in self.stderr().splitlines() if line.startswith(message_prefix))

        def unshown():
            return sum(1 for line in self.stderr().splitlines()
                       if (m := UNSHOWN_BOX.match(line)) and m.group(1) == title)

        while time.monotonic() < deadline:
            if len(answered) + unshown() >= expected:
                break
            before = messages()
            boxes = e2e.find_windows(self.xvfb, box_pattern, visible_only=True)
            if boxes and before >= 1 and messages() == before and before not in answered:
                box = boxes[0]
                if on_box is not None and before not in seen:
                    seen.add(before)
                    on_box(box)
                if e2e.press_key_in_window(self.xvfb, box, "Return"):
                    # Gone, or the next message printed: this one is answered.
                    settle = time.monotonic() + 3
                    while time.monotonic() < settle:
                        if messages() != before or box not in e2e.find_windows(self.xvfb, box_pattern, True):
                            answered.add(before)
                            break
                        if self.process is not None and self.process.poll() is not None:
                            answered.add(before)
                            break
                        time.sleep(0.05)
                continue
            if self.process is not None and self.process.poll() is not None:
                break
            time.sleep(0.1)
        return BoxOutcome(len(answered), unshown(), messages())
