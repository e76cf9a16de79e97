"""End to end: veltrane.exe under Wine on Xvfb.

Every page is checked pixel for pixel outside the caption band against the
core's own headless rendering of the same page, size and parameters, and is
checked again in several screenshots after each change, so a picture that
alternates between two pages fails. Then: parameter keys change the page and
the caption, Escape ends with exit code 0 and the registry holds the nine
values, values put into the registry beforehand take effect on the first page,
the idle program uses next to no processor time, without DirectDraw the
program says so and ends with -1, touching nothing, and logging off saves the
values as Escape does.

The first run is one program driven through several tests in order; a test
whose earlier step failed says so instead of driving a program in an unknown
state."""

import contextlib
import math
import time

import pytest

import e2e_support as e2e
from wine_session import SCREEN_WIDTH as WIDTH, CaptionComparison, band_region, registry_values

PAGE_COUNT = 21
STEADY_SHOTS = 6
APP_KEY = r"HKCU\Software\Kardo\Orlith"
MAKER_KEY = r"HKCU\Software\Kardo"
VALUE_PARAMETER = {"MonRG": "red-gamma", "MonGG": "green-gamma", "MonBG": "blue-gamma",
                   "MonRB": "red-brightness", "MonGB": "green-brightness", "MonBB": "blue-brightness",
                   "MonRC": "red-contrast", "MonGC": "green-contrast", "MonBC": "blue-contrast"}
TITLES = ["Red", "Green", "Blue", "Black", "White", "Red (0-255)", "Green (0-255)", "Blue (0-255)",
          "Gray scale (0-255)", "Red (0-15)", "Green (0-15)", "Blue (0-15)", "Gray scale (0-15)",
          "Red (240-255)", "Green (240-255)", "Blue (240-255)", "Gray scale (240-255)", "Horizontal Lines",
          "Vertical Lines", "Net Dots", "Gamma Check (Same color = correct gamma)"]
IDLE_CPU_LIMIT = 0.05  # of one core, program and wineserver each
NEXT_PAGE_KEYS = ["space", "Right", "n", "Tab", "1", "Down", "Return"]


def neutral():
    return {name: 1.0 for name in VALUE_PARAMETER.values()}


def caption_length(page, params):
    def p(name):
        return params[name]
    text = "%s: R:%.2f,%.2f,%.2f, G:%.2f,%.2f,%.2f, B:%.2f,%.2f,%.2f" % (
        TITLES[page], p("red-brightness"), p("red-contrast"), p("red-gamma"),
        p("green-brightness"), p("green-contrast"), p("green-gamma"),
        p("blue-brightness"), p("blue-contrast"), p("blue-gamma"))
    return len(text)


def stored_percent(value):
    """value x 100 to the nearest whole number, halves away from zero, as a REG_DWORD's bits."""
    scaled = value * 100
    whole = math.floor(abs(scaled) + 0.5)
    return int(math.copysign(whole, scaled)) & 0xFFFFFFFF


def expected_registry(params):
    return {name: ("REG_DWORD", stored_percent(params[parameter])) for name, parameter in VALUE_PARAMETER.items()}


def exit_code_or_none(process, timeout=20):
    """The exit code, or None for a program that hangs (it is killed then)."""
    try:
        return e2e.wait_for_exit(process, timeout)
    except AssertionError:
        return None


class Program:
    """One run of veltrane.exe with the page and parameters it should show."""

    def __init__(self, session, reference, exe, params, **env):
        self.session = session
        self.reference = reference
        self.params = dict(params)
        self.page = 0
        self.process = session.start(exe, **env)
        self.bands = {}

    def expect(self, what, timeout=10.0):
        """Waits for the expected page, then demands it in several more
        screenshots, caption included. Returns the last screenshot."""
        expected = self.reference.page(self.page, self.params)
        bound = min(WIDTH, caption_length(self.page, self.params) * 16)
        deadline = time.monotonic() + timeout
        shot = self.session.screenshot()
        first = CaptionComparison(shot, expected)
        while not first.ok(bound) and time.monotonic() < deadline:
            time.sleep(0.05)
            shot = self.session.screenshot()
            first = CaptionComparison(shot, expected)
        assert first.ok(bound), (f"{what}: page {self.page} not shown with its caption green on black: "
                                 f"{first.describe()} (saved {self._save(shot, what)})")
        unsteady = []
        for i in range(STEADY_SHOTS):
            time.sleep(0.015 * (i % 3))
            again = self.session.screenshot()
            comparison = CaptionComparison(again, expected)
            if not comparison.ok(bound) or comparison.band != first.band:
                unsteady.append(f"shot {i + 1}: {comparison.describe()} (saved {self._save(again, what)})")
        assert not unsteady, f"{what}: not steady over {STEADY_SHOTS} more screenshots: " + "; ".join(unsteady)
        return shot

    def _save(self, shot, what):
        name = "".join(c if c.isalnum() else "-" for c in what)[:60] + f"-{time.monotonic_ns()}"
        return self.session.save_png(shot, name)

    def press(self, key, what, page=None, adjust=None):
        """Presses a key; `page` is the page it leads to, `adjust` a list of
        (parameter, +1 or -1) steps of 0.01 it makes."""
        self.session.keys(key)
        if page is not None:
            self.page = page
        for name, sign in adjust or []:
            self.params[name] += sign * 0.01
        return self.expect(what)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


# ------------------------------------------------------------------ run 1

class FirstRun:
    """Run 1: no settings yet; all pages forward and back, parameter keys,
    Escape saves. Each test is one step of the same program's run."""

    def __init__(self, program):
        self.program = program
        self.failed_step = None

    @contextlib.contextmanager
    def step(self, name):
        if self.failed_step is not None:
            pytest.fail(f"not run: the earlier step '{self.failed_step}' of the same program failed")
        try:
            yield self.program
        except BaseException:
            # The program is in an unknown state: end it now, so its window
            # does not stand in the way of the runs that follow.
            self.failed_step = name
            self.program.stop()
            raise


@pytest.fixture(scope="module")
def seen():
    """Screenshots one test keeps for a later one: "neutral first page"."""
    return {}


@pytest.fixture(scope="module")
def first_run(session, reference, exe):
    session.wine("reg", "delete", MAKER_KEY, "/f")
    program = Program(session, reference, exe, neutral())
    yield FirstRun(program)
    program.stop()


def test_start_up_shows_the_first_page(first_run, seen):
    with first_run.step("start-up") as program:
        seen["neutral first page"] = program.expect("start-up", timeout=60)


def test_idle_program_uses_next_to_no_processor_time(first_run, session):
    with first_run.step("idle") as program:
        pid = program.process.pid
        server = session.wineserver_pid()
        elapsed, used = e2e.measure_cpu([pid, server] if server else [pid], 10.0)
        program_share = used[0] / elapsed
        server_share = (used[1] / elapsed) if server else 0.0
        print(f"idle processor use over {elapsed:.1f} s: program (pid {pid}) {program_share * 100:.1f} % of a "
              f"core, wineserver (pid {server}) {server_share * 100:.1f} %")
        assert program_share < IDLE_CPU_LIMIT and server_share < IDLE_CPU_LIMIT, (
            f"idle program above {IDLE_CPU_LIMIT * 100:.0f} % of a core: "
            f"{program_share * 100:.1f} % and {server_share * 100:.1f} %")
        program.expect("after idling")


def test_pages_step_forward_and_back(first_run):
    with first_run.step("pages") as program:
        for step in range(PAGE_COUNT):
            key = NEXT_PAGE_KEYS[step % len(NEXT_PAGE_KEYS)]
            shot = program.press(key, f"forward with {key}", page=(program.page + 1) % PAGE_COUNT)
            program.bands[program.page] = shot
        for step in range(PAGE_COUNT):
            key = "shift+b" if step == 5 else "b"
            program.press(key, f"back with {key}", page=(program.page - 1) % PAGE_COUNT)


def test_parameter_keys_change_the_page_and_the_caption(first_run):
    with first_run.step("parameter keys") as program:
        session = program.session
        # Parameters on the grey grid, where every channel shows.
        session.keys(*["space"] * 8, delay_ms=30)
        program.page = 8
        before = program.expect("eight pages on")
        steps = [("Prior", [("red-gamma", +1)]), ("Prior", [("red-gamma", +1)]),
                 ("ctrl+Next", [("green-gamma", -1)]), ("shift+Home", [("blue-contrast", +1)]),
                 ("Delete", [("red-brightness", -1)]), ("ctrl+shift+Insert", [("blue-brightness", +1)]),
                 ("End", [("red-contrast", -1)]), ("ctrl+Home", [("green-contrast", +1)])]
        for key, adjust in steps:
            after = program.press(key, f"{key} on page 8", adjust=adjust)
            columns = WIDTH // 2
            assert band_region(after, columns) != band_region(before, columns), f"{key} does not change the caption"
            before = after
        up = program.press("ctrl+Prior", "ctrl+Prior", adjust=[("green-gamma", +1)])
        down = program.press("ctrl+Next", "ctrl+Next", adjust=[("green-gamma", -1)])
        assert band_region(up, WIDTH) != band_region(before, WIDTH), "ctrl+Prior does not change the caption"
        assert band_region(down, WIDTH) == band_region(before, WIDTH), \
            "a parameter stepped up and down again does not give the same caption back"


def test_r_resets_all_nine_parameters(first_run):
    with first_run.step("reset") as program:
        assert 20 in program.bands, "the gamma check's neutral caption was not seen while stepping through the pages"
        program.session.keys(*["space"] * 12, delay_ms=30)
        program.page = 20
        program.expect("gamma check with the adjusted parameters")
        program.params = neutral()
        reset = program.press("r", "R resets all nine parameters")
        assert band_region(reset, WIDTH) == band_region(program.bands[20], WIDTH), \
            "after R the caption is not the neutral one seen before"


def test_escape_saves_the_nine_values(first_run):
    with first_run.step("escape") as program:
        session = program.session
        # Values to save: ten steps down give 0.8999999999999999, saved as 90.
        for _ in range(10):
            session.keys("Next", delay_ms=20)
            program.params["red-gamma"] -= 0.01
        for _ in range(3):
            session.keys("ctrl+Insert", delay_ms=20)
            program.params["green-brightness"] += 0.01
        session.keys("shift+Delete")
        program.params["blue-brightness"] -= 0.01
        for _ in range(5):
            session.keys("shift+End", delay_ms=20)
            program.params["blue-contrast"] -= 0.01
        program.expect("after the steps to be saved")

        session.keys("Escape")
        code = exit_code_or_none(program.process)
        assert code == 0, f"Escape ends the run with exit code {code}, not 0"
        assert not session.windows_named("^BaseForm$"), "the window is still there"
        stored = registry_values(session, APP_KEY)
        wanted = expected_registry(program.params)
        assert stored == wanted, "the registry does not hold the nine values as signed percentages, rounded"


# ------------------------------------------------------------------ runs 2 to 4

def neutral_first_page(session, reference, exe, seen):
    """The first page with neutral values, as the first run saw it; a run of
    its own when that run was not selected or did not get that far."""
    if "neutral first page" not in seen:
        session.wine("reg", "delete", MAKER_KEY, "/f")
        program = Program(session, reference, exe, neutral())
        try:
            shot = program.expect("start-up with neutral values", timeout=60)
            session.keys("Escape")
            assert exit_code_or_none(program.process) == 0, "the neutral run did not end with exit code 0"
        finally:
            program.stop()
        seen["neutral first page"] = shot
    return seen["neutral first page"]


def test_values_in_the_registry_take_effect_and_are_written_back(session, reference, exe, seen):
    """Run 2: MonRG 250 and MonBC -40 in the registry before the run."""
    neutral_page = neutral_first_page(session, reference, exe, seen)
    session.wine("reg", "delete", MAKER_KEY, "/f")
    session.wine("reg", "add", APP_KEY, "/v", "MonRG", "/t", "REG_DWORD", "/d", "250", "/f")
    session.wine("reg", "add", APP_KEY, "/v", "MonBC", "/t", "REG_DWORD", "/d", str(-40 & 0xFFFFFFFF), "/f")
    params = neutral()
    params["red-gamma"] = 2.5
    params["blue-contrast"] = -0.4
    for page in (5, 7):
        assert reference.page(page, params) != reference.page(page, neutral()), \
            f"page {page} looks the same with the stored values (the check below would mean nothing)"
    program = Program(session, reference, exe, params)
    try:
        first = program.expect("start-up with stored values", timeout=60)
        assert band_region(first, WIDTH) != band_region(neutral_page, WIDTH), \
            "the first page's caption does not show the stored values"
        session.keys(*["space"] * 5, delay_ms=30)
        program.page = 5
        program.expect("red grid with red gamma 2.5")
        session.keys("space", "space", delay_ms=30)
        program.page = 7
        program.expect("blue grid with blue contrast -0.4")
        session.keys("Escape")
        code = exit_code_or_none(program.process)
        assert code == 0, f"Escape ends the second run with exit code {code}, not 0"
    finally:
        program.stop()
    stored = registry_values(session, APP_KEY)
    wanted = expected_registry(params)
    assert stored == wanted, "the stored values are not written back, the missing ones as 100"


def test_without_direct_draw_the_program_says_so_and_ends_with_minus_one(session, exe):
    """Run 3: DirectDraw missing."""
    session.wine("reg", "delete", MAKER_KEY, "/f")
    process = session.start(exe, WINEDLLOVERRIDES="mscoree,mshtml=;ddraw=d")
    try:
        deadline = time.monotonic() + 60
        boxes = []
        while not boxes and time.monotonic() < deadline and process.poll() is None:
            time.sleep(0.3)
            boxes = session.windows_named("^Error$")
        assert boxes, 'the box titled "Error" is not shown'
        assert not session.windows_named("^BaseForm$"), "a program window was created"
        session.keys("Return")
        code = exit_code_or_none(process)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    assert code == 255, f"the run ends with exit code {code}, not -1 (255 as Wine passes it on)"
    assert registry_values(session, r"HKCU\Software") is not None, "the registry cannot be read"
    assert registry_values(session, MAKER_KEY) is None, "a registry key was created"


def test_logging_off_saves_as_escape_does(session, reference, exe):
    """Run 4: the session ends (Wine's wineboot --end-session sends
    WM_QUERYENDSESSION and WM_ENDSESSION, as logging off does) after two
    parameter steps; the registry then holds them, as after Escape. Last, as
    ending the session ends every process of the prefix."""
    session.wine("reg", "delete", MAKER_KEY, "/f")
    program = Program(session, reference, exe, neutral())
    try:
        program.expect("start-up before logging off", timeout=60)
        program.press("Prior", "Prior before logging off", adjust=[("red-gamma", +1)])
        program.press("ctrl+Delete", "ctrl+Delete before logging off", adjust=[("green-brightness", -1)])
        ended = session.wine("wineboot", "--end-session")
        assert ended.returncode == 0, f"wineboot --end-session failed: {ended.stderr}"
        code = exit_code_or_none(program.process)
        assert code is not None, "the program did not end with the session"
    finally:
        program.stop()
    stored = registry_values(session, APP_KEY)
    wanted = expected_registry(program.params)
    assert stored == wanted, "the values were not saved when the session ended"
