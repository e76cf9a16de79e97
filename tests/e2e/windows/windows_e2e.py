"""End to end: veltrane.exe under Wine on Xvfb.

Every page is checked pixel for pixel outside the caption band against the
core's own headless rendering of the same page, size and parameters, and is
checked again in several screenshots after each change, so a picture that
alternates between two pages fails. Then: parameter keys change the page and
the caption, Escape ends with exit code 0 and the registry holds the nine
values, values put into the registry beforehand take effect on the first page,
the idle program uses next to no processor time, and without DirectDraw the
program says so and ends with -1, touching nothing."""

import argparse
import math
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
import e2e_support as e2e  # noqa: E402
from wine_session import CaptionComparison, Reference, Session, band_region, registry_values  # noqa: E402

WIDTH, HEIGHT = 1366, 768  # uneven block edges: 1366 / 16 and 768 / 16 are not both whole
PAGE_COUNT = 21
STEADY_SHOTS = 6
APP_KEY = r"HKCU\Software\Kardo\Orlith"
MAKER_KEY = r"HKCU\Software\Kardo"
VALUE_NAMES = ["MonRG", "MonGG", "MonBG", "MonRB", "MonGB", "MonBB", "MonRC", "MonGC", "MonBC"]
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


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = []

    def check(self, condition, what, detail=""):
        if condition:
            self.passed += 1
            print(f"  ok    {what}")
        else:
            self.failed.append(what)
            print(f"  FAIL  {what}" + (f": {detail}" if detail else ""))
        return condition


class Program:
    """One run of veltrane.exe with the page and parameters it should show."""

    def __init__(self, session, reference, results, exe, params, **env):
        self.session = session
        self.reference = reference
        self.results = results
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
        if not self.results.check(first.ok(bound), f"{what}: page {self.page} shown, caption green on black",
                                  first.describe() + f" (saved {self._save(shot, what)})"):
            return shot
        unsteady = []
        for i in range(STEADY_SHOTS):
            time.sleep(0.015 * (i % 3))
            again = self.session.screenshot()
            comparison = CaptionComparison(again, expected)
            if not comparison.ok(bound) or comparison.band != first.band:
                unsteady.append(f"shot {i + 1}: {comparison.describe()} (saved {self._save(again, what)})")
        self.results.check(not unsteady, f"{what}: steady over {STEADY_SHOTS} more screenshots", "; ".join(unsteady))
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

    def wait_for_exit(self):
        return exit_code_or_none(self.process)


def exit_code_or_none(process, timeout=20):
    """The exit code, or None for a program that hangs (it is killed): the
    test reports that and goes on."""
    try:
        return e2e.wait_for_exit(process, timeout)
    except AssertionError:
        return None


def measure_idle_cpu(session, program, results, seconds=10.0):
    pid = program.process.pid
    server = session.wineserver_pid()
    with open(f"/proc/{pid}/comm") as comm:
        name = comm.read().strip()
    elapsed, used = e2e.measure_cpu([pid, server] if server else [pid], seconds)
    program_share = used[0] / elapsed
    server_share = (used[1] / elapsed) if server else 0.0
    print(f"  idle processor use over {elapsed:.1f} s: {name} (pid {pid}) {program_share * 100:.1f} % of a core, "
          f"wineserver (pid {server}) {server_share * 100:.1f} %")
    results.check(program_share < IDLE_CPU_LIMIT and server_share < IDLE_CPU_LIMIT,
                  f"idle program below {IDLE_CPU_LIMIT * 100:.0f} % of a core (program and wineserver)",
                  f"{program_share * 100:.1f} % and {server_share * 100:.1f} %")


def stored_percent(value):
    """value x 100 to the nearest whole number, halves away from zero, as a REG_DWORD's bits."""
    scaled = value * 100
    whole = math.floor(abs(scaled) + 0.5)
    return int(math.copysign(whole, scaled)) & 0xFFFFFFFF


def expected_registry(params):
    return {name: ("REG_DWORD", stored_percent(params[parameter])) for name, parameter in VALUE_PARAMETER.items()}


def run_pages_keys_and_save(session, reference, results, exe):
    print("Run 1: no settings yet; all pages forward and back, parameter keys, Escape saves")
    session.wine("reg", "delete", MAKER_KEY, "/f")
    program = Program(session, reference, results, exe, neutral())
    first = program.expect("start-up", timeout=60)
    if program.results.failed:
        program.process.kill()
        return first  # nothing else can be checked without a running program

    measure_idle_cpu(session, program, results)
    program.expect("after idling")

    for step in range(PAGE_COUNT):
        key = NEXT_PAGE_KEYS[step % len(NEXT_PAGE_KEYS)]
        shot = program.press(key, f"forward with {key}", page=(program.page + 1) % PAGE_COUNT)
        program.bands[program.page] = shot
    for step in range(PAGE_COUNT):
        key = "shift+b" if step == 5 else "b"
        program.press(key, f"back with {key}", page=(program.page - 1) % PAGE_COUNT)

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
        results.check(band_region(after, columns) != band_region(before, columns),
                      f"{key} changes the caption")
        before = after
    up = program.press("ctrl+Prior", "ctrl+Prior", adjust=[("green-gamma", +1)])
    down = program.press("ctrl+Next", "ctrl+Next", adjust=[("green-gamma", -1)])
    results.check(band_region(up, WIDTH) != band_region(before, WIDTH)
                  and band_region(down, WIDTH) == band_region(before, WIDTH),
                  "a parameter stepped up and down again gives the same caption back")

    session.keys(*["space"] * 12, delay_ms=30)
    program.page = 20
    program.expect("gamma check with the adjusted parameters")
    program.params = neutral()
    reset = program.press("r", "R resets all nine parameters")
    results.check(band_region(reset, WIDTH) == band_region(program.bands[20], WIDTH),
                  "after R the caption is the neutral one seen before")

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
    code = program.wait_for_exit()
    results.check(code == 0, "Escape ends the run with exit code 0", f"exit code {code}")
    results.check(not session.windows_named("^BaseForm$"), "the window is gone")
    stored = registry_values(session, APP_KEY)
    wanted = expected_registry(program.params)
    results.check(stored == wanted, "the registry holds the nine values as signed percentages, rounded",
                  f"stored {stored}, expected {wanted}")
    return first


def run_settings_from_registry(session, reference, results, exe, neutral_first_page):
    print("Run 2: MonRG 250 and MonBC -40 in the registry before the run")
    session.wine("reg", "delete", MAKER_KEY, "/f")
    session.wine("reg", "add", APP_KEY, "/v", "MonRG", "/t", "REG_DWORD", "/d", "250", "/f")
    session.wine("reg", "add", APP_KEY, "/v", "MonBC", "/t", "REG_DWORD", "/d", str(-40 & 0xFFFFFFFF), "/f")
    params = neutral()
    params["red-gamma"] = 2.5
    params["blue-contrast"] = -0.4
    program = Program(session, reference, results, exe, params)
    first = program.expect("start-up with stored values", timeout=60)
    results.check(band_region(first, WIDTH) != band_region(neutral_first_page, WIDTH),
                  "the first page's caption shows the stored values")
    for page in (5, 7):
        results.check(reference.page(page, params) != reference.page(page, neutral()),
                      f"page {page} looks different with the stored values (the check below means something)")
    session.keys(*["space"] * 5, delay_ms=30)
    program.page = 5
    program.expect("red grid with red gamma 2.5")
    session.keys("space", "space", delay_ms=30)
    program.page = 7
    program.expect("blue grid with blue contrast -0.4")
    session.keys("Escape")
    code = program.wait_for_exit()
    results.check(code == 0, "Escape ends the second run with exit code 0", f"exit code {code}")
    stored = registry_values(session, APP_KEY)
    wanted = expected_registry(params)
    results.check(stored == wanted, "the stored values are written back, the missing ones as 100",
                  f"stored {stored}, expected {wanted}")


def run_without_direct_draw(session, results, exe):
    print("Run 3: DirectDraw missing")
    session.wine("reg", "delete", MAKER_KEY, "/f")
    process = session.start(exe, WINEDLLOVERRIDES="mscoree,mshtml=;ddraw=d")
    deadline = time.monotonic() + 60
    boxes = []
    while not boxes and time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.3)
        boxes = session.windows_named("^Error$")
    results.check(bool(boxes), 'the box titled "Error" is shown')
    results.check(not session.windows_named("^BaseForm$"), "no program window is created")
    if boxes:
        session.keys("Return")
    code = exit_code_or_none(process)
    results.check(code == 255, "the run ends with exit code -1 (255 as Wine passes it on)", f"exit code {code}")
    results.check(registry_values(session, r"HKCU\Software") is not None
                  and registry_values(session, MAKER_KEY) is None, "no registry key is created")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--render", required=True, help="the headless veltrane-render")
    parser.add_argument("--artifacts", required=True, help="where screenshots of failures go")
    parser.add_argument("--displays", default="91,92,93,94")
    args = parser.parse_args()

    results = Results()
    displays = [int(d) for d in args.displays.split(",")]
    with tempfile.TemporaryDirectory(prefix="veltrane-e2e-ref-") as workdir, \
            Session(WIDTH, HEIGHT, displays, args.artifacts) as session:
        print(f"Xvfb {session.display} at {WIDTH}x{HEIGHT}x24, Wine prefix {session.prefix}")
        # The pages' colours do not depend on the depth the program gets (Wine offers 32 bits per pixel).
        reference = Reference(os.path.abspath(args.render), WIDTH, HEIGHT, 32, workdir)
        neutral_first_page = run_pages_keys_and_save(session, reference, results, os.path.abspath(args.exe))
        run_settings_from_registry(session, reference, results, os.path.abspath(args.exe), neutral_first_page)
        run_without_direct_draw(session, results, os.path.abspath(args.exe))

    print()
    for failure in results.failed:
        print(f"failed: {failure}")
    print(f"Windows end to end: {results.passed} passed, {len(results.failed)} failed")
    return 0 if not results.failed else 1


if __name__ == "__main__":
    sys.exit(main())
